#!/usr/bin/python3
"""The browser's speed in headless Chromium at 480x480, 960x960 and 1920x1080, beside the
native frame_bench of the same size in the same run: the raster core (the plain frame,
buffers sized), the page's whole frame (draw, the module's RGBA and putImageData), of
which the draw with its picture and the RGBA with putImageData, a pixel's history, and
the OpenGL rendering through WebGL 2 (render, read back, putImageData). Medians in
milliseconds.

Several sites (or modules of one site) are measured in the same run, round by round, each
in its own tab with its own warmed-up module, so that the machine's noise hits them all;
so are several frame_bench builds:

    bench/web_bench.py [--frame-bench PATH]... [SITE[:MODULE]]...
        defaults build-web/site (its sphaerix.js) and build/bench/frame_bench
    bench/web_bench.py build-web/site build-web/site:sphaerix-one-lane.js old/site \\
        --frame-bench build/bench/frame_bench --frame-bench old/frame_bench

The page's own frame after a drag, two builds of the page side by side in one browser
(each in its tab, rounds interleaved): the time from the drag's change of the view to the
frame on the canvas, with the inspector when a pixel is selected, and from a click to the
pixel's history (and reason) on the page.

    bench/web_bench.py --page BEFORE-SITE AFTER-SITE

The OpenGL rendering through WebGL 2 (software WebGL where there is no GPU), stage by
stage at each size: reading the scene from the module and laying out its corners, the
upload with the drawing (until one pixel can be read), reading the pixels back
(readPixels and the rows turned), the copy to a 2D canvas, and the drawing alone with the scene kept in WebGL's
buffers, shown on the WebGL canvas. Then the page's frame after a drag on the OpenGL
rendering, two builds side by side as --page does (one pixel read, so that the drawing
is done before the clock stops):

    bench/web_bench.py --opengl BEFORE-SITE AFTER-SITE

The software frame of a drag (draw, the module's RGBA and putImageData, as the whole frame
above) under the program's own rules and under gl, rounds interleaved, in the page's own
module; and the ladder of the 480x480 start-up view, turned a degree each time so that its
WebGL frame is drawn anew, as the Ladder button runs it; several sites each in its tab,
rounds interleaved:

    bench/web_bench.py --rules SITE...
"""
import argparse
import contextlib
import functools
import http.server
import json
import os
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
SIZES = [(480, 480), (960, 960), (1920, 1080)]

# Loads and warms up the module once per tab: Chromium first runs WebAssembly through its
# baseline compiler and swaps in the optimized code a moment later, as on a page in use.
LOAD = """
const [moduleFile, sizes, done] = arguments;
(async () => {
    const { default: createSphaerix } = await import('./' + moduleFile);
    const m = await createSphaerix();
    m.useGeneratedTexture();
    for (let round = 0; round < 4; ++round) {
        for (const [w, h] of sizes)
            for (let i = 0; i < 50 * 480 * 480 / (w * h); ++i)
                m.draw(w, h, -135 + i, -60, 0, 0, 0.25, 'color', -1);
        await new Promise(resolve => setTimeout(resolve, 1000));
    }
    window.benchModule = m;
    try {
        const { createOpenGLRenderer } = await import('./opengl/renderer.js');
        window.benchOpenGL = createOpenGLRenderer().renderer;
    } catch (e) {
        window.benchOpenGL = null; // a site without the OpenGL rendering
    }
    done({});
})().catch(e => done({ error: String(e) }));
"""

