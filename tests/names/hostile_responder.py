#!/usr/bin/python3
"""Answers every NetBIOS (UDP 137) and multicast DNS (UDP 5353) question with
malformed packets that carry the question's own id: truncated answers, counts
beyond the data, compression loops, names with control bytes, group-only and
conflicting names; and well-formed answers whose name is another host's
address or a DNS name (NetBIOS), or an address in .local (multicast DNS): a
message to such a name would go elsewhere. A program that asks must list no
name and must not crash.
A reverse question about another host, seen through the multicast group, gets
a well-formed answer naming "impostor", twice: from this host's own address,
and forged from the address of the host asked and its port 5353 (a raw socket
writes any source), which only a question this host never sees keeps out.
Every NetBIOS name query (also one broadcast to BROADCAST) and every multicast
DNS address question, whatever the name, gets well-formed answers with forged
addresses: loopback, 0.0.0.0, multicast, the limited and the subnet broadcast,
the subnet's own address, one off the subnet; and an answer with this host's
own address, but sent from a port other than the protocol's. None may be used:
a name only this host "knows" stays unknown.
With --flood SECONDS, each question is followed by that long a stream of junk
datagrams to the port it came from. Only questions from other ports than 137
and 5353 are answered: the name servers on the other hosts must keep working.
With --claim NAME it does nothing of the above: it answers a node status
question with a well-formed answer that gives NAME as its own workstation name,
as any host may claim another's name.
Usage: hostile_responder.py [--flood SECONDS] ADDRESS [BROADCAST]
       hostile_responder.py --claim NAME ADDRESS
(it binds ADDRESS:137, BROADCAST:137 and 0.0.0.0:5353; with --claim only ADDRESS:137)."""
import select
import socket
import struct
import sys
import threading
import time


def encoded(name, pad=b" ", suffix=b"\0"):
    raw = name.ljust(15, pad)[:15] + suffix
    return b"\x20" + b"".join(bytes([65 + (b >> 4), 65 + (b & 15)]) for b in raw) + b"\0"


def node_status(tid, entries, flags=0x8400, count=None):
    data = bytes([len(entries) if count is None else count])
    for name, suffix, nflags in entries:
        data += name.ljust(15, b" ")[:15] + bytes([suffix]) + struct.pack(">H", nflags)
    rr = encoded(b"*", b"\0") + struct.pack(">HHIH", 0x21, 1, 0, len(data)) + data
    return struct.pack(">HHHHHH", tid, flags, 0, 1, 0, 0) + rr


def netbios_answers(tid, other):
    yield node_status(tid, [(other.encode(), 0, 0x0400)])       # another host's address
    yield node_status(tid, [(b"X.EXAMPLE.COM", 0, 0x0400)])     # a DNS name
    good = node_status(tid, [(b"HOSTILE", 0, 0x0400)])
    yield good[:40]                                              # cut in the owner name
    yield good[:57]                                              # cut in the name table
    yield node_status(tid, [(b"HOSTILE", 0, 0x0400)], count=200)[:-18]  # count, no entries
    yield node_status(tid, [(b"BAD\x01NAME", 0, 0x0400)])       # control byte
    yield node_status(tid, [(b"\x7f\x7f", 0, 0x0400)])
    yield node_status(tid, [(b"GROUP", 0, 0x8400), (b"CONFLICT", 0, 0x0C00)])
    yield node_status(tid, [(b"               ", 0, 0x0400)])   # blanks only
    yield node_status(tid, [(b"ERROR", 0, 0x0400)], flags=0x8403)
    loop = bytearray(good)
    loop[12:14] = b"\xc0\x0c"                                    # owner points at itself
    yield bytes(loop[:14] + good[46:])
    yield struct.pack(">HHHHHH", tid, 0x8400, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF)
    yield b""


def forged_addresses(address, broadcast):
    subnet = ".".join(address.split(".")[:3])
    return ["127.0.0.1", "0.0.0.0", "224.0.0.1", "255.255.255.255",
            broadcast or subnet + ".255", subnet + ".0", "192.0.2.1"]


def name_query_answer(tid, encoded_name, ip):
    rr = encoded_name + struct.pack(">HHIH", 0x20, 1, 300, 6) + b"\0\0" + socket.inet_aton(ip)
    return struct.pack(">HHHHHH", tid, 0x8500, 0, 1, 0, 0) + rr


def a_answer(tid, name, ip):
    rr = name + struct.pack(">HHIH", 1, 1, 120, 4) + socket.inet_aton(ip)
    return struct.pack(">HHHHHH", tid, 0x8400, 0, 1, 0, 0) + rr


def question_type(packet, name):
    at = 12 + len(name)
    return struct.unpack(">H", packet[at:at + 2])[0] if len(packet) >= at + 2 else 0


def dns_name(dotted):
    return b"".join(bytes([len(l)]) + l for l in dotted.encode().split(b".")) + b"\0"


