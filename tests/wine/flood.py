"""The worst flood, from Linux, for the Wine tests and the benchmark: the
largest datagrams (65,507 bytes, their message all bytes 0x80-0x9F, which
cost the most in the history) from thousands of loopback source addresses
(127.1.0.1 onward; every 127.x.y.z is this machine's), at full speed.

One socket sends them all, giving each datagram its source address with
IP_PKTINFO, in a process of its own so that the test's own loop keeps its
pace; the process returns how many it sent.
"""

import ipaddress
import multiprocessing
import os
import socket
import struct
import time

import winetest as wt

LARGEST = 65507
NICKNAME = b"Flot"
FIRST_SOURCE = ipaddress.IPv4Address("127.1.0.1")
# Linux's IP_PKTINFO (<linux/in.h>), which Python 3.11 does not name.
IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)


def datagram(nickname=NICKNAME, size=LARGEST):
    """nickname + " a dit :" + message + a zero byte, `size` bytes in all."""
    head = nickname + b" a dit :"
    body = bytes(0x80 + k % 32 for k in range(size - len(head) - 1))
    return head + body + b"\0"


def sources(count):
    return [(FIRST_SOURCE + k).packed for k in range(count)]


def _send(count, seconds, sent, started):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4 << 20)
    data = [datagram()]
    # struct in_pktinfo: interface (any), source address, (unused).
    infos = [[(socket.IPPROTO_IP, IP_PKTINFO, struct.pack("=I4s4s", 0, a, bytes(4)))]
             for a in sources(count)]
    to = (wt.BROADCAST, wt.PORT)
    started.value = time.monotonic()
    deadline = started.value + seconds
    n = 0
    while True:
        for info in infos:
            try:
                sock.sendmsg(data, info, 0, to)
                n += 1
            except (BlockingIOError, OSError):
                pass
        sent.value = n
        if time.monotonic() >= deadline:
            break
    sent.value = n


class Flood:
    """The flood running in a child process: start(), then stop() returns
    (datagrams sent, seconds, datagrams a second)."""

    def __init__(self, count=5000, seconds=20.0):
        ctx = multiprocessing.get_context("fork")
        self.sent = ctx.Value("q", 0)
        self.started = ctx.Value("d", 0.0)
        self.proc = ctx.Process(target=_send, args=(count, seconds, self.sent, self.started),
                                daemon=True)

    def start(self):
        self.proc.start()
        return self

    def running(self):
        return self.proc.is_alive()

    def stop(self, timeout=60):
        self.proc.join(timeout)
        if self.proc.is_alive():
            self.proc.kill()
            self.proc.join()
        if not self.started.value:
            return 0, 0.0, 0.0
        seconds = time.monotonic() - self.started.value
        return self.sent.value, seconds, self.sent.value / seconds if seconds > 0 else 0


def program_pids(prefix, exe="lanchat.exe"):
    """The Unix processes that run `exe` in this Wine prefix."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                cmdline = f.read()
            if exe.encode() not in cmdline.lower():
                continue
            with open(f"/proc/{entry}/environ", "rb") as f:
                if f"WINEPREFIX={prefix}".encode() not in f.read().split(b"\0"):
                    continue
        except OSError:
            continue
        found.append(int(entry))
    return found


def program_rss_kib(prefix, exe="lanchat.exe"):
    """The resident memory of every process running `exe` in the prefix."""
    total = 0
    for pid in program_pids(prefix, exe):
        try:
            total += wt.rss_kib(pid) or 0
        except OSError:
            pass
    return total