MEASURE = """
const [frames, w, h, openGL, done] = arguments;
(async () => {
    const m = window.benchModule;
    let canvas = document.getElementById('bench-canvas');
    if (!canvas) {
        canvas = document.createElement('canvas');
        canvas.id = 'bench-canvas';
        document.body.appendChild(canvas);
    }
    canvas.width = w;
    canvas.height = h;
    const context = canvas.getContext('2d');
    // As the page hands the module's RGBA to its canvas, without a copy.
    const paint = rgba => context.putImageData(
        new ImageData(new Uint8ClampedArray(rgba.buffer, rgba.byteOffset, w * h * 4), w, h), 0, 0);
    const r = { whole: [], draw: [], paint: [], raster: [], history: [], opengl: [] };
    for (let i = 0; i < frames; ++i) {
        // Turning by a degree a frame, as a drag does.
        const start = performance.now();
        const message = m.draw(w, h, -135 + i, -60, 0, 0, 0.25, 'color', -1);
        const drawn = performance.now();
        if (message)
            throw new Error(message);
        paint(m.rgbaPixels());
        const end = performance.now();
        r.whole.push(end - start);
        r.draw.push(drawn - start);
        r.paint.push(end - drawn);
    }
    m.draw(w, h, -135, -60, 0, 0, 0.25, 'color', -1);
    r.raster.push(...JSON.parse(m.rasterTimes(frames)));
    // The rim pixel of the start-up view at 480x480, at the same place of the others.
    const x = Math.round(70 * w / 480), y = Math.round(214 * h / 480);
    for (let i = 0; i < 10; ++i) {
        const start = performance.now();
        JSON.parse(m.historyJson(x + i, y));
        r.history.push(performance.now() - start);
    }
    if (openGL && window.benchOpenGL) {
        for (let i = 0; i < frames / 2; ++i) {
            m.draw(w, h, -135 + i, -60, 0, 0, 0.25, 'color', -1);
            const start = performance.now();
            const shown = window.benchOpenGL.render(m, w, h);
            if (shown.error)
                throw new Error(shown.error);
            const image = context.createImageData(w, h);
            const out = image.data;
            for (let p = 0, q = 0; p < w * h * 4; p += 4, q += 3) {
                out[p] = shown.rgb[q];
                out[p + 1] = shown.rgb[q + 1];
                out[p + 2] = shown.rgb[q + 2];
                out[p + 3] = 255;
            }
            context.putImageData(image, 0, 0);
            r.opengl.push(performance.now() - start);
        }
    }
    done(r);
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
                 "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
                 "--disable-backgrounding-occluded-windows", "--user-data-dir=" + profile):
        options.add_argument(flag)
    options.binary_location = "/usr/bin/chromium"
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


@contextlib.contextmanager
def site_tabs(sites, hash, script_timeout, on_new_document=""):
    """A browser with a tab per site, each served on its own port and opened on `hash`;
    yields (driver, tabs), and closes the browser and the servers however the block ends."""
    servers = [serve(os.path.abspath(site)) for site in sites]
    with tempfile.TemporaryDirectory() as profile:
        driver = browser(profile)
        driver.set_script_timeout(script_timeout)
        try:
            tabs = []
            for server in servers:
                if tabs:
                    driver.switch_to.new_window("tab")
                if on_new_document:
                    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": on_new_document})
                driver.get("http://127.0.0.1:%d/index.html%s" % (server.server_address[1], hash))
                tabs.append(driver.current_window_handle)
            yield driver, tabs
        finally:
            driver.quit()
            for server in servers:
                server.shutdown()


def measured(driver, script, *args):
    """What a measuring script resolved to; an error it gave ends the run."""
    result = driver.execute_async_script(script, *args)
    if "error" in result:
        sys.exit("web_bench: " + result["error"])
    return result


def native_cores(frame_bench):
    """frame_bench's start-up frame at each size, median of its repetitions, in ms."""
    sizes = "|".join("%d/h:%d" % size for size in SIZES)
    out = subprocess.run([frame_bench, "--benchmark_filter=^softwareFrame/w:(%s)/zoom:0$" % sizes,
                          "--benchmark_repetitions=5", "--benchmark_format=json"],
                         check=True, capture_output=True, text=True).stdout
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0}
    times = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("run_type") == "iteration":
            w, h = (int(part.split(":")[1]) for part in b["run_name"].split("/")[1:3])
            times.setdefault((w, h), []).append(b["real_time"] * scale[b["time_unit"]])
    return {size: statistics.median(values) for size, values in times.items()}


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
    # (what, the fields set first; scale only where the page has it)
    cases = [("480x480", dict(size="480x480", renderer="software"), {}),
             ("480x480 at 2x", dict(size="480x480", renderer="software"), dict(scale=2)),
             ("480x480, a pixel selected", dict(size="480x480", renderer="software", pixel="150,300"), {}),
             ("960x960", dict(size="960x960", renderer="software"), {}),
             ("960x960, a pixel selected, at 1x", dict(size="960x960", renderer="software", pixel="300,600"),
              dict(scale=1))]
    samples = {(what, side): {"drag": [], "click": []} for what, _, _ in cases for side in (0, 1)}
    with site_tabs([before_site, after_site], "#renderer=software", 300, HELD_FRAMES) as (driver, tabs):
        for _ in range(ROUNDS):
            for what, fields, more in cases:
                for side, tab in enumerate(tabs):
                    driver.switch_to.window(tab)
                    result = measured(driver, PAGE_MEASURE, dict(fields, **(more if side else {})), FRAMES)
                    for key in ("drag", "click"):
                        samples[(what, side)][key] += result[key]
    print("the page's frame after a drag and a click, medians of %d rounds (ms): before, after, after/before" % ROUNDS)
    for what, _, _ in cases:
        drag = [statistics.median(samples[(what, side)]["drag"]) for side in (0, 1)]
        click = [statistics.median(samples[(what, side)]["click"]) for side in (0, 1)]
        print("%-36s drag %7.2f %7.2f %5.3f   click %7.2f %7.2f" % (what, drag[0], drag[1], drag[1] / drag[0],
                                                                    click[0], click[1]))


