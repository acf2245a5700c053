#!/usr/bin/env python3
"""A serial device for the fault tests: device.py LINK RECORD [--rate BYTES_PER_S]
A raw pseudo-terminal behind the symbolic link LINK sends numbered lines at the rate and
appends every byte the terminal took to RECORD. Prints "ready /dev/pts/N"; ends on SIGTERM."""

import os
import signal
import sys
import time
import tty

stop = []


def main():
    link, record = sys.argv[1], open(sys.argv[2], "ab", buffering=0)
    rate = float(sys.argv[sys.argv.index("--rate") + 1]) if "--rate" in sys.argv else 20000.0
    signal.signal(signal.SIGTERM, lambda *_: stop.append(True))
    master, slave = os.openpty()
    tty.setraw(slave)
    os.set_blocking(master, False)
    os.symlink(os.ttyname(slave), link)
    print("ready", os.ttyname(slave), flush=True)
    pending, number = b"", 0
    while not stop:
        while len(pending) < 64:
            number += 1
            pending += b"%09d\n" % number
        try:
            written = os.write(master, pending[:64])
        except BlockingIOError:  # the reader is behind
            written = 0
        record.write(pending[:written])
        pending = pending[written:]
        time.sleep(64 / rate)  # about the rate, like a UART's baud rate


if __name__ == "__main__":
    main()
