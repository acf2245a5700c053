#!/usr/bin/env python3
"""The device side of bench/soak.

Creates one pseudo-terminal per port behind a symbolic link
(DIR/dev/com<n>), points COM<n> of the port map at the link, and sends random
bytes into every port the reader holds open, at a UART's pace. Every SWAP
seconds one device, in turn, is lost and comes back: it falls quiet, its
master is closed once the reader has taken every byte, and as soon as the
reader has let go of it a new pseudo-terminal takes its place behind a link
made anew, as a USB adapter unplugged and plugged in again comes back under
the same by-id path.

Bytes are counted as sent only when the pseudo-terminal took them while the
reader held it open with its own settings (a UART's bytes reach nobody before
the port is opened), and hashed as they go; at the end each log must be
exactly those bytes.

Standard input: "pid P" (the reader is running), "stop" (stop sending, wait
until the logs hold everything, say "drained"), "verify" (the reader has
ended: compare). Standard output: "ready", "live" (every port fed), "drained"
and a last line of key=value pairs; exit status 2 when a log differs or the
reader missed a loss or a return.
"""

import argparse
import fcntl
import hashlib
import os
import random
import select
import sys
import termios
import time

TICK = 0.1  # seconds between writes
QUIET_BEFORE_LOSS = 0.3  # the reader's queue must stay empty this long
CAP = 30.0  # longest wait for the reader at any step


def queued(fd):
    """Bytes in the device's input queue that the reader has not read."""
    return int.from_bytes(fcntl.ioctl(fd, termios.FIONREAD, b"\0\0\0\0"), sys.byteorder)


class Port:
    def __init__(self, com, link, log, seed):
        self.com, self.link, self.log = com, link, log
        self.rng = random.Random(seed)
        self.hash = hashlib.sha256()
        self.sent = 0
        self.master = self.slave = -1
        self.device = ""
        self.state = "waiting"  # waiting, live, quiet, gone
        self.since = 0.0  # when the state began
        self.last_write = 0.0
        self.credit = 0.0
        self.replugged = False

    def plug(self):
        self.master, self.slave = os.openpty()
        os.set_blocking(self.master, False)
        self.device = os.ttyname(self.slave)
        tmp = self.link + ".new"
        os.symlink(self.device, tmp)
        os.replace(tmp, self.link)
        self.enter("waiting")

    def unplug(self):
        os.close(self.master)
        os.close(self.slave)
        self.enter("gone")

    def enter(self, state):
        self.state, self.since = state, time.monotonic()

    def raw(self):
        # The reader has set its own line settings (no canonical input).
        return not termios.tcgetattr(self.slave)[3] & termios.ICANON

    def feed(self, rate):
        self.credit += rate * TICK
        n = int(self.credit)
        if n == 0:
            return
        data = self.rng.randbytes(n)
        try:
            taken = os.write(self.master, data)
        except BlockingIOError:
            taken = 0
        self.credit -= n
        self.hash.update(data[:taken])
        self.sent += taken
        self.last_write = time.monotonic()


def held_by(pid):
    """The paths of every descriptor the process holds."""
    base = f"/proc/{pid}/fd"
    held = set()
    try:
        for fd in os.listdir(base):
            try:
                # A device whose far end has closed shows as "... (deleted)".
                held.add(os.readlink(f"{base}/{fd}").removesuffix(" (deleted)"))
            except OSError:
                pass
    except OSError:
        pass
    return held


def log_size(port):
    try:
        return os.path.getsize(port.log)
    except OSError:
        return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--ports", type=int, required=True)
    ap.add_argument("--first-com", type=int, default=1)
    ap.add_argument("--dir", required=True)
    ap.add_argument("--map", required=True)
    ap.add_argument("--log", required=True, help="log path, %%n for the COM number")
    ap.add_argument("--rate", type=float, default=960)
    ap.add_argument("--swap", type=float, default=15)
    args = ap.parse_args()

    os.makedirs(f"{args.dir}/dev", exist_ok=True)
    ports = []
    for i in range(args.ports):
        com = args.first_com + i
        p = Port(com, f"{args.dir}/dev/com{com}", args.log.replace("%n", str(com)), com)
        p.plug()
        ports.append(p)
    os.makedirs(os.path.dirname(args.map), exist_ok=True)
    with open(args.map, "w") as f:
        f.write("[Ports]\n" + "".join(f"COM{p.com}={p.link}\n" for p in ports))
    print("ready", flush=True)

    pid = None
    stop_at = None  # when "stop" came
    drained = False
    stuck = 0
    all_live_said = False
    losses = returns = unnoticed = 0
    longest_return = 0.0
    next_swap = None
    turn = 0
    while True:
        r, _, _ = select.select([sys.stdin], [], [], TICK)
        if r:
            line = sys.stdin.readline().split()
            if not line or line[0] == "verify":
                break
            if line[0] == "pid":
                pid = int(line[1])
            elif line[0] == "stop":
                stop_at = time.monotonic()
        if pid is None:
            continue
        now = time.monotonic()
        held = held_by(pid)
        for p in ports:
            if p.state == "waiting" and p.device in held and p.raw():
                if p.replugged:
                    longest_return = max(longest_return, now - p.since)
                p.enter("live")
            elif p.state == "quiet" and now - p.last_write >= QUIET_BEFORE_LOSS:
                if queued(p.slave) == 0 or now - p.since > CAP:
                    p.unplug()
                    losses += 1
            elif p.state == "gone" and (p.device not in held or now - p.since > CAP):
                unnoticed += p.device in held
                p.plug()
                p.replugged = True
                returns += 1
            if p.state == "live" and stop_at is None:
                p.feed(args.rate)
        if not all_live_said and all(p.state == "live" for p in ports):
            print("live", flush=True)
            all_live_said = True
            next_swap = now + args.swap
        if next_swap is not None and now >= next_swap and stop_at is None:
            p = ports[turn % len(ports)]
            turn += 1
            next_swap += args.swap
            if p.state == "live":
                p.enter("quiet")
        if stop_at is not None and not drained:
            # Every device lost by now is back and open again, and every log
            # holds what was sent (or the reader had CAP seconds to get there).
            if all(p.state == "live" and log_size(p) >= p.sent for p in ports) or now - stop_at > CAP:
                stuck = sum(p.state != "live" for p in ports)
                print("drained", flush=True)
                drained = True

    exact = 0
    logged = 0
    for p in ports:
        try:
            with open(p.log, "rb") as f:
                data = f.read()
        except OSError:
            data = b""
        logged += len(data)
        if len(data) == p.sent and hashlib.sha256(data).digest() == p.hash.digest():
            exact += 1
        else:
            print(f"COM{p.com}: sent {p.sent} bytes, log has {len(data)}, "
                  f"{'different bytes' if len(data) == p.sent else 'not the same length'}",
                  file=sys.stderr)
    if stuck:
        print(f"{stuck} devices lost were not open again when the sending stopped", file=sys.stderr)
    sent = sum(p.sent for p in ports)
    print(f"ports={len(ports)} sent={sent} logged={logged} exact={exact} losses={losses} "
          f"returns={returns} unnoticed={unnoticed} stuck={stuck} "
          f"longest_return_s={longest_return:.2f}", flush=True)
    return 0 if exact == len(ports) and not stuck and not unnoticed else 2


if __name__ == "__main__":
    sys.exit(main())
