#!/usr/bin/python3
"""The page's speed in headless Chromium, as the page itself times it:
- draw: index.html?bench plays every frame of the demo on the fixed-step
  clock (60 a second), one per display frame, and records each frame's time
  from the clock update to the canvas written (performance.now); printed per
  scene as median and 95th percentile in milliseconds;
- load: index.html over a link throttled by the browser to 10 Mbit/s (cache
  off): seconds until the loading screen draws and until the demo is ready;
- readback: the first 30 s of ?bench with the canvas read back before each
  frame (emscripten's SDL default, switched on from outside) against without,
  alternated, as median drawing times and their ratio.
Prints Markdown rows for bench/RESULTS.md. Run from the checkout after
scripts/web.sh: bench/web_page.py [draw] [load] [readback] [--against DIR]
(DIR: another build's page folder, loaded alternately with this one)."""
import os
import statistics
import sys
import tempfile
import threading
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
sys.path.insert(0, os.path.join(ROOT, "tests", "web"))
import page_test  # noqa: E402
import web_serve  # noqa: E402

LINK_BYTES_PER_SECOND = 10e6 / 8  # 10 Mbit/s


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def draw_times(browser, base):
    browser.call("Page.navigate", url=f"{base}index.html?bench")
    browser.wait_for("document.title == 'bench done' || document.title == 'failed'", timeout=1200,
                     what="the bench run")
    if browser.title() == "failed":
        raise RuntimeError("the page failed: " + str(browser.value("document.getElementById('error').textContent")))
    times = browser.value("Module.dunravelTimes")
    chapters = [c for c in browser.value("Module.dunravelChapters") if c["name"] in page_test.BEATS]
    tempo = browser.value("Module.dunravelTrack.bpm")
    starts = [(c["seconds"] * tempo / 60.0, c["name"]) for c in chapters]
    per_scene = {name: [] for _, name in starts}
    for beat, ms in times:
        scene = None
        for first, name in starts:
            if beat >= first:
                scene = name
        if scene:
            per_scene[scene].append(ms)
    print("| scene | frames | median ms | 95th percentile ms | slowest ms |")
    print("| --- | ---: | ---: | ---: | ---: |")
    for _, name in starts:
        ms = per_scene[name]
        if ms:
            print(f"| {name} | {len(ms)} | {statistics.median(ms):.2f} | {percentile(ms, 0.95):.2f} | {max(ms):.2f} |")
    every = [ms for _, ms in times]
    print(f"| all | {len(every)} | {statistics.median(every):.2f} | {percentile(every, 0.95):.2f} | "
          f"{max(every):.2f} |")


# Polled the same way on any build of the page: the program's main() runs
# (it draws the loading screen at once), and the page asks for the start.
STARTED = "window.Module && Module.calledRun"
READY = ("(window.page && page.state == 'ready') ||"
         " document.getElementById('status').textContent == 'Loaded.'")


def load_times(browser, bases, rounds=3):
    """bases: (label, url) pairs, alternated round by round."""
    browser.call("Network.enable")
    browser.call("Network.setCacheDisabled", cacheDisabled=True)
    browser.call("Network.emulateNetworkConditions", offline=False, latency=20,
                 downloadThroughput=LINK_BYTES_PER_SECOND, uploadThroughput=LINK_BYTES_PER_SECOND)
    print("| round | page | loading screen drawn s | ready s |")
    print("| --- | --- | ---: | ---: |")
    try:
        for r in range(rounds):
            for label, base in bases:
                browser.call("Page.navigate", url=f"{base}index.html")
                browser.wait_for(STARTED, timeout=300, interval=0.02, what="main()")
                started = browser.value("performance.now()")
                browser.wait_for(READY, timeout=300, interval=0.02, what="ready")
                ready = browser.value("performance.now()")
                print(f"| {r + 1} | {label} | {started / 1000:.2f} | {ready / 1000:.2f} |")
    finally:
        browser.call("Network.emulateNetworkConditions", offline=False, latency=0, downloadThroughput=-1,
                     uploadThroughput=-1)


# emscripten's SDL as it locks the screen by default: the canvas copied into
# memory (getImageData) and every alpha byte forced before each frame.
READ_BACK = "SDL.defaults.copyOnLock = true; SDL.defaults.discardOnLock = false; SDL.defaults.opaqueFrontBuffer = true;"


def readback_times(browser, base, rounds=2, seconds=30.0):
    print("| round | read back | frames | median ms | 95th percentile ms |")
    print("| --- | --- | ---: | ---: | ---: |")
    medians = {True: [], False: []}
    for r in range(rounds):
        for read_back in (False, True):
            browser.call("Page.navigate", url=f"{base}index.html?bench")
            browser.wait_for("window.page && page.state == 'playing'", timeout=300, what="the bench run")
            if read_back:
                browser.value(READ_BACK)
            browser.value("Module.dunravelTimes = []")
            time.sleep(seconds)
            ms = [t for _, t in browser.value("Module.dunravelTimes")]
            medians[read_back].append(statistics.median(ms))
            print(f"| {r + 1} | {'yes' if read_back else 'no'} | {len(ms)} | {statistics.median(ms):.2f} | "
                  f"{percentile(ms, 0.95):.2f} |")
    before, after = statistics.median(medians[True]), statistics.median(medians[False])
    print(f"median of medians: {before:.2f} ms read back, {after:.2f} ms not; ratio {after / before:.2f}")


def main():
    args = sys.argv[1:]
    other = None  # --against DIR: another build of the page, for load
    if "--against" in args:
        i = args.index("--against")
        other = args[i + 1]
        del args[i:i + 2]
    parts = args or ["draw", "load", "readback"]
    page_dir = os.path.join(ROOT, "build-web")
    if not os.path.isfile(os.path.join(page_dir, "demo.data")):
        print("web_page: build-web/ is not built: run scripts/web.sh first", file=sys.stderr)
        return 1
    server = web_serve.make_server(page_dir)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}/"
    with tempfile.TemporaryDirectory(prefix="dunravel-web-bench-") as work:
        browser = page_test.Browser(os.path.join(work, "profile"))
        try:
            if "load" in parts:
                bases = [("this", base)]
                if other:
                    second = web_serve.make_server(other)
                    threading.Thread(target=second.serve_forever, daemon=True).start()
                    bases.append((os.path.basename(os.path.normpath(other)),
                                  f"http://127.0.0.1:{second.server_address[1]}/"))
                load_times(browser, bases)
            if "readback" in parts:
                readback_times(browser, base)
            if "draw" in parts:
                started = time.time()
                draw_times(browser, base)
                print(f"({time.time() - started:.0f} s)")
        finally:
            browser.close()
            server.shutdown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
