#!/usr/bin/python3
"""Hostile visitors of the live results board, for the benchmarks: for as long as asked
(or until the standard input ends), a slowloris of many connections that send a request
head a byte at a time and never finish it (from several loopback addresses), a keep-alive
client that sends pipelined GETs and never reads, and a WebSocket client that pings as
fast as it can and never reads the pongs. Each is opened again when the board drops it.

    board_attacker.py PORT [--seconds N] [--slow N]

Loopback only; it ends by itself after --seconds (600 at most).
"""

import argparse
import resource
import select
import socket
import sys
import time

GET = b"GET /api/current.json HTTP/1.1\r\nHost: x\r\n\r\n" * 200
HANDSHAKE = (b"GET /ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
             b"Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n")
MASK = b"\x01\x02\x03\x04"
PINGS = (b"\x89\xfd" + MASK + bytes(b ^ MASK[i % 4] for i, b in enumerate(b"p" * 125))) * 200


def open_socket(port, source="127.0.0.1", rcvbuf=4096):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
    s.bind((source, 0))
    s.setblocking(False)
    try:
        s.connect(("127.0.0.1", port))
    except BlockingIOError:
        pass
    return s


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("port", type=int)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--slow", type=int, default=1000)
    args = parser.parse_args()
    end = time.monotonic() + min(args.seconds, 600)
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, args.slow + 256), hard))

    sources = [f"127.0.0.{2 + i % 50}" for i in range(args.slow)]
    slow = [None] * args.slow          # each [socket, bytes sent]
    flooders = {"gets": None, "pings": None}    # each [socket, handshake left]
    counts = {"slow opened": 0, "gets sent": 0, "pings sent": 0, "gets dropped": 0, "pings dropped": 0}
    next_byte = 0.0
    print("attacking", flush=True)
    while time.monotonic() < end:
        if select.select([sys.stdin], [], [], 0)[0] and not sys.stdin.buffer.read1(64):
            break
        now = time.monotonic()
        # The slowloris: every connection open, one more header byte every 2 s.
        for i, held in enumerate(slow):
            if held is None:
                try:
                    slow[i] = [open_socket(args.port, sources[i]), 0]
                    counts["slow opened"] += 1
                except OSError:
                    pass
        if now >= next_byte:
            next_byte = now + 2
            for i, held in enumerate(slow):
                if held is None:
                    continue
                try:
                    held[0].send(b"GET / HTTP/1.1\r\nX-a: " if held[1] == 0 else b"a")
                    held[1] += 1
                except BlockingIOError:
                    pass
                except OSError:
                    held[0].close()
                    slow[i] = None
        for name, payload, head in (("gets", GET, b""), ("pings", PINGS, HANDSHAKE)):
            flooder = flooders[name]
            if flooder is None:
                flooder = flooders[name] = [open_socket(args.port), head]
            try:
                if flooder[1]:
                    flooder[1] = flooder[1][flooder[0].send(flooder[1]):]
                else:
                    counts[f"{name} sent"] += flooder[0].send(payload)
            except BlockingIOError:
                pass
            except OSError:
                flooder[0].close()
                flooders[name] = None
                counts[f"{name} dropped"] += 1
        time.sleep(0.002)
    print(" ".join(f"{k.replace(' ', '_')}={v}" for k, v in counts.items()), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
