#!/usr/bin/env python3
"""A demo web site for Korvanix on 127.0.0.1: the catalogue page, three small generated system images
and the same three systems as Windows imaging files (WIM and ESD) served with byte ranges (primary and fallback addresses), and
the product pages the program opens.

    python3 scripts/demo-server.py [--port 8080] [--size-mb 4] [--wim-mb 4] [--rate-kb 0] [--drop-every 0]
                                   [--wrong-sha] [--catalogue-status 200]
    Korvanix.exe --site=127.0.0.1:8080

The images are not Windows images: a few megabytes of reproducible bytes, enough to watch a download
run, pause and complete. The WIM and the ESD are real imaging files, captured at start-up with
wimlib-imagex from a generated tree that looks like a Windows partition to the engine (Windows\Boot\PCAT\
bootmgr, Windows\System32, Chinese names, a file of --wim-mb megabytes; XP's with ntldr instead): the
Windows 7 32-bit WIM holds two editions, the 64-bit ESD (solid LZMS) one, the XP WIM one. Without
wimlib-imagex the site serves the Ghost images only. The catalogue gives each image's SHA-256 beside its
addresses; for the imaging files, entries 4 to 6, also the edition to install:
    ***dz4ks:URL:dz4js*** ***fdz4ks:URL:fdz4js*** ***sha4ks:HEX:sha4js*** ***idx4ks:N:idx4js*** For tests: a rate
limit per connection, a fault mode that drops every Nth image response half-way, a catalogue whose
digests are wrong, and a catalogue page served with an error status (the page itself, as a site's error
page may read like it). The first line printed names the site; then one "sha256 NAME DIGEST" line per image.
Stop the server with Ctrl+C.
"""
import argparse
import email.utils
import functools
import hashlib
import http.server
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

IMAGES = [
    ("dz1", "fdz1", "VX_winxp_sp3.gho", "Windows XP SP3 32位"),
    ("dz2", "fdz2", "VX_win7_sp1_32.gho", "Windows 7 SP1 32位"),
    ("dz3", "fdz3", "VX_win7_sp1_64.gho", "Windows 7 SP1 64位"),
]

# The Windows imaging files: primary and fallback keys, file name, label, editions (name each), the
# edition the catalogue names, and whether the file is solid (ESD).
WIMS = [
    ("dz4", "fdz4", "VX_win7_sp1_32.wim", "Windows 7 SP1 32位（WIM）", ["Windows 7 专业版", "Windows 7 旗舰版"], 2, False),
    ("dz5", "fdz5", "VX_win7_sp1_64.esd", "Windows 7 SP1 64位（ESD）", ["Windows 7 旗舰版"], 1, True),
    ("dz6", "fdz6", "VX_winxp_sp3.wim", "Windows XP SP3 32位（WIM）", ["Windows XP 专业版"], 1, False),
]

# The pages the program's web views show link to each other (they stay in the view) and to a page that
# asks for a window of its own (the program hands it to the default browser).
PAGES = {
    "/system/": ("系统下载", "<p>演示站点的系统列表。</p>"
                 "<p><a href=\"/system/help.htm\">使用帮助</a> · "
                 "<a href=\"/vx/system.htm\" target=\"_blank\">手动下载（在浏览器中打开）</a></p>"),
    "/system/help.htm": ("使用帮助",
                         "<p>选择一个系统镜像，点击“安装此系统”，下载完成后程序会自动安装。</p>"
                         "<p><a href=\"/system/\">系统下载</a> · <a href=\"/softbox/\">软件盒子</a></p>"),
    "/softbox/": ("软件盒子", "<p>演示站点没有更多软件。</p><p><a href=\"/system/help.htm\">使用帮助</a></p>"),
    "/vx/wngjxz.htm": ("软件更新",
                       "<p>这是演示站点的更新页面：目录页没有给出这个系统的下载地址。</p>"),
}


@functools.lru_cache(maxsize=4)
def make_image(name, size):
    """Reproducible bytes: SHA-256 in counter mode over the file name (the last few kept: the imaging
    files' trees share their big file)."""
    out = bytearray()
    counter = 0
    seed = name.encode()
    while len(out) < size:
        out += hashlib.sha256(seed + counter.to_bytes(8, "little")).digest() * 32
        counter += 1
    return bytes(out[:size])


def make_tree(root, name, megabytes):
    """A small tree that the engine takes for a Windows of the Vista-8 generation (of XP's, with ntldr at
    its root, for an XP file)."""
    xp = "winxp" in name
    folders = ["Windows/System32", "Program Files/空文件夹"]
    folders += ["Documents and Settings/All Users/文档"] if xp else ["Windows/Boot/PCAT", "Users/Public/文档"]
    for folder in folders:
        os.makedirs(os.path.join(root, folder), exist_ok=True)
    documents = "Documents and Settings/All Users/文档" if xp else "Users/Public/文档"
    files = {
        "Windows/System32/ntoskrnl.exe": make_image(name + "/kernel", 65536),
        documents + "/说明.txt": "这是 Korvanix 演示站点的映像，不是 Windows。\r\n".encode("utf-8"),
        # The big file is the same in every edition and every file, as most of Windows is: made once, and
        # stored once in a file of several editions.
        documents + "/数据.bin": make_image("imaging-data", megabytes * 1024 * 1024),
    }
    if xp:
        files["ntldr"] = make_image(name + "/ntldr", 4096)
    else:
        files["Windows/Boot/PCAT/bootmgr"] = make_image(name + "/bootmgr", 4096)
    for path, data in files.items():
        with open(os.path.join(root, path), "wb") as out:
            out.write(data)


