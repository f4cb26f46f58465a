#!/usr/bin/python3
"""The page in headless Chromium, served by scripts/web_serve.py:
- layout: at 1280 x 800 and 390 x 844 the canvas is whole, 4:3, centred, and
  nothing spills sideways;
- keys: Tab reaches the controls, Enter and Space work them, Space on the page
  pauses the demo, F and M are the page's, Tab, F5 and F11 stay the browser's;
  a hidden tab pauses; ?t= seeks through the program when it can;
- failures: a missing or broken index.wasm, index.data (the font) or
  demo.data (the data set), no Web Audio, and bad ?at= / ?t= each show one
  sentence and set the title to "failed";
- frames: index.html?at=SECONDS at one beat of every scene, screenshot once
  the title reads "frame ready", against the native program's --capture of the
  same music time (both draw every frame before it on the same fixed-step
  clock). Leaves page-BEAT.png, native-BEAT.png and diff-BEAT.png in
  build-web/test-out/ for every frame that differs.

Run from the checkout after scripts/build.sh, scripts/data.sh and
scripts/web.sh; arguments pick groups (layout keys errors frames; default
all). Exits 1 when any check fails, and when the page, the native program or
Chromium is missing (never passes without looking)."""
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
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--autoplay-policy=no-user-gesture-required",
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
        self.call("Page.enable")  # scripts added for new documents run only with it

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

    def value(self, expression):
        """The value of a JavaScript expression in the page."""
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails'].get('text')}")
        return result.get("result", {}).get("value")

    def wait_for(self, expression, timeout=120.0, what=None, interval=0.1):
        """Polls until the expression is true; its last value."""
        deadline = time.time() + timeout
        while True:
            v = self.value(expression)
            if v:
                return v
            if time.time() > deadline:
                raise RuntimeError(f"waited {timeout:.0f} s for {what or expression}")
            time.sleep(interval)

    def key(self, key, code, key_code, text=None):
        """A real key press (down and up) as the keyboard sends it."""
        down = {"type": "keyDown" if text else "rawKeyDown", "key": key, "code": code,
                "windowsVirtualKeyCode": key_code, "nativeVirtualKeyCode": key_code}
        if text:
            down["text"] = text
        self.call("Input.dispatchKeyEvent", **down)
        self.call("Input.dispatchKeyEvent", type="keyUp", key=key, code=code, windowsVirtualKeyCode=key_code,
                  nativeVirtualKeyCode=key_code)

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
    # A window that holds the canvas at its own size (one page pixel each).
    browser.call("Emulation.setDeviceMetricsOverride", width=1280, height=800, deviceScaleFactor=1, mobile=False)
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
    if rect[2:] != [640, 480]:
        raise RuntimeError(f"the canvas is shown at {rect[2]}x{rect[3]}, not 640x480")
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


# ---- Layout ----------------------------------------------------------------

CANVAS_RECT = ("(() => { const r = document.getElementById('canvas').getBoundingClientRect();"
               " return [r.left, r.top, r.width, r.height, innerWidth, innerHeight,"
               " document.documentElement.scrollWidth]; })()")


def check_layout(browser, base):
    """The canvas whole, 4:3 and centred at a desktop and a phone size."""
    problems = []
    for width, height, mobile in ((1280, 800, False), (390, 844, True)):
        browser.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=1,
                     mobile=mobile)
        browser.call("Page.navigate", url=f"{base}index.html")
        browser.wait_for("window.page && page.state != 'loading' || document.title == 'failed'", what="the page")
        left, top, w, h, vw, vh, scroll_width = browser.value(CANVAS_RECT)
        name = f"{width} x {height}"
        if left < 0 or top < 0 or left + w > vw + 0.5 or top + h > vh + 0.5:
            problems.append(f"{name}: the canvas ({left:.0f},{top:.0f} {w:.0f}x{h:.0f}) is cut off")
        if abs(w * 3 - h * 4) > 4:
            problems.append(f"{name}: the canvas is {w:.0f}x{h:.0f}, not 4:3")
        if abs(left - (vw - left - w)) > 1.0:
            problems.append(f"{name}: the canvas is not centred ({left:.0f} left, {vw - left - w:.0f} right)")
        if w < 0.85 * min(vw, 640):
            problems.append(f"{name}: the canvas is only {w:.0f} wide")
        if scroll_width > vw:
            problems.append(f"{name}: the page is {scroll_width} wide in a {vw} window")
        if width == 1280 and (w, h) != (640, 480):
            problems.append(f"{name}: the canvas is {w:.0f}x{h:.0f}, not a whole multiple of 640x480")
    browser.call("Emulation.clearDeviceMetricsOverride")
    return problems


