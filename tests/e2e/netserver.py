#!/usr/bin/env python3
"""Servers on 127.0.0.1 for the network tests; each writes its port to PORTFILE.

netserver.py silent PORTFILE
    Never answers a connect, as a host that is down: it listens with no room in
    its queue and fills that with a client it never accepts.
netserver.py closer PORTFILE
    Accepts and closes at once, as a server whose port is in use, printing
    "accepted" for each connection. After SIGUSR1 it keeps what it accepts and
    sends "up" on it; SIGUSR2 closes those and it closes at once again.
"""
import os
import signal
import socket
import sys

mode, port_file = sys.argv[1], sys.argv[2]
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(0 if mode == "silent" else 16)
fillers = []
if mode == "silent":
    fillers = [socket.create_connection(server.getsockname()), socket.socket()]
    fillers[1].setblocking(False)
    fillers[1].connect_ex(server.getsockname())
with open(port_file + ".new", "w") as f:
    f.write(str(server.getsockname()[1]))
os.rename(port_file + ".new", port_file)
if mode == "silent":
    signal.pause()

keep = {"on": False, "clients": []}


def start_keeping(*_):
    keep["on"] = True


def stop_keeping(*_):
    keep["on"] = False
    while keep["clients"]:
        keep["clients"].pop().close()


signal.signal(signal.SIGUSR1, start_keeping)
signal.signal(signal.SIGUSR2, stop_keeping)
while True:
    client, _ = server.accept()
    print("accepted", flush=True)
    if keep["on"]:
        client.sendall(b"up")
        keep["clients"].append(client)
    else:
        client.close()
