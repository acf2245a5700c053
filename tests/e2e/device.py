#!/usr/bin/env python3
"""A serial device for the fault tests: a pseudo-terminal reached through a
symbolic link that the test maps a COM number to. It sends numbered lines at
--rate bytes a second and appends every byte the terminal took to RECORD.

  device.py LINK RECORD [--rate BYTES_PER_S]

It tells the test on standard output:
  ready /dev/pts/N        the link points at the terminal
  reconnected /dev/pts/M  after SIGUSR1: once the reader took everything, the
                          terminal was hung up and a new one linked anew
  stopped unread=N        after SIGTERM: N bytes were left unread; then it ends
The far end stays open until SIGTERM: no hang-up the test did not ask for.
"""

import argparse
import fcntl
import os
import signal
import struct
import termios
import time
import tty

requests = {"stop": False, "reconnect": False}


def say(text):
    print(text, flush=True)


def unread(slave):
    return struct.unpack("i", fcntl.ioctl(slave, termios.FIONREAD, b"\0\0\0\0"))[0]


def settled_unread(slave):
    """What the reader left, once it stays the same for three looks: bytes
    just written take a moment to reach the reader's queue."""
    last, same = -1, 0
    while same < 3:
        now = unread(slave)
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
    return master, slave


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("link")
    parser.add_argument("record")
    parser.add_argument("--rate", type=float, default=20000.0)
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: requests.update(stop=True))
    signal.signal(signal.SIGUSR1, lambda *_: requests.update(reconnect=True))

    record = open(args.record, "ab", buffering=0)
    master, slave = open_terminal(args.link)
    say("ready " + os.ttyname(slave))
    pending, number, sent, start = b"", 0, 0, time.monotonic()
    while not requests["stop"]:
        if requests["reconnect"]:
            requests["reconnect"] = False
            while not requests["stop"] and settled_unread(slave):
                pass  # sends nothing until the reader took everything
            if requests["stop"]:
                break
            os.unlink(args.link)
            os.close(master)
            os.close(slave)
            master, slave = open_terminal(args.link)
            say("reconnected " + os.ttyname(slave))
            start, sent = time.monotonic(), 0
        # Keep to the rate, like a UART's baud rate.
        delay = start + sent / args.rate - time.monotonic()
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
    say("stopped unread=%d" % settled_unread(slave))


if __name__ == "__main__":
    main()