# ---- Keys ------------------------------------------------------------------

# Records whether the page cancelled a key the browser should keep; runs after
# every listener the page and the program put on the document.
KEY_PROBE = ("window.cancelled = {}; window.addEventListener('keydown', e => {"
             " window.cancelled[e.key] = e.defaultPrevented; });")


def synthetic_key(browser, key):
    """Sends a keydown to the page's body; whether anything cancelled it."""
    return browser.value(
        f"!document.body.dispatchEvent(new KeyboardEvent('keydown', {{key: {json.dumps(key)},"
        f" bubbles: true, cancelable: true}}))")


def check_keys(browser, base):
    """The controls from the keyboard; the browser keeps its own keys."""
    problems = []

    def expect(condition, text):
        if not condition:
            problems.append(text)

    browser.call("Page.navigate", url=f"{base}index.html")
    browser.wait_for("window.page && (page.state == 'ready' || page.failed)", timeout=300, what="the ready page")
    browser.value(KEY_PROBE)
    for key in ("Tab", "F5", "F11", "a"):
        expect(not synthetic_key(browser, key), f"the page cancels {key}")
    browser.value("document.activeElement.blur()")
    browser.key("Tab", "Tab", 9)
    focused = browser.value("document.activeElement.id")
    expect(focused == "start", f"Tab first reaches {focused!r}, not the start button")
    browser.key("Enter", "Enter", 13, "\r")
    try:
        browser.wait_for("page.state == 'playing'", timeout=20, what="playing after Enter")
    except RuntimeError as e:
        return problems + [str(e)]
    browser.wait_for("Module.dunravelPosition && Module.dunravelPosition.seconds > 1.6", timeout=20,
                     what="the music clock to run")
    # The position as time and beat, and the scenes as chapters with the first one current.
    shown = browser.value("[...['time', 'beat'].map(id => document.getElementById(id).textContent),"
                          " ...[...document.querySelectorAll('#chapters li')].map(li =>"
                          " (li.classList.contains('current') ? '*' : '') + li.textContent)]")
    expect(re.fullmatch(r"0:0[1-9] / 4:[0-5]\d", shown[0]) is not None, f"the time reads {shown[0]!r}")
    expect(re.fullmatch(r"beat [1-9]\d*", shown[1]) is not None, f"the beat reads {shown[1]!r}")
    expect(len(shown) == 13 and shown[2] == "*1 Title" and shown[12] == "11 The end",
           f"the chapters read {shown[2:]}")
    # Tab to the play button: Space on it pauses, once.
    browser.value("document.getElementById('play').focus()")
    browser.key(" ", "Space", 32, " ")
    browser.wait_for("page.state == 'paused'", timeout=10, what="paused by Space on the Pause button")
    expect(browser.value("document.getElementById('play').textContent") == "Play",
           "the paused button does not offer Play")
    held = browser.value("Module.dunravelPosition.seconds")
    time.sleep(0.5)
    expect(browser.value("Module.dunravelPosition.seconds") == held, "the clock runs while paused")
    browser.key("Enter", "Enter", 13, "\r")
    browser.wait_for("page.state == 'playing'", timeout=10, what="playing after Enter on Play")
    # Space with no control focused is the program's own key.
    browser.value("document.activeElement.blur()")
    browser.key(" ", "Space", 32, " ")
    browser.wait_for("page.state == 'paused'", timeout=10, what="paused by Space on the page")
    expect(browser.value("cancelled[' ']") is True, "Space on the page scrolls it as well")
    browser.key(" ", "Space", 32, " ")
    browser.wait_for("page.state == 'playing'", timeout=10, what="resumed by Space on the page")
    browser.key("m", "KeyM", 77, "m")
    expect(browser.value("document.getElementById('mute').getAttribute('aria-pressed')") == "true",
           "M does not mute")
    expect(browser.value("Module.dunravelAudio.gain.gain.value") == 0, "muted, the sound still plays")
    browser.value("document.getElementById('volume').focus()")
    browser.key("ArrowLeft", "ArrowLeft", 37)
    expect(browser.value("document.getElementById('volume').value") == "0.95",
           "the arrow on the volume slider does not move it")
    browser.key("m", "KeyM", 77, "m")
    expect(abs(browser.value("Module.dunravelAudio.gain.gain.value") - 0.95) < 1e-6,
           "unmuted, the volume is not the slider's")
    # A hidden tab pauses the music with the picture; shown again, it plays on.
    hide = ("Object.defineProperty(document, 'hidden', {value: %s, configurable: true});"
            " document.dispatchEvent(new Event('visibilitychange'));")
    browser.value(hide % "true")
    expect(browser.value("page.state") == "paused", "a hidden tab keeps playing")
    browser.value(hide % "false")
    expect(browser.value("page.state") == "playing", "the shown tab does not play on")
    return problems


