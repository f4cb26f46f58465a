#!/usr/bin/python3
"""The page against the program: serves build-web/, loads index.html?at=SECONDS
in headless Chromium at one beat of every scene, takes a screenshot of the
canvas once the title reads "frame ready", and compares it with the native
program's --capture of the same music time (both draw every frame before it
on the same fixed-step clock). Leaves page-BEAT.png, native-BEAT.png and
diff-BEAT.png in build-web/test-out/ for every frame that differs.

Run from the checkout after scripts/build.sh, scripts/data.sh and
scripts/web.sh. Exits 1 when any frame differs, and when the page, the
native program or Chromium is missing (never passes without looking)."""
import base64
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "scripts"))

FPS = 4  # the fixed step of both runs: few frames before the late beats
# One beat inside every scene (90 beats a minute: each is a whole or half
# second, so both programs read the same time).
BEATS = {"title": 21, "metaball": 60, "tunnel": 87, "water": 117, "ribbon": 147, "twister": 180,
         "spikeball": 213, "greetings": 249, "terrain": 288, "collider": 339, "end": 384}
PAGE_TIMEOUT = 600.0  # seconds for one page to draw its frame


def fail(message):
    print(f"page test: {message}", file=sys.stderr)
    sys.exit(1)


def seconds_text(beat):
    return f"{beat * 60 / 90:g}"


class Browser:
    """Headless Chromium driven over its DevTools protocol."""

    def __init__(self, profile):
        exe = shutil.which("chromium") or shutil.which("chromium-browser")
        if not exe:
            fail("chromium is not installed (scripts/web.sh installs it)")
        self.process = subprocess.Popen(
            [exe, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--mute-audio",
             "--force-device-scale-factor=1", "--force-color-profile=srgb", "--window-size=800,700",
             "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
             f"--user-data-dir={profile}", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        port = None
        deadline = time.time() + 60
        while time.time() < deadline:
            line = self.process.stderr.readline()
            if not line:
                break
            m = re.search(r"DevTools listening on ws://127\.0\.0\.1:(\d+)/", line)
            if m:
                port = int(m.group(1))
                break
        if port is None:
            self.close()
            fail("chromium did not start its DevTools endpoint")
        threading.Thread(target=self.process.stderr.read, daemon=True).start()
        import websocket  # python3-websocket
        with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list") as r:
            pages = [t for t in json.load(r) if t.get("type") == "page"]
        if not pages:
            self.close()
            fail("chromium shows no page to drive")
        self.socket = websocket.create_connection(pages[0]["webSocketDebuggerUrl"], timeout=120)
        self.next_id = 0

    def call(self, method, **params):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})

    def title(self):
        result = self.call("Runtime.evaluate", expression="document.title")
        return result.get("result", {}).get("value", "")

    def close(self):
        try:
            self.socket.close()
        except Exception:
            pass
        self.process.terminate()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()


def page_frame(browser, base, beat):
    """The canvas of index.html?at= as an RGB image; the seconds it took."""
    from PIL import Image
    started = time.time()
    browser.call("Page.navigate", url=f"{base}index.html?at={seconds_text(beat)}&fps={FPS}")
    while True:
        title = browser.title()
        if title == "frame ready":
            break
        if title == "failed":
            raise RuntimeError("the page reported a failure")
        if time.time() - started > PAGE_TIMEOUT:
            raise RuntimeError(f"no frame after {PAGE_TIMEOUT:.0f} s (title {title!r})")
        time.sleep(0.2)
    rect = browser.call("Runtime.evaluate", returnByValue=True, expression=(
        "(() => { const r = document.getElementById('canvas').getBoundingClientRect();"
        " return [r.x, r.y, r.width, r.height]; })()"))["result"]["value"]
    shot = browser.call("Page.captureScreenshot", format="png",
                        clip={"x": rect[0], "y": rect[1], "width": 640, "height": 480, "scale": 1})
    image = Image.open(io.BytesIO(base64.b64decode(shot["data"]))).convert("RGB")
    return image, time.time() - started


def native_frame(work, beat):
    """The native --capture of the same frame, with the same warm-up."""
    from PIL import Image
    out = os.path.join(work, f"native-{beat}")
    env = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy")
    run = subprocess.run([os.path.join(ROOT, "build", "dunravel"), "--capture", out, "--fps", str(FPS),
                          "--from", seconds_text(beat) + "s", "--frames", "1", "--warm-up"],
                         cwd=ROOT, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    frames = sorted(f for f in os.listdir(out) if f.endswith(".png")) if os.path.isdir(out) else []
    if run.returncode != 0 or len(frames) != 1:
        raise RuntimeError(f"the native capture failed ({run.returncode}): {run.stderr.strip()}")
    return Image.open(os.path.join(out, frames[0])).convert("RGB")


def difference(page, native):
    """(pixels that differ, the largest channel difference, a difference image)."""
    from PIL import ImageChops
    diff = ImageChops.difference(page, native)
    bands = diff.split()
    largest = max(b.getextrema()[1] for b in bands)
    mask = ImageChops.lighter(ImageChops.lighter(bands[0], bands[1]), bands[2]).point(lambda v: 255 if v else 0)
    return mask.histogram()[255], largest, mask


def main():
    try:
        import PIL  # noqa: F401  python3-pil
        import websocket  # noqa: F401  python3-websocket
    except ImportError as e:
        fail(f"{e.name} is missing (scripts/web.sh installs python3-pil and python3-websocket)")
    page_dir = os.path.join(ROOT, "build-web")
    for needed in ("index.html", "index.js", "index.wasm", "index.data"):
        if not os.path.isfile(os.path.join(page_dir, needed)):
            fail(f"build-web/{needed} is missing: run scripts/web.sh first")
    if not os.access(os.path.join(ROOT, "build", "dunravel"), os.X_OK):
        fail("build/dunravel is missing: run scripts/build.sh first")
    out_dir = os.path.join(page_dir, "test-out")
    shutil.rmtree(out_dir, ignore_errors=True)
    os.makedirs(out_dir)

    import web_serve
    server = web_serve.make_server(page_dir)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}/"
    work = tempfile.mkdtemp(prefix="dunravel-page-test-")
    browser = Browser(os.path.join(work, "profile"))
    passed = failed = 0
    try:
        for scene, beat in BEATS.items():
            name = f"{scene} at beat {beat} ({seconds_text(beat)} s, {FPS} fps)"
            try:
                page, took = page_frame(browser, base, beat)
                native = native_frame(work, beat)
            except RuntimeError as e:
                print(f"FAIL {name}: {e}")
                failed += 1
                continue
            count, largest, mask = difference(page, native)
            if count == 0:
                print(f"ok   {name}: identical ({took:.1f} s in the page)")
                passed += 1
                continue
            print(f"FAIL {name}: {count} pixels differ, by up to {largest} "
                  f"(build-web/test-out/*-{beat}.png)")
            page.save(os.path.join(out_dir, f"page-{beat}.png"))
            native.save(os.path.join(out_dir, f"native-{beat}.png"))
            mask.save(os.path.join(out_dir, f"diff-{beat}.png"))
            failed += 1
    finally:
        browser.close()
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)
    print(f"page: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