GL_STAGES = """
const [frames, w, h, done] = arguments;
(async () => {
    const m = window.benchModule;
    const { createOpenGLRenderer } = await import('./opengl/renderer.js');
    const { readScene, triangleCorners } = await import('./opengl/scene.js');
    const { paintRgb } = await import('./canvas.js');
    if (!window.benchGL) {
        const canvases = [0, 1, 2].map(() => document.body.appendChild(document.createElement('canvas')));
        window.benchGL = { each: createOpenGLRenderer(canvases[0]).renderer, kept: createOpenGLRenderer(canvases[1]).renderer,
                           paint: canvases[2] };
    }
    const { each, kept, paint } = window.benchGL;
    // Reading one pixel waits for the drawing before it (gl.finish does not, here).
    const finish = r => r.canvas.getContext('webgl2').readPixels(0, 0, 1, 1, 0x1908, 0x1401, new Uint8Array(4));
    const r = { scene: [], draw: [], read: [], paint: [], kept: [] };
    for (let i = 0; i < frames; ++i) {
        m.draw(w, h, -135 + i, -60, 0, 0, 0.25, 'color', -1);
        let t = performance.now();
        const s = readScene(m);
        triangleCorners(s.vertices, s.triangles);
        r.scene.push(performance.now() - t);
        t = performance.now();
        const picture = each.render(m, w, h);  // the scene read and uploaded every frame
        finish(each);
        r.draw.push(performance.now() - t);
        t = performance.now();
        const rgb = picture.rgb;
        r.read.push(performance.now() - t);
        t = performance.now();
        paintRgb(paint, rgb, w, h);
        r.paint.push(performance.now() - t);
        t = performance.now();
        kept.render(m, w, h, 1);
        finish(kept);
        r.kept.push(performance.now() - t);
    }
    done(r);
})().catch(e => done({ error: String(e) }));
"""