def make_wims(megabytes):
    """The imaging files as {name: bytes}; empty (with a note) where wimlib-imagex is missing or fails."""
    tool = shutil.which("wimlib-imagex")
    if not tool:
        print("note: wimlib-imagex is not installed; no WIM or ESD on this site", file=sys.stderr, flush=True)
        return {}
    made = {}
    with tempfile.TemporaryDirectory(prefix="korvanix-demo-") as work:
        for _, _, name, _, editions, _, solid in WIMS:
            target = os.path.join(work, name)
            for number, edition in enumerate(editions):
                tree = os.path.join(work, "tree-%s-%d" % (name, number))
                # LZMS over random bytes is slow: the ESD keeps a small data file whatever the WIM's is.
                make_tree(tree, "%s/%d" % (name, number), min(megabytes, 8) if solid else megabytes)
                command = [tool, "capture" if number == 0 else "append", tree, target, edition, "--check"]
                # The data is random bytes: compressing the WIM would only take time.
                command += ["--solid"] if solid else ["--compress=none"]
                done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                if done.returncode == 0:
                    # Which Windows the edition holds, as a real image's XML says: XP is 5.1, 7 is 6.1.
                    major, minor = ("5", "1") if "winxp" in name else ("6", "1")
                    command = [tool, "info", target, str(number + 1),
                               "--image-property", "WINDOWS/VERSION/MAJOR=" + major,
                               "--image-property", "WINDOWS/VERSION/MINOR=" + minor]
                    done = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
                if done.returncode != 0:
                    print("note: %s failed: %s" % (" ".join(command), done.stderr.decode(errors="replace")),
                          file=sys.stderr, flush=True)
                    return {}
            with open(target, "rb") as wim:
                made[name] = wim.read()
    return made


def html(title, body):
    return ("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%s</title></head>"
            "<body><h1>%s</h1>%s</body></html>" % (title, title, body)).encode("utf-8")