def check_start_at(browser, base):
    """?t= plays from there through the program's seek when it has one, and
    the page says so when it has none."""
    problems = []
    for has_seek in (True, False):
        browser.call("Page.navigate", url=f"{base}index.html?t=30")
        browser.wait_for("window.page && (page.state == 'ready' || page.failed)", timeout=300, what="ready")
        if has_seek and not browser.value("typeof Module._dunravel_seek == 'function'"):
            browser.value("window.sought = []; Module._dunravel_seek = s => window.sought.push(s);")
        elif has_seek:
            browser.value("window.sought = []; const seek = Module._dunravel_seek;"
                          " Module._dunravel_seek = s => { window.sought.push(s); seek(s); };")
        browser.value("document.getElementById('start').click()")
        browser.wait_for("page.state == 'playing'", timeout=20, what="playing")
        if has_seek:
            sought = browser.wait_for("window.sought.length && window.sought", timeout=10, what="the seek")
            if sought != [30]:
                problems.append(f"?t=30 sought {sought}")
        elif browser.value("typeof Module._dunravel_seek") != "function":
            status = browser.value("document.getElementById('status').textContent")
            if "cannot seek" not in status:
                problems.append(f"?t=30 without seeking, the status reads {status!r}")
    return problems


# ---- Failures ----------------------------------------------------------------

