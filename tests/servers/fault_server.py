#!/usr/bin/env python3
"""A scripted HTTP server on 127.0.0.1 that serves one file with ranges and misbehaves on purpose.

The first part of the path picks the behaviour, the rest is ignored: /ok/x, /norange/x, /drop/x,
/short/x, /stall/x, /etag/x, /badrange/x, /norangeheader/x. Range requests other than the one-byte
probe are counted per behaviour; the faulty ones are every third (see FAULT_EVERY), so a download
with retries must complete, except from /etag/, where the file "changes" after a few ranges.

Usage: fault_server.py FILE PORTFILE   (binds a free port and writes it to PORTFILE)
"""
import http.server
import os
import re
import socket
import sys
import threading
import time

FAULT_EVERY = 3
STALL_SECONDS = 2
ETAG_CHANGE_AFTER = 4

RANGE = re.compile(r"^bytes=(\d+)-(\d+)$")


class State:
    def __init__(self, data):
        self.data = data
        self.lock = threading.Lock()
        self.counts = {}

    def next_count(self, mode):
        with self.lock:
            self.counts[mode] = self.counts.get(mode, 0) + 1
            return self.counts[mode]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FaultServer"

    def log_message(self, *args):
        pass

    def do_GET(self):
        state = self.server.state
        data = state.data
        mode = self.path.strip("/").split("/")[0]
        match = RANGE.match(self.headers.get("Range", ""))
        if mode == "norange" or not match:
            self.send_whole(data)
            return
        first, last = int(match.group(1)), min(int(match.group(2)), len(data) - 1)
        if first > last:
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % len(data))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        probe = first == 0 and last == 0
        faulty = False
        etag = '"v1"'
        if not probe:
            n = state.next_count(mode)
            faulty = n % FAULT_EVERY == 0
            if mode == "etag" and n > ETAG_CHANGE_AFTER:
                etag = '"v2"'
        body = data[first:last + 1]
        content_range = "bytes %d-%d/%d" % (first, last, len(data))
        if faulty and mode == "badrange":
            content_range = "bytes %d-%d/*" % (first, last)
        if faulty and mode == "short":
            body = body[: len(body) // 2]  # a complete message, just shorter than the range

        self.send_response(206)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Last-Modified", "Thu, 16 Jul 2015 10:30:00 GMT")
        self.send_header("ETag", etag)
        if not (faulty and mode == "norangeheader"):
            self.send_header("Content-Range", content_range)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()

        if faulty and mode == "drop":
            self.wfile.write(body[: len(body) // 3])
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
            return
        if faulty and mode == "stall":
            half = len(body) // 2
            self.wfile.write(body[:half])
            self.wfile.flush()
            time.sleep(STALL_SECONDS)
            body = body[half:]
        self.wfile.write(body)

    def send_whole(self, data):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 128


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    server = Server(("127.0.0.1", 0), Handler)
    server.state = State(data)
    with open(sys.argv[2] + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(sys.argv[2] + ".tmp", sys.argv[2])
    server.serve_forever()


if __name__ == "__main__":
    main()