def dns_answers(tid, question, own_reverse, other):
    head = lambda qd, an: struct.pack(">HHHHHH", tid, 0x8400, qd, an, 0, 0)
    q = question + struct.pack(">HH", 12, 1)
    ptr = lambda data: b"\xc0\x0c" + struct.pack(">HHIH", 12, 1, 120, len(data)) + data
    if question.endswith(dns_name("in-addr.arpa")) and question != own_reverse:
        yield head(1, 1) + q + ptr(dns_name("impostor.local"))
    yield head(1, 1) + q + ptr(dns_name(other + ".local"))        # an address in .local
    yield head(1, 1) + q + ptr(b"\xc0\x0c")[:-1]                 # cut short
    yield head(1, 1) + q + ptr(b"\x03a\x01b\x05local\x00")        # control byte
    yield head(1, 1) + q + ptr(b"\x03a.b\x05local\x00")           # dot in a label
    at = 12 + len(q) + 12 + 6                                     # where the pointer lands
    yield head(1, 1) + q + ptr(b"\x05hello" + struct.pack(">H", 0xC000 | at))  # points at itself
    yield head(1, 1) + q + ptr(b"\x05hello\xc0\x0e")              # a name, but not in .local
    yield head(1, 1) + q + ptr(b"\x05hello\xc0\xff")              # pointer past the end
    yield head(1, 1) + q + b"\xc0\x0c" + struct.pack(">HHIH", 12, 1, 120, 900) + b"\x02xx\x00"
    yield head(1, 0xFFFF) + q
    yield head(0xFFFF, 1) + q
    selfloop = bytearray(head(1, 1) + b"\xc0\x0c" + struct.pack(">HH", 12, 1))
    yield bytes(selfloop)
    yield b"\xff" * 11


def reverse_address(name):
    """The address a reverse question (its name as sent) asks about, or None."""
    labels, at = [], 0
    while at < len(name) and name[at]:
        labels.append(name[at + 1:at + 1 + name[at]])
        at += 1 + name[at]
    if len(labels) != 6 or [l.lower() for l in labels[4:]] != [b"in-addr", b"arpa"]:
        return None
    try:
        return socket.inet_ntoa(socket.inet_aton(".".join(l.decode() for l in reversed(labels[:4]))))
    except (OSError, UnicodeDecodeError):
        return None


def forged_from(raw, source, peer, payload):
    """payload to peer as if from source's port 5353: an IPv4 header of our own."""
    udp = struct.pack(">HHHH", 5353, peer[1], 8 + len(payload), 0) + payload
    ip = struct.pack(">BBHHHBBH4s4s", 0x45, 0, 20 + len(udp), 0, 0, 64, socket.IPPROTO_UDP, 0,
                     socket.inet_aton(source), socket.inet_aton(peer[0]))
    raw.sendto(ip + udp, (peer[0], 0))
    print("forged mdns answer from", source, "to", peer[0], flush=True)


def question_name(packet):
    """The question's name as sent (labels up to the zero byte)."""
    end = packet.find(b"\0", 12)
    return packet[12:end + 1] if end > 0 else b"\0"


def flood(s, peer, seconds):
    """Junk to the asker's port, as fast as it goes, for seconds."""
    junk = [bytes([n]) * (12 + n) for n in range(64)]
    end = time.monotonic() + seconds
    sent = 0
    while time.monotonic() < end:
        for datagram in junk:
            try:
                s.sendto(datagram, peer)
            except OSError:
                pass
        sent += len(junk)
    print("flooded", peer[0], "port", peer[1], "with", sent, "datagrams", flush=True)


def claim(name, address):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((address, 137))
    while True:
        packet, peer = s.recvfrom(9000)
        if len(packet) >= 12 and question_type(packet, question_name(packet)) == 0x21:
            tid = struct.unpack(">H", packet[:2])[0]
            s.sendto(node_status(tid, [(name.encode(), 0, 0x0400)]), peer)
            print("claimed", name, "to", peer[0], flush=True)


def main():
    args = sys.argv[1:]
    if args[:1] == ["--claim"]:
        claim(args[1], args[2])
        return
    flood_seconds = 0.0
    if args[:1] == ["--flood"]:
        flood_seconds = float(args[1])
        args = args[2:]
    address = args[0]
    broadcast = args[1] if len(args) > 1 else None
    forged = forged_addresses(address, broadcast)
    own_reverse = dns_name(".".join(reversed(address.split("."))) + ".in-addr.arpa")
    other = ".".join(address.split(".")[:3]) + ".2"
    nb = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    nb.bind((address, 137))
    netbios = [nb]
    if broadcast:
        nbb = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        nbb.bind((broadcast, 137))
        netbios.append(nbb)
    md = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    md.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    md.bind(("0.0.0.0", 5353))
    group = socket.inet_aton("224.0.0.251") + socket.inet_aton(address)
    md.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, group)
    # Right address, wrong port: what an unprivileged program on a LAN host can send.
    other_port = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    other_port.bind((address, 0))
    # Any source address at all: what root on a LAN host can send.
    raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
    while True:
        ready, _, _ = select.select(netbios + [md], [], [])
        for s in ready:
            packet, peer = s.recvfrom(9000)
            if len(packet) < 12:
                continue
            tid, flags = struct.unpack(">HH", packet[:4])
            if peer[1] in (137, 5353) or flags & 0xF800:  # a daemon's, or not a query
                continue
            name = question_name(packet)
            kind = question_type(packet, name)
            print("mdns" if s is md else "netbios", "question", kind, "from", peer[0], flush=True)
            asked = reverse_address(name) if s is md and kind == 12 else None
            if asked and asked != address:  # first, to be there before the host's own answer
                forged_from(raw, asked, peer, next(dns_answers(tid, name, own_reverse, other)))
            if s is not md and kind == 0x20:
                answers = [name_query_answer(tid, name, ip) for ip in forged]
                late = name_query_answer(tid, name, address)
            elif s is md and kind == 1:
                answers = [a_answer(tid, name, ip) for ip in forged]
                late = a_answer(tid, name, address)
            else:
                answers = netbios_answers(tid, other) if s is not md else \
                    dns_answers(tid, name, own_reverse, other)
                late = None
            for answer in answers:
                s.sendto(answer, peer)
            if late:
                other_port.sendto(late, peer)
            if flood_seconds > 0:  # beside the answers to what comes next
                threading.Thread(target=flood, args=(s, peer, flood_seconds), daemon=True).start()


if __name__ == "__main__":
    main()