def page_copy(page_dir, work, name, change):
    """A copy of the page folder (hard links) with one file removed or broken."""
    folder = os.path.join(work, name)
    os.makedirs(folder)
    for f in ("index.html", "index.js", "index.wasm", "index.data", "demo.js", "demo.data"):
        src = os.path.join(page_dir, f)
        try:
            os.link(src, os.path.join(folder, f))
        except OSError:
            shutil.copy(src, folder)
    if change:
        target, how = change
        path = os.path.join(folder, target)
        if how == "missing":
            os.remove(path)
        else:
            with open(path, "rb") as f:
                data = f.read()
            os.remove(path)  # never write through the link
            with open(path, "wb") as f:
                f.write(data[: len(data) // 2] if how == "half" else b"not a program" * 100)
    return folder


# (folder change, query, words the sentence must hold)
FAILURES = [
    (("index.wasm", "missing"), "", ["index.wasm", "404"]),
    (("index.wasm", "garbage"), "", ["index.wasm", "damaged"]),
    (("index.data", "missing"), "", ["index.data", "font"]),
    (("index.data", "half"), "", ["font"]),
    (("demo.data", "missing"), "", ["demo.data", "404"]),
    (("demo.data", "half"), "", ["demo.data", "incomplete"]),
    (None, "at=abc", ["?at=abc", "seconds"]),
    (None, "at=-5", ["?at=-5", "seconds"]),
    (None, "at=", ["?at=", "seconds"]),
    (None, "at=1e400", ["?at=1e400", "seconds"]),
    (None, "at=100000", ["?at=", "end of the music"]),
    (None, "t=later", ["?t=later", "seconds"]),
    (None, "noaudio", ["sound"]),
]
NO_AUDIO = ("for (const name of ['AudioContext', 'webkitAudioContext'])"
            " Object.defineProperty(window, name, {value: undefined, configurable: true});")


def check_failures(browser, page_dir, work):
    import web_serve
    problems = []
    for change, query, words in FAILURES:
        name = f"{change[0]} {change[1]}" if change else query
        folder = page_copy(page_dir, work, f"fail-{len(problems)}-{name.replace(' ', '-').replace('=', '')}",
                           change)
        server = web_serve.make_server(folder)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        script = None
        try:
            if query == "noaudio":
                script = browser.call("Page.addScriptToEvaluateOnNewDocument", source=NO_AUDIO)["identifier"]
            url = f"http://127.0.0.1:{server.server_address[1]}/index.html"
            browser.call("Page.navigate", url=url + ("?" + query if query and query != "noaudio" else ""))
            try:
                browser.wait_for("document.title == 'failed'", timeout=120, what="the title 'failed'")
            except RuntimeError as e:
                problems.append(f"{name}: {e}")
                continue
            shown = browser.value("(() => { const e = document.getElementById('error');"
                                  " return e.hidden || !e.offsetHeight ? '' : e.textContent; })()")
            if not shown:
                problems.append(f"{name}: no sentence on the page")
            elif "\n" in shown.strip() or not shown.strip().endswith(".") or shown.count(". ") > 1:
                problems.append(f"{name}: not one sentence: {shown!r}")
            missing = [w for w in words if w not in shown]
            if missing:
                problems.append(f"{name}: {shown!r} does not say {missing}")
            else:
                print(f"ok   failure {name}: {shown}")
        finally:
            if script:
                browser.call("Page.removeScriptToEvaluateOnNewDocument", identifier=script)
            server.shutdown()
            server.server_close()
            shutil.rmtree(folder, ignore_errors=True)
    return problems


# ---- Frames ----------------------------------------------------------------

def check_frames(browser, base, work, out_dir):
    passed = failed = 0
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
    return passed, failed


GROUPS = ("layout", "keys", "errors", "frames")


def main():
    try:
        import PIL  # noqa: F401  python3-pil
        import websocket  # noqa: F401  python3-websocket
    except ImportError as e:
        fail(f"{e.name} is missing (scripts/web.sh installs python3-pil and python3-websocket)")
    page_dir = os.path.join(ROOT, "build-web")
    groups = sys.argv[1:] or list(GROUPS)
    unknown = [g for g in groups if g not in GROUPS]
    if unknown:
        fail(f"unknown group {unknown[0]!r} (choose from {' '.join(GROUPS)})")
    for needed in ("index.html", "index.js", "index.wasm", "index.data", "demo.js", "demo.data"):
        if not os.path.isfile(os.path.join(page_dir, needed)):
            fail(f"build-web/{needed} is missing: run scripts/web.sh first")
    if "frames" in groups and not os.access(os.path.join(ROOT, "build", "dunravel"), os.X_OK):
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
        for group, check in (("layout", lambda: check_layout(browser, base)),
                             ("keys", lambda: check_keys(browser, base) + check_start_at(browser, base)),
                             ("errors", lambda: check_failures(browser, page_dir, work))):
            if group not in groups:
                continue
            try:
                problems = check()
            except RuntimeError as e:
                problems = [str(e)]
            for p in problems:
                print(f"FAIL {group}: {p}")
            if problems:
                failed += 1
            else:
                print(f"ok   {group}")
                passed += 1
        if "frames" in groups:
            p, f = check_frames(browser, base, work, out_dir)
            passed += p
            failed += f
    finally:
        browser.close()
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)
    print(f"page: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