class Site:
    def __init__(self, host, size, wrong_sha=False, wim_mb=4):
        self.host = host
        self.images = {}
        self.digests = {}
        for index, (_, _, name, _) in enumerate(IMAGES):
            self.images[name] = make_image(name, size + index * 512 * 1024)
        self.wims = make_wims(wim_mb)
        self.images.update(self.wims)
        for name, data in self.images.items():
            self.digests[name] = hashlib.sha256(data).hexdigest()
        self.published = dict(self.digests)
        if wrong_sha:
            self.published = {name: hashlib.sha256(b"not " + name.encode()).hexdigest() for name in self.images}
        self.modified = email.utils.formatdate(time.time(), usegmt=True)
        self.rate = 0          # bytes per second per connection, 0: no limit
        self.drop_every = 0    # every Nth image response ends half-way, 0: never
        self.catalogue_status = 200
        self.responses = 0
        self.lock = threading.Lock()

    def should_drop(self):
        if not self.drop_every:
            return False
        with self.lock:
            self.responses += 1
            return self.responses % self.drop_every == 0

    def catalogue(self):
        # Code page 936, as the program reads it; the fields may stand anywhere in the page.
        lines = ["<html><head><title>Korvanix system catalogue</title></head><body>"]
        for index, (primary, fallback, name, label) in enumerate(IMAGES):
            lines.append("<p>%s ***%sks:http://%s/images/%s:%sjs***" % (label, primary, self.host, name, primary))
            lines.append(" ***%sks:http://%s/mirror/%s:%sjs***" % (fallback, self.host, name, fallback))
            lines.append(" SHA-256 ***sha%dks:%s:sha%djs***</p>" % (index + 1, self.published[name], index + 1))
        for primary, fallback, name, label, editions, edition, _ in WIMS:
            if name not in self.wims:
                continue
            number = primary[2:]
            lines.append("<p>%s ***%sks:http://%s/images/%s:%sjs***" % (label, primary, self.host, name, primary))
            lines.append(" ***%sks:http://%s/mirror/%s:%sjs***" % (fallback, self.host, name, fallback))
            lines.append(" SHA-256 ***sha%sks:%s:sha%sjs***" % (number, self.published[name], number))
            lines.append(" %s ***idx%sks:%d:idx%sjs***</p>" % (editions[edition - 1], number, edition, number))
        lines.append("</body></html>")
        return "\r\n".join(lines).encode("gbk")

    def manual_page(self):
        entries = [(name, label) for _, _, name, label in IMAGES]
        entries += [(w[2], w[3]) for w in WIMS if w[2] in self.wims]
        links = "".join("<li><a href=\"/images/%s\">%s</a> (%d 字节)</li>" % (name, label, len(self.images[name]))
                        for name, label in entries)
        return html("手动下载", "<p>下载后把文件放到目标分区的根目录，再点“开始下载”。</p><ul>%s</ul>" % links)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KorvanixDemo/1"
    site = None

    def log_message(self, fmt, *args):
        sys.stderr.write("%s %s\n" % (self.address_string(), fmt % args))

    def send_body(self, status, body, content_type, extra=None, head_only=False):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for key, value in (extra or {}).items():
            self.send_header(key, value)
        self.end_headers()
        if not head_only:
            self.wfile.write(body)

    def send_limited(self, body, drop):
        """The body at the site's rate per connection; a dropped response ends half-way and closes."""
        end = len(body) // 2 if drop else len(body)
        rate = self.site.rate
        piece = max(4096, rate // 20) if rate else 1 << 20
        started = time.monotonic()
        sent = 0
        while sent < end:
            chunk = body[sent:min(end, sent + piece)]
            self.wfile.write(chunk)
            sent += len(chunk)
            if rate:
                ahead = sent / rate - (time.monotonic() - started)
                if ahead > 0:
                    time.sleep(ahead)
        if drop:
            self.close_connection = True
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)

    def serve_image(self, data, head_only):
        tag = "\"%s\"" % hashlib.sha1(data[:4096]).hexdigest()[:16]
        common = {"Accept-Ranges": "bytes", "ETag": tag, "Last-Modified": self.site.modified}
        spec = self.headers.get("Range")
        if spec is None:
            return self.send_body(200, data, "application/octet-stream", common, head_only)
        match = re.fullmatch(r"bytes=(\d*)-(\d*)", spec.strip())
        total = len(data)
        first = last = None
        if match and (match.group(1) or match.group(2)):
            if match.group(1):
                first = int(match.group(1))
                last = int(match.group(2)) if match.group(2) else total - 1
            else:
                first = max(0, total - int(match.group(2)))
                last = total - 1
            last = min(last, total - 1)
        if first is None or first > last:
            common["Content-Range"] = "bytes */%d" % total
            return self.send_body(416, b"", "text/plain", common, head_only)
        common["Content-Range"] = "bytes %d-%d/%d" % (first, last, total)
        body = memoryview(data)[first:last + 1]
        if head_only or last == first:
            return self.send_body(206, bytes(body), "application/octet-stream", common, head_only)
        self.send_response(206)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        for key, value in common.items():
            self.send_header(key, value)
        self.end_headers()
        try:
            self.send_limited(body, self.site.should_drop())
        except OSError:
            self.close_connection = True

    def route(self, head_only):
        path = self.path.split("?", 1)[0]
        if path == "/vxsystem.htm":
            return self.send_body(self.site.catalogue_status, self.site.catalogue(), "text/html; charset=gb2312",
                                  None, head_only)
        match = re.fullmatch(r"/(images|mirror)/([A-Za-z0-9_.]+)", path)
        if match and match.group(2) in self.site.images:
            return self.serve_image(self.site.images[match.group(2)], head_only)
        if path == "/vx/system.htm":
            return self.send_body(200, self.site.manual_page(), "text/html; charset=utf-8", None, head_only)
        if path in PAGES:
            title, body = PAGES[path]
            page = html(title, body)
            return self.send_body(200, page, "text/html; charset=utf-8", None, head_only)
        return self.send_body(404, html("404", "<p>没有这个页面。</p>"), "text/html; charset=utf-8", None, head_only)

    def do_GET(self):
        self.route(False)

    def do_HEAD(self):
        self.route(True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, default=8080, help="port on 127.0.0.1 (0: any free port)")
    parser.add_argument("--size-mb", type=int, default=4, help="size of the first demo image in MB")
    parser.add_argument("--wim-mb", type=int, default=4, help="size of the data file in each WIM edition, in MB")
    parser.add_argument("--rate-kb", type=int, default=0, help="per-connection limit in KB/s (0: none)")
    parser.add_argument("--drop-every", type=int, default=0,
                        help="drop every Nth image response half-way (0: never)")
    parser.add_argument("--wrong-sha", action="store_true", help="publish wrong SHA-256 digests")
    parser.add_argument("--catalogue-status", type=int, default=200,
                        help="the HTTP status the catalogue page is served with")
    args = parser.parse_args()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    host = "127.0.0.1:%d" % server.server_address[1]
    Handler.site = Site(host, args.size_mb * 1024 * 1024, args.wrong_sha, args.wim_mb)
    Handler.site.rate = args.rate_kb * 1024
    Handler.site.drop_every = args.drop_every
    Handler.site.catalogue_status = args.catalogue_status
    print("Korvanix demo site on http://%s/ (catalogue: http://%s/vxsystem.htm)" % (host, host), flush=True)
    print("Start the program with: Korvanix.exe --site=%s" % host, flush=True)
    for name, digest in Handler.site.digests.items():
        print("sha256 %s %s" % (name, digest), flush=True)
    for name, data in sorted(Handler.site.images.items()):
        print("bytes %s %d" % (name, len(data)), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    server.server_close()


if __name__ == "__main__":
    main()
