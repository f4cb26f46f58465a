#!/usr/bin/python3
"""Serves a built page folder (build-web/) on 127.0.0.1 with the types the
browser needs for WebAssembly. Usage: web_serve.py FOLDER [PORT]; port 0
picks a free one. The address is printed once the server listens."""
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript",
                             ".data": "application/octet-stream"})

    def log_message(self, *args):
        pass


def make_server(folder, port=0):
    handler = functools.partial(Handler, directory=folder)
    return http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)


def main():
    if len(sys.argv) < 2:
        print("usage: web_serve.py FOLDER [PORT]", file=sys.stderr)
        return 2
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 8080
    server = make_server(sys.argv[1], port)
    print(f"web: serving {sys.argv[1]} at http://127.0.0.1:{server.server_address[1]}/ (Ctrl-C stops)",
          flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
