#!/usr/bin/python3
"""The browser's speed at 480x480 in headless Chromium, beside the native frame_bench in
the same run: the raster core (the plain frame, buffers sized), the page's whole frame
(draw with the picture, the module's RGBA and putImageData through the page's own
paintRgba; beside it the page's older path, its own RGB-to-RGBA loop in paintRgb) and a
pixel's history. Medians in milliseconds.

    bench/web_bench.py [SITE [FRAME_BENCH]]   (defaults build-web/site, build/bench/frame_bench)

The page's own frame after a drag, two builds of the page side by side in one browser
(each in its tab, rounds interleaved): the time from the drag's change of the view to the
frame on the canvas, with the inspector when a pixel is selected, and from a click to the
pixel's history (and reason) on the page.

    bench/web_bench.py --page BEFORE-SITE AFTER-SITE
"""
import functools
import http.server
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import threading

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service

ROUNDS = 5
FRAMES = 40

MEASURE = """
const [frames, done] = [arguments[0], arguments[arguments.length - 1]];
(async () => {
    const { default: createSphaerix } = await import('./sphaerix.js');
    const { paintRgb, paintRgba } = await import('./canvas.js');
    // One module for every round: Chromium first runs WebAssembly through its baseline
    // compiler and swaps in the optimized code a moment later, as on a page in use.
    if (!window.benchModule) {
        window.benchModule = await createSphaerix();
        window.benchModule.useGeneratedTexture();
        for (let round = 0; round < 4; ++round) {
            for (let i = 0; i < 50; ++i)
                window.benchModule.draw(480, 480, -135 + i, -60, 0, 0, 0.25, 'color', -1);
            await new Promise(resolve => setTimeout(resolve, 1000));
        }
    }
    const m = window.benchModule;
    const canvas = document.createElement('canvas');
    document.body.appendChild(canvas);
    const whole = [], draw = [], paint = [], rgba = [], raster = [], history = [];
    for (let i = 0; i < frames; ++i) {
        // Turning by a degree a frame, as a drag does.
        const start = performance.now();
        m.draw(480, 480, -135 + i, -60, 0, 0, 0.25, 'color', -1);
        const drawn = performance.now();
        paintRgba(canvas, m.rgbaPixels(), m.imageWidth(), m.imageHeight());
        const end = performance.now();
        whole.push(end - start);
        draw.push(drawn - start);
        paint.push(end - drawn);
    }
    // The same with the RGB-to-RGBA loop in the page, for comparison.
    for (let i = 0; i < frames; ++i) {
        const start = performance.now();
        m.draw(480, 480, -135 + i, -60, 0, 0, 0.25, 'color', -1);
        paintRgb(canvas, m.pixels(), m.imageWidth(), m.imageHeight());
        rgba.push(performance.now() - start);
    }
    m.draw(480, 480, -135, -60, 0, 0, 0.25, 'color', -1);
    raster.push(...JSON.parse(m.rasterTimes(frames)));
    for (let i = 0; i < 10; ++i) {
        const start = performance.now();
        JSON.parse(m.historyJson(70 + i, 214));
        history.push(performance.now() - start);
    }
    done({ whole, draw, paint, rgba, raster, history });
})().catch(e => done({ error: String(e) }));
"""


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(folder):
    handler = functools.partial(QuietHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def browser(profile):
    options = Options()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--no-first-run", "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + profile):
        options.add_argument(flag)
    options.binary_location = "/usr/bin/chromium"
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def native_core(frame_bench):
    """frame_bench's 480x480 start-up frame, median of its repetitions, in milliseconds."""
    out = subprocess.run([frame_bench, "--benchmark_filter=^softwareFrame/w:480/h:480/zoom:0$",
                          "--benchmark_repetitions=5", "--benchmark_format=json"],
                         check=True, capture_output=True, text=True).stdout
    runs = [b for b in json.loads(out)["benchmarks"] if b.get("run_type") == "iteration"]
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0}
    return statistics.median(b["real_time"] * scale[b["time_unit"]] for b in runs)


# The page's animation frames are run here, when the measurement says, so that the time
# is the page's work and not the wait for the display.
HELD_FRAMES = "window.__frames = []; window.requestAnimationFrame = cb => window.__frames.push(cb);"