def opengl_main(before_site, after_site):
    """The OpenGL rendering's stages in the after site, and the page's frame after a drag
    on it in both, rounds interleaved."""
    stages = ("scene", "draw", "read", "paint", "kept")
    samples = {(size, key): [] for size in SIZES for key in stages + ("before", "after")}
    page = PAGE_MEASURE.replace("flush(); return performance.now() - start;",
                                "flush(); window.benchFinish?.(); return performance.now() - start;")
    finish = ("window.benchFinish = () => { const c = document.getElementById('gl-frame');"
              "if (c) c.getContext('webgl2').readPixels(0, 0, 1, 1, 0x1908, 0x1401, new Uint8Array(4)); };")
    load = open("/proc/loadavg").read().split()[0]
    with site_tabs([before_site, after_site], "#renderer=opengl", 600, HELD_FRAMES + finish) as (driver, tabs):
        driver.switch_to.window(tabs[1])
        measured(driver, LOAD, "sphaerix.js", SIZES)
        for _ in range(ROUNDS):
            for size in SIZES:
                driver.switch_to.window(tabs[1])
                result = measured(driver, GL_STAGES, FRAMES // 4, *size)
                for key in stages:
                    samples[(size, key)] += result[key]
                for side, tab in zip(("before", "after"), tabs):
                    driver.switch_to.window(tab)
                    fields = dict(size="%dx%d" % size, renderer="opengl", scale=1)
                    samples[(size, side)] += measured(driver, page, fields, FRAMES // 2)["drag"]
    print("the OpenGL rendering, medians of %d rounds (ms); load average %s before, %s after"
          % (ROUNDS, load, open("/proc/loadavg").read().split()[0]))
    print("%-10s %8s %8s %8s %8s %8s   %8s %8s %6s" % ("frame", "scene", "draw", "read", "2d copy", "kept",
                                                       "before", "after", "ratio"))
    for size in SIZES:
        m = {key: statistics.median(samples[(size, key)]) for key in stages + ("before", "after")}
        print("%-10s %8.2f %8.2f %8.2f %8.2f %8.2f   %8.2f %8.2f %6.3f" % (
            "%dx%d" % size, m["scene"], m["draw"], m["read"], m["paint"], m["kept"], m["before"], m["after"],
            m["after"] / m["before"]))


RULES_MEASURE = """
const [frames, sizes, done] = arguments;
(async () => {
    const page = window.sphaerix;
    await page.ready;
    const m = page.module(), canvas = document.createElement('canvas'), r = {};
    for (const rules of ['none', 'gl'])
        for (const [w, h] of sizes) {
            m.setRules(rules);
            canvas.width = w;
            canvas.height = h;
            const times = r[`${rules} ${w}x${h}`] = [];
            for (let i = 0; i < frames + 10; ++i) {  // the first ten warm up
                const start = performance.now();
                m.draw(w, h, -135 + i, -60, 0, 0, 0.25, 'color', -1);
                const rgba = m.rgbaPixels();
                canvas.getContext('2d').putImageData(
                    new ImageData(new Uint8ClampedArray(rgba.buffer, rgba.byteOffset, w * h * 4), w, h), 0, 0);
                if (i >= 10)
                    times.push(performance.now() - start);
            }
        }
    m.setRules('none');
    r.ladder = [];
    for (let i = 0; i < 4; ++i) {
        await page.setView({ size: '480x480', az: -135 + (window.__turn = ((window.__turn ?? 0) + 1) % 90),
                             renderer: 'software' });
        const start = performance.now();
        const result = await page.ladder();
        if (result.error)
            throw new Error(result.error);
        r.ladder.push(performance.now() - start);
    }
    done(r);
})().catch(e => done({ error: String(e) }));
"""


def rules_main(sites):
    """Drag frames under none and gl, and the ladder, each site in its tab, rounds interleaved."""
    sizes = [(480, 480), (1920, 1080)]
    samples = [{} for _ in sites]
    load = open("/proc/loadavg").read().split()[0]
    with site_tabs(sites, "#renderer=software", 600) as (driver, tabs):
        for _ in range(ROUNDS):
            for side, tab in enumerate(tabs):
                driver.switch_to.window(tab)
                for key, values in measured(driver, RULES_MEASURE, FRAMES, sizes).items():
                    samples[side].setdefault(key, []).extend(values)
        renderer = driver.execute_script("return document.getElementById('ladder-renderer').textContent")
    print("medians of %d rounds (ms); load average %s before, %s after"
          % (ROUNDS, load, open("/proc/loadavg").read().split()[0]))
    for site, sample in zip(sites, samples):
        print(site)
        for w, h in sizes:
            none, gl = (statistics.median(sample["%s %dx%d" % (r, w, h)]) for r in ("none", "gl"))
            print("  drag frame %dx%d: none %.2f, gl %.2f, gl/none %.3f" % (w, h, none, gl, gl / none))
        print("  ladder of the 480x480 view, its WebGL frame drawn anew: %.1f (%s)"
              % (statistics.median(sample["ladder"]), renderer))


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "--rules":
        return rules_main(sys.argv[2:])
    if len(sys.argv) == 4 and sys.argv[1] == "--page":
        return page_main(sys.argv[2], sys.argv[3])
    if len(sys.argv) == 4 and sys.argv[1] == "--opengl":
        return opengl_main(sys.argv[2], sys.argv[3])
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("sites", nargs="*", default=["build-web/site"])
    parser.add_argument("--frame-bench", action="append", default=[])
    parser.add_argument("--rounds", type=int, default=ROUNDS)
    args = parser.parse_args()
    frame_benches = args.frame_bench or ["build/bench/frame_bench"]
    sites = [(spec,) + tuple((spec.split(":", 1) + ["sphaerix.js"])[:2]) for spec in args.sites]
    # One server over a folder of links, so that every site is an address of its own.
    links = tempfile.TemporaryDirectory()
    for i, (_, folder, _) in enumerate(sites):
        os.symlink(os.path.abspath(folder), os.path.join(links.name, "site%d" % i))
    server = serve(links.name)
    keys = ("whole", "draw", "paint", "raster", "history", "opengl")
    samples = {(label, size, key): [] for label, _, _ in sites for size in SIZES for key in keys}
    native = {(path, size): [] for path in frame_benches for size in SIZES}
    with open("/proc/loadavg") as f:
        load_before = f.read().split()[0]
    with tempfile.TemporaryDirectory() as profile:
        driver = browser(profile)
        driver.set_script_timeout(600)
        tabs = []
        try:
            for i, (label, folder, module) in enumerate(sites):
                if i:
                    driver.switch_to.new_window("tab")
                driver.get("http://127.0.0.1:%d/site%d/index.html" % (server.server_address[1], i))
                result = driver.execute_async_script(LOAD, module, SIZES)
                if "error" in result:
                    raise SystemExit("web_bench: %s: %s" % (label, result["error"]))
                tabs.append(driver.current_window_handle)
            for _ in range(args.rounds):
                for (label, _, _), tab in zip(sites, tabs):
                    driver.switch_to.window(tab)
                    for size in SIZES:
                        result = driver.execute_async_script(MEASURE, FRAMES, size[0], size[1],
                                                             label == sites[0][0])
                        if "error" in result:
                            raise SystemExit("web_bench: %s: %s" % (label, result["error"]))
                        for key in keys:
                            samples[(label, size, key)] += result[key]
                for path in frame_benches:
                    for size, ms in native_cores(path).items():
                        native[(path, size)].append(ms)
        finally:
            driver.quit()
            server.shutdown()
            links.cleanup()
    with open("/proc/loadavg") as f:
        load_after = f.read().split()[0]

    def med(values):
        return statistics.median(values) if values else float("nan")

    print("start-up view, medians of %d rounds (ms); load average %s before, %s after"
          % (args.rounds, load_before, load_after))
    for path in frame_benches:
        print("native raster core, %s: %s" % (path, "  ".join(
            "%dx%d %.2f" % (size + (med(native[(path, size)]),)) for size in SIZES)))
    first_native = {size: med(native[(frame_benches[0], size)]) for size in SIZES}
    header = "%-10s %8s %8s %8s %8s %8s %8s %8s" % ("frame", "native", "core", "x native", "whole", "draw",
                                                   "rgba+put", "history")
    for label, _, _ in sites:
        print("\n" + label)
        print(header + ("  opengl" if label == sites[0][0] else ""))
        for size in SIZES:
            m = {key: med(samples[(label, size, key)]) for key in keys}
            row = "%-10s %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f" % (
                "%dx%d" % size, first_native[size], m["raster"], m["raster"] / first_native[size],
                m["whole"], m["draw"], m["paint"], m["history"])
            if label == sites[0][0]:
                row += " %7.2f" % m["opengl"]
            print(row)


if __name__ == "__main__":
    main()
