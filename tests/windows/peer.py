#!/usr/bin/env python3
"""A Linux peer that speaks the message datagram, for the Wine end-to-end test.

  peer.py listen LOG        binds UDP 40027, appends each datagram as a hex line to LOG
  peer.py send ADDR SENDER CONTENT
                            sends one direct message from SENDER to ADDR:40027
  peer.py check LOG SENDER CONTENT
                            succeeds when LOG holds exactly the direct message of
                            SENDER with CONTENT and the default signature
The datagram: "|" sender "|于" time stamp "给您发送的信息：" CR LF content "——" signature, GBK.
"""
import re
import socket
import sys
import time

PORT = 40027
PHRASE = "给您发送的信息："
SIGNATURE = "*在此输入签名*"


def stamp(t):
    return f"{t.tm_year}年{t.tm_mon}月{t.tm_mday}日{t.tm_hour}时{t.tm_min}分{t.tm_sec}秒"


def listen(log):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("0.0.0.0", PORT))
    while True:
        data, _ = s.recvfrom(65535)
        with open(log, "a") as f:
            f.write(data.hex() + "\n")


def send(addr, sender, content):
    text = f"|{sender}|于{stamp(time.localtime())}{PHRASE}\r\n{content}——{SIGNATURE}"
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.sendto(text.encode("gbk"), (addr, PORT))


def check(log, sender, content):
    # Time stamps drop trailing zero fields: date, then hours, minutes, seconds.
    want = re.compile(
        re.escape(f"|{sender}|于")
        + r"\d{4}年\d{1,2}月\d{1,2}日(\d{1,2}时(\d{1,2}分(\d{1,2}秒)?)?)?"
        + re.escape(f"{PHRASE}\r\n{content}——{SIGNATURE}")
    )
    try:
        lines = open(log).read().split()
    except FileNotFoundError:
        return 1
    for line in lines:
        data = bytes.fromhex(line)
        try:
            text = data.decode("gbk")
        except UnicodeDecodeError:
            continue
        if want.fullmatch(text) and text.encode("gbk") == data:
            return 0
    return 1


if __name__ == "__main__":
    cmd = sys.argv[1]
    if cmd == "listen":
        listen(sys.argv[2])
    elif cmd == "send":
        send(*sys.argv[2:5])
    elif cmd == "check":
        sys.exit(check(*sys.argv[2:5]))
    else:
        sys.exit(__doc__)
