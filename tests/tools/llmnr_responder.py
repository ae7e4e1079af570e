#!/usr/bin/python3
"""An LLMNR responder (RFC 4795) for one namespace host of a simulated LAN:
answers A questions for its name (sent to 224.0.0.252 or to it) and PTR
questions for its own reverse name (sent to it), from UDP 5355, by unicast.
Stands in for the responder of a Windows PC, which Debian does not package
apart from systemd-resolved (that one takes over the machine's resolver).

Usage: llmnr_responder.py NAME ADDRESS
"""
import socket
import struct
import sys

name, address = sys.argv[1], sys.argv[2]
reverse = ".".join(reversed(address.split("."))) + ".in-addr.arpa"


def encode(dotted):
    return b"".join(bytes([len(l)]) + l.encode() for l in dotted.split(".")) + b"\0"


def read_question(packet):
    """The one question's name, type and where it ends; None when unreadable."""
    labels, pos = [], 12
    while pos < len(packet):
        n = packet[pos]
        if n == 0:
            if pos + 5 > len(packet):
                return None
            qtype, qclass = struct.unpack("!HH", packet[pos + 1:pos + 5])
            return ".".join(labels), qtype, qclass, pos + 5
        if n > 63:
            return None
        labels.append(packet[pos + 1:pos + 1 + n].decode("ascii", "replace"))
        pos += 1 + n
    return None


s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("0.0.0.0", 5355))
s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
             socket.inet_aton("224.0.0.252") + socket.inet_aton(address))
print("listening", flush=True)
while True:
    packet, sender = s.recvfrom(2048)
    if len(packet) < 12:
        continue
    ident, flags, qd = struct.unpack("!HHH", packet[:6])
    question = read_question(packet) if qd == 1 and not flags & 0x8000 else None
    if not question:
        continue
    qname, qtype, qclass, end = question
    if qclass != 1:
        continue
    if qtype == 1 and qname.lower() == name.lower():
        data = socket.inet_aton(address)
    elif qtype == 12 and qname.lower() == reverse:
        data = encode(name)
    else:
        continue
    answer = struct.pack("!HHHHHH", ident, 0x8000, 1, 1, 0, 0) + packet[12:end]
    answer += b"\xc0\x0c" + struct.pack("!HHIH", qtype, 1, 30, len(data)) + data
    s.sendto(answer, sender)
    print("answered", qname, "for", sender[0], flush=True)
