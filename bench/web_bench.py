#!/usr/bin/python3
"""The browser's speed at 480x480 in headless Chromium, beside the native frame_bench in
the same run: the raster core (the plain frame, buffers sized), the page's whole frame
(draw with the picture, the module's RGBA and putImageData through the page's own
paintRgba; beside it the page's older path, its own RGB-to-RGBA loop in paintRgb) and a
pixel's history. Medians in milliseconds.

    bench/web_bench.py [SITE [FRAME_BENCH]]   (defaults build-web/site, build/bench/frame_bench)
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


def main():
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
