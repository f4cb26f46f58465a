#!/usr/bin/python3
"""Serves the built page (build-web/) on 127.0.0.1: only the page's own files,
with the types WebAssembly needs, gzip-encoded when the browser accepts it.
No listings, nothing outside the folder (symbolic links that lead out are not
followed), 400 for paths with "..". Usage: web_serve.py FOLDER [PORT]; port 0
picks a free one. The address is printed once the server listens."""
import email.utils
import gzip
import hashlib
import http.server
import os
import sys
import threading
import urllib.parse

# The files of the page and their types; nothing else is served.
PAGE_FILES = {
    "index.html": "text/html; charset=utf-8",
    "index.js": "text/javascript",
    "index.wasm": "application/wasm",
    "index.data": "application/octet-stream",
    "demo.js": "text/javascript",
    "demo.data": "application/octet-stream",
}
# Bodies at least this large are sent gzip-encoded when that makes them smaller.
GZIP_MIN_BYTES = 256


class Body:
    """One file's bytes as last read: plain, gzip-encoded, and its tag."""

    def __init__(self, stamp, plain):
        self.stamp = stamp
        self.plain = plain
        packed = gzip.compress(plain, compresslevel=6, mtime=0) if len(plain) >= GZIP_MIN_BYTES else None
        self.packed = packed if packed is not None and len(packed) < len(plain) else None
        self.tag = '"' + hashlib.sha1(plain).hexdigest()[:20] + '"'


class Page:
    """The served folder and a cache of its files' bodies (read once per change)."""

    def __init__(self, folder):
        self.folder = os.path.realpath(folder)
        self.bodies = {}
        self.lock = threading.Lock()

    def resolve(self, name):
        """The real path of a page file inside the folder, or None."""
        if name not in PAGE_FILES:
            return None
        real = os.path.realpath(os.path.join(self.folder, name))
        if os.path.dirname(real) != self.folder or not os.path.isfile(real):
            return None  # missing, or a link that leads elsewhere
        return real

    def body(self, name):
        real = self.resolve(name)
        if real is None:
            return None
        try:
            info = os.stat(real)
            stamp = (info.st_mtime_ns, info.st_size, info.st_ino)
            with self.lock:
                cached = self.bodies.get(name)
                if cached is not None and cached.stamp == stamp:
                    return cached
            with open(real, "rb") as f:
                plain = f.read()
        except OSError:
            return None
        made = Body(stamp, plain)
        with self.lock:
            self.bodies[name] = made
        return made


def request_name(raw_path):
    """The file a request path names ("" for the folder itself), or None when
    the path is malformed or climbs with "..": such requests get 400."""
    path = urllib.parse.urlsplit(raw_path).path
    try:
        path = urllib.parse.unquote(path, errors="strict")
    except UnicodeDecodeError:
        return None
    if "\0" in path or "\\" in path or not path.startswith("/"):
        return None
    parts = path.split("/")[1:]
    if ".." in parts:
        return None
    return "/".join(parts)


def accepts_gzip(header):
    for item in (header or "").split(","):
        fields = [f.strip() for f in item.split(";")]
        if fields[0].lower() in ("gzip", "*"):
            q = 1.0
            for f in fields[1:]:
                if f.startswith("q="):
                    try:
                        q = float(f[2:])
                    except ValueError:
                        q = 0.0
            return q > 0.0
    return False


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "dunravel-page"
    sys_version = ""
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        self.answer(send_body=True)

    def do_HEAD(self):
        self.answer(send_body=False)

    def refuse(self, code, text):
        data = (text + "\n").encode()
        self.send_response(code)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def answer(self, send_body):
        name = request_name(self.path)
        if name is None:
            self.refuse(400, "bad path")
            return
        if name == "":
            name = "index.html"
        body = self.server.page.body(name)
        if body is None:
            self.refuse(404, "not found")
            return
        if self.headers.get("If-None-Match") == body.tag:
            self.send_response(304)
            self.send_header("ETag", body.tag)
            self.end_headers()
            return
        data = body.plain
        packed = body.packed is not None and accepts_gzip(self.headers.get("Accept-Encoding"))
        if packed:
            data = body.packed
        self.send_response(200)
        self.send_header("Content-Type", PAGE_FILES[name])
        if packed:
            self.send_header("Content-Encoding", "gzip")
        self.send_header("Vary", "Accept-Encoding")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("ETag", body.tag)
        self.send_header("Cache-Control", "no-cache")
        self.send_header("Last-Modified", email.utils.formatdate(body.stamp[0] / 1e9, usegmt=True))
        self.end_headers()
        if send_body:
            try:
                self.wfile.write(data)
            except (BrokenPipeError, ConnectionResetError):
                pass

    def log_message(self, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        if isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError)):
            return  # the browser went away mid-request: nothing to report
        super().handle_error(request, client_address)


def make_server(folder, port=0):
    """The server for a page folder (raises OSError when the port is taken)."""
    server = Server(("127.0.0.1", port), Handler)
    server.page = Page(folder)
    return server


def main():
    if len(sys.argv) < 2 or len(sys.argv) > 3:
        print("usage: web_serve.py FOLDER [PORT]", file=sys.stderr)
        return 2
    folder = sys.argv[1]
    text = sys.argv[2] if len(sys.argv) > 2 else "8080"
    if not text.isdigit() or int(text) > 65535:
        print(f"web: the port must be a number from 0 to 65535, not {text!r}", file=sys.stderr)
        return 2
    if not os.path.isfile(os.path.join(folder, "index.html")):
        print(f"web: {folder} holds no index.html (run scripts/web.sh first)", file=sys.stderr)
        return 1
    try:
        server = make_server(folder, int(text))
    except OSError as e:
        print(f"web: cannot listen on 127.0.0.1:{text}: {e.strerror or e}", file=sys.stderr)
        return 1
    print(f"web: serving {folder} at http://127.0.0.1:{server.server_address[1]}/ (Ctrl-C stops)",
          flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
