#!/usr/bin/env python3
"""A server on 127.0.0.1 that accepts every connection, reads what is sent and never answers.

It stands for a web site that hangs: a request to it waits until the client gives up or aborts.
Usage: stall_server.py PORTFILE   (binds a free port and writes it to PORTFILE; ends by itself after
ten minutes, or when killed)
"""
import os
import socket
import sys
import threading
import time

LIFETIME_SECONDS = 600


def hold(connection):
    with connection:
        try:
            while connection.recv(4096):
                pass
        except OSError:
            pass


def main():
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    with open(sys.argv[1] + ".tmp", "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.replace(sys.argv[1] + ".tmp", sys.argv[1])
    listener.settimeout(1)
    deadline = time.monotonic() + LIFETIME_SECONDS
    while time.monotonic() < deadline:
        try:
            connection, _ = listener.accept()
        except socket.timeout:
            continue
        threading.Thread(target=hold, args=(connection,), daemon=True).start()


if __name__ == "__main__":
    main()
