#!/usr/bin/env python3
"""A serial device for the fault tests: device.py LINK RECORD [--rate BYTES_PER_S]
A pseudo-terminal behind the symbolic link LINK sends numbered lines and
appends every byte the terminal took to RECORD. It prints "ready /dev/pts/N";
on SIGUSR1, once the reader took everything, it hangs up, links a new terminal
and prints "reconnected /dev/pts/M"; on SIGTERM it prints "stopped unread=N"
(bytes left unread) and ends. Until then the far end stays open.
"""

import fcntl
import os
import signal
import struct
import sys
import termios
import time
import tty

requests = {"stop": False, "reconnect": False}


def settled_unread(slave):  # the same three looks running: bytes take a moment to get across
    last, same = -1, 0
    while same < 3:
        now = struct.unpack("i", fcntl.ioctl(slave, termios.FIONREAD, b"\0\0\0\0"))[0]
        same, last = (same + 1 if now == last else 0), now
        time.sleep(0.05)
    return last


def open_terminal(link):
    master, slave = os.openpty()
    tty.setraw(slave)
    os.set_blocking(master, False)
    temporary = link + ".new"  # a new link replaces the old one in one step
    if os.path.lexists(temporary):
        os.unlink(temporary)
    os.symlink(os.ttyname(slave), temporary)
    os.rename(temporary, link)
    print("ready" if not requests["reconnect"] else "reconnected", os.ttyname(slave), flush=True)
    return master, slave


def main():
    link, record = sys.argv[1], open(sys.argv[2], "ab", buffering=0)
    rate = float(sys.argv[sys.argv.index("--rate") + 1]) if "--rate" in sys.argv else 20000.0
    signal.signal(signal.SIGTERM, lambda *_: requests.update(stop=True))
    signal.signal(signal.SIGUSR1, lambda *_: requests.update(reconnect=True))
    master, slave = open_terminal(link)
    pending, number, sent, start = b"", 0, 0, time.monotonic()
    while not requests["stop"]:
        if requests["reconnect"]:
            while not requests["stop"] and settled_unread(slave):
                pass  # sends nothing until the reader took everything
            if requests["stop"]:
                break
            os.unlink(link)
            os.close(master)
            os.close(slave)
            master, slave = open_terminal(link)
            requests["reconnect"], start, sent = False, time.monotonic(), 0
        # Keep to the rate, like a UART's baud rate.
        delay = start + sent / rate - time.monotonic()
        if delay > 0:
            time.sleep(min(delay, 0.2))
            continue
        while len(pending) < 64:
            number += 1
            pending += b"%09d\n" % number
        try:
            written = os.write(master, pending[:64])
        except BlockingIOError:  # the reader is behind
            written = 0
            time.sleep(0.05)
        record.write(pending[:written])
        pending, sent = pending[written:], sent + written
    print("stopped unread=%d" % settled_unread(slave), flush=True)


if __name__ == "__main__":
    main()
