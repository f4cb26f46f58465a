#!/usr/bin/python3
"""The page's server (scripts/web_serve.py) on a made-up page folder: only the
page's files, compressed bodies that unpack to the file, no listings, no
CMakeCache.txt, no links that lead outside, 400 for "..", a NUL or a bad
escape (the connection stays up), and one line, no traceback, for a taken or
non-numeric port. Needs no browser and no build."""
import gzip
import http.client
import os
import socket
import subprocess
import sys
import tempfile
import threading
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SERVE = os.path.join(ROOT, "scripts", "web_serve.py")
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import web_serve  # noqa: E402


class ServeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix="dunravel-serve-test-")
        cls.folder = os.path.join(cls.work.name, "build-web")
        os.makedirs(os.path.join(cls.folder, "CMakeFiles"))
        cls.files = {
            "index.html": b"<!doctype html><title>page</title>" + b"<p>words</p>" * 200,
            "index.js": b"var Module = {};\n" * 500,
            "index.wasm": b"\0asm\1\0\0\0" + bytes(range(256)) * 40,
            "index.data": os.urandom(5000),  # does not shrink: sent as it is
            "CMakeCache.txt": b"CMAKE_HOME_DIRECTORY:INTERNAL=/home/someone/dunravel\n",
        }
        for name, data in cls.files.items():
            with open(os.path.join(cls.folder, name), "wb") as f:
                f.write(data)
        with open(os.path.join(cls.work.name, "secret.js"), "wb") as f:
            f.write(b"outside")
        # A page file that is a link out of the folder.
        os.symlink(os.path.join(cls.work.name, "secret.js"), os.path.join(cls.folder, "demo.js"))
        cls.server = web_serve.make_server(cls.folder)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.port = cls.server.server_address[1]

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()
        cls.work.cleanup()

    def get(self, path, gzip_ok=True, connection=None, method="GET"):
        c = connection or http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        if connection is None:
            self.addCleanup(c.close)
        headers = {"Accept-Encoding": "gzip, deflate, br"} if gzip_ok else {}
        c.putrequest(method, path, skip_accept_encoding=True)
        for k, v in headers.items():
            c.putheader(k, v)
        c.endheaders()
        r = c.getresponse()
        return r, r.read()

    def test_page_files_are_sent_compressed_with_their_types(self):
        for name, kind in (("index.html", "text/html"), ("index.js", "text/javascript"),
                           ("index.wasm", "application/wasm")):
            r, body = self.get("/" + name)
            self.assertEqual(r.status, 200, name)
            self.assertTrue(r.getheader("Content-Type").startswith(kind), name)
            self.assertEqual(r.getheader("Content-Encoding"), "gzip", name)
            self.assertEqual(int(r.getheader("Content-Length")), len(body), name)
            self.assertLess(len(body), len(self.files[name]), name)
            self.assertEqual(gzip.decompress(body), self.files[name], name)

    def test_plain_bodies_without_gzip_and_for_what_does_not_shrink(self):
        r, body = self.get("/index.js", gzip_ok=False)
        self.assertIsNone(r.getheader("Content-Encoding"))
        self.assertEqual(body, self.files["index.js"])
        r, body = self.get("/index.data")
        self.assertEqual(r.getheader("Content-Type"), "application/octet-stream")
        self.assertIsNone(r.getheader("Content-Encoding"))
        self.assertEqual(body, self.files["index.data"])

    def test_folder_gives_the_page_and_query_is_ignored(self):
        r, body = self.get("/?at=12")
        self.assertEqual(r.status, 200)
        self.assertEqual(gzip.decompress(body), self.files["index.html"])

    def test_unlisted_files_listings_and_links_out_are_not_found(self):
        for path in ("/CMakeCache.txt", "/CMakeFiles/", "/CMakeFiles", "/index.html/", "/secret.js",
                     "/demo.js", "/favicon.ico", "/%2e%2e%2fsecret.js"):
            r, body = self.get(path)
            self.assertIn(r.status, (400, 404), path)
            self.assertNotIn(b"outside", body, path)
            self.assertNotIn(b"CMAKE", body, path)

    def test_paths_that_climb_or_hold_nul_are_refused_and_the_connection_lives(self):
        c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        self.addCleanup(c.close)
        for path in ("/../secret.js", "/a/../index.html", "/%2E%2E/secret.js", "/index.html%00.txt",
                     "/%00", "/%ff%fe", "/..%5csecret.js"):
            r, _ = self.get(path, connection=c)
            self.assertEqual(r.status, 400, path)
        r, _ = self.get("/index.js", connection=c)  # same connection, still answered
        self.assertEqual(r.status, 200)

    def test_head_and_revalidation(self):
        r, body = self.get("/index.wasm", method="HEAD")
        self.assertEqual((r.status, body), (200, b""))
        tag = r.getheader("ETag")
        c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        self.addCleanup(c.close)
        c.request("GET", "/index.wasm", headers={"If-None-Match": tag})
        r = c.getresponse()
        r.read()
        self.assertEqual(r.status, 304)

    def run_script(self, *args):
        return subprocess.run([sys.executable, SERVE, *args], capture_output=True, text=True, timeout=30)

    def test_bad_or_taken_port_is_one_line(self):
        taken = socket.socket()
        taken.bind(("127.0.0.1", 0))
        taken.listen(1)
        try:
            for port in ("http", "-1", "70000", str(taken.getsockname()[1])):
                run = self.run_script(self.folder, port)
                self.assertNotEqual(run.returncode, 0, port)
                self.assertEqual(run.stdout, "", port)
                lines = run.stderr.strip().splitlines()
                self.assertEqual(len(lines), 1, f"{port}: {run.stderr}")
                self.assertNotIn("Traceback", run.stderr)
                self.assertIn(port, lines[0])
        finally:
            taken.close()

    def test_folder_without_a_page_is_one_line(self):
        run = self.run_script(self.work.name, "0")
        self.assertEqual(run.returncode, 1)
        self.assertEqual(len(run.stderr.strip().splitlines()), 1)


if __name__ == "__main__":
    unittest.main()
