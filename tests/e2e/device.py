#!/usr/bin/env python3
"""A serial device for the fault tests: a pseudo-terminal reached through a
symbolic link that the test maps a COM number to. It sends numbered lines and
appends every byte it has handed to the terminal to a record file, so a log
can be compared with exactly what was sent.

  device.py LINK RECORD [--rate BYTES_PER_S] [--bytes N]

Standard output tells the test what happens, one line each:
  ready /dev/pts/N        the link points at the terminal
  reconnected /dev/pts/M  after SIGUSR1: the reader took everything, the old
                          terminal was hung up and its link removed, a new
                          terminal has a link made anew at the same path
  done                    --bytes were sent and the reader took all of them
  stopped unread=N        after SIGTERM: sending stopped; N bytes were left
                          unread in the terminal (the reader is gone or
                          slow); the process then ends
The far end stays open until SIGTERM, so the reader never sees a hang-up it
was not asked for.
"""

import argparse
import fcntl
import os
import select
import signal
import struct
import sys
import termios
import time
import tty

requests = {"stop": False, "reconnect": False}


def on_term(_signo, _frame):
    requests["stop"] = True


def on_usr1(_signo, _frame):
    requests["reconnect"] = True


def say(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


def unread(slave):
    return struct.unpack("i", fcntl.ioctl(slave, termios.FIONREAD, b"\0\0\0\0"))[0]


def settled_unread(slave):
    """What the reader has left, once it stays the same for a few looks:
    bytes just written take a moment to reach the reader's queue."""
    last, same = -1, 0
    while same < 3:
        now = unread(slave)
        same = same + 1 if now == last else 0
        last = now
        time.sleep(0.05)
    return last


def wait_drained(slave):
    while settled_unread(slave) != 0:
        if requests["stop"]:
            return False
    return True


class Terminal:
    def __init__(self, link):
        self.link = link
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        fcntl.fcntl(self.master, fcntl.F_SETFL, fcntl.fcntl(self.master, fcntl.F_GETFL) | os.O_NONBLOCK)
        self.name = os.ttyname(self.slave)
        # A link made anew (a new inode), replacing any old one in one step.
        temporary = link + ".new"
        if os.path.lexists(temporary):
            os.unlink(temporary)
        os.symlink(self.name, temporary)
        os.rename(temporary, link)

    def hang_up(self):
        os.unlink(self.link)
        os.close(self.master)
        os.close(self.slave)


class Lines:
    """Numbered lines, endless: '000000001\\n', '000000002\\n', ..."""

    def __init__(self):
        self.number = 0
        self.pending = b""

    def take(self, count):
        while len(self.pending) < count:
            self.number += 1
            self.pending += b"%09d\n" % self.number
        chunk, self.pending = self.pending[:count], self.pending[count:]
        return chunk

    def give_back(self, chunk):
        self.pending = chunk + self.pending


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("link")
    parser.add_argument("record")
    parser.add_argument("--rate", type=float, default=20000.0)
    parser.add_argument("--bytes", type=int, default=-1)
    parser.add_argument("--chunk", type=int, default=64)
    args = parser.parse_args()

    signal.signal(signal.SIGTERM, on_term)
    signal.signal(signal.SIGINT, on_term)
    signal.signal(signal.SIGUSR1, on_usr1)

    record = open(args.record, "ab", buffering=0)
    lines = Lines()
    terminal = Terminal(args.link)
    say("ready " + terminal.name)
    sent = 0
    start, sent_at_start = time.monotonic(), 0
    finished = False
    while not requests["stop"]:
        if requests["reconnect"]:
            requests["reconnect"] = False
            if not wait_drained(terminal.slave):
                break
            terminal.hang_up()
            terminal = Terminal(args.link)
            say("reconnected " + terminal.name)
            start, sent_at_start = time.monotonic(), sent
        if finished or (args.bytes >= 0 and sent >= args.bytes):
            if not finished and wait_drained(terminal.slave):
                finished = True
                say("done")
            time.sleep(0.05)  # idle until told otherwise
            continue
        # Keep to the rate: the device's own pace, like a UART's baud rate.
        due = start + (sent - sent_at_start) / args.rate
        delay = due - time.monotonic()
        if delay > 0:
            time.sleep(min(delay, 0.2))
            continue
        count = args.chunk if args.bytes < 0 else min(args.chunk, args.bytes - sent)
        chunk = lines.take(count)
        try:
            written = os.write(terminal.master, chunk)
        except BlockingIOError:
            written = 0
        if written < len(chunk):
            lines.give_back(chunk[written:])
            # The reader is behind: wait for room.
            select.select([], [terminal.master], [], 0.1)
        record.write(chunk[:written])
        sent += written
    say("stopped unread=%d" % settled_unread(terminal.slave))


if __name__ == "__main__":
    main()