PAGE_MEASURE = """
const [fields, frames, done] = [arguments[0], arguments[1], arguments[arguments.length - 1]];
(async () => {
    const page = window.sphaerix;
    const flush = () => { for (const cb of window.__frames.splice(0)) cb(performance.now()); };
    let ready = false;
    page.ready.then(() => { ready = true; });
    while (!ready) {  // the first frame too waits for its animation frame
        flush();
        await new Promise(resolve => setTimeout(resolve, 10));
    }
    const timed = act => { const start = performance.now(); act(); flush(); return performance.now() - start; };
    timed(() => page.setView(fields));
    const drag = [], click = [];
    // Turning by a degree a frame, as a drag does; the first frames warm the module up.
    for (let i = 0; i < frames + 20; ++i) {
        const t = timed(() => page.setView({ az: -135 + (window.__turn = ((window.__turn ?? 0) + 1) % 90) }));
        if (i >= 20)
            drag.push(t);
    }
    for (let i = 0; i < 10; ++i)
        click.push(timed(() => page.select(100 + i, 200)));
    timed(() => page.setView({ pixel: '' }));
    done({ drag, click });
})().catch(e => done({ error: String(e) }));
"""


def page_main(before_site, after_site):
    """The page's frame after a drag and a click, before and after a change to the page."""
    servers = [serve(os.path.abspath(before_site)), serve(os.path.abspath(after_site))]
    # (what, the fields set first; scale only where the page has it)
    cases = [("480x480", dict(size="480x480", renderer="software"), {}),
             ("480x480 at 2x", dict(size="480x480", renderer="software"), dict(scale=2)),
             ("480x480, a pixel selected", dict(size="480x480", renderer="software", pixel="150,300"), {}),
             ("960x960", dict(size="960x960", renderer="software"), {}),
             ("960x960, a pixel selected, at 1x", dict(size="960x960", renderer="software", pixel="300,600"),
              dict(scale=1))]
    samples = {(what, side): {"drag": [], "click": []} for what, _, _ in cases for side in (0, 1)}
    with tempfile.TemporaryDirectory() as profile:
        driver = browser(profile)
        driver.set_script_timeout(300)
        try:
            tabs = []
            for server in servers:
                if tabs:
                    driver.switch_to.new_window("tab")
                driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": HELD_FRAMES})
                driver.get("http://127.0.0.1:%d/index.html#renderer=software" % server.server_address[1])
                tabs.append(driver.current_window_handle)
            for _ in range(ROUNDS):
                for what, fields, more in cases:
                    for side, tab in enumerate(tabs):
                        driver.switch_to.window(tab)
                        result = driver.execute_async_script(PAGE_MEASURE, dict(fields, **(more if side else {})), FRAMES)
                        if "error" in result:
                            sys.exit("web_bench: " + result["error"])
                        for key in ("drag", "click"):
                            samples[(what, side)][key] += result[key]
        finally:
            driver.quit()
            for server in servers:
                server.shutdown()
    print("the page's frame after a drag and a click, medians of %d rounds (ms): before, after, after/before" % ROUNDS)
    for what, _, _ in cases:
        drag = [statistics.median(samples[(what, side)]["drag"]) for side in (0, 1)]
        click = [statistics.median(samples[(what, side)]["click"]) for side in (0, 1)]
        print("%-36s drag %7.2f %7.2f %5.3f   click %7.2f %7.2f" % (what, drag[0], drag[1], drag[1] / drag[0],
                                                                    click[0], click[1]))


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--page":
        return page_main(sys.argv[2], sys.argv[3])
    site = sys.argv[1] if len(sys.argv) > 1 else "build-web/site"
    frame_bench = sys.argv[2] if len(sys.argv) > 2 else "build/bench/frame_bench"
    server = serve(os.path.abspath(site))
    samples = {"whole": [], "draw": [], "paint": [], "rgba": [], "raster": [], "history": [], "native": []}
    with tempfile.TemporaryDirectory() as profile:
        driver = browser(profile)
        driver.set_script_timeout(120)
        try:
            driver.get("http://127.0.0.1:%d/index.html" % server.server_address[1])
            for _ in range(ROUNDS):  # interleaved with the native runs, so both see the same machine
                result = driver.execute_async_script(MEASURE, FRAMES)
                if "error" in result:
                    sys.exit("web_bench: " + result["error"])
                for key in ("whole", "draw", "paint", "rgba", "raster", "history"):
                    samples[key] += result[key]
                samples["native"].append(native_core(frame_bench))
        finally:
            driver.quit()
            server.shutdown()
    med = {key: statistics.median(values) for key, values in samples.items()}
    print("480x480 start-up view, medians of %d rounds (ms)" % ROUNDS)
    print("native raster core (frame_bench)   %7.2f" % med["native"])
    print("browser raster core                %7.2f   (%.2f x native)" % (med["raster"], med["raster"] / med["native"]))
    print("browser whole frame                %7.2f   (draw and picture %.2f, module's RGBA and putImageData %.2f)"
          % (med["whole"], med["draw"], med["paint"]))
    print("browser whole frame, page's RGBA   %7.2f" % med["rgba"])
    print("browser pixel history              %7.2f" % med["history"])


if __name__ == "__main__":
    main()
