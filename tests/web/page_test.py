#!/usr/bin/python3
"""The page in real headless Chromium, driven by Selenium's pointer, wheel and file input,
checked against sphaerix-snapshot run here on the same views:
page_test.py SITE-DIRECTORY SPHAERIX-SNAPSHOT SPHAERIX-SPHEREMAP WORK-DIRECTORY
Exits 77 (skipped) when the site has not been built."""
import base64, functools, hashlib, http.server, json, math, os, re, shutil, struct, subprocess, sys
import tempfile, threading, unittest, zlib

SITE, SNAPSHOT, SPHEREMAP, WORK = (os.path.abspath(a) for a in sys.argv[1:5])
if not os.path.exists(os.path.join(SITE, "sphaerix.js")):
    print(f"no site at {SITE}: build it with web/build.sh")
    sys.exit(77)

from selenium import webdriver
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.actions.mouse_button import MouseButton
from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

START = dict(size="480x480", az=-135.0, ax=-60.0, pan=(0.0, 0.0), zoom=0.25)
VIEWS = ["color", "depth", "normals", "overdraw", "polygons", "edges", "texels"]


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def snapshot(view, *extra, texture=None):
    """Runs the native tool on `view` (a dict like START); returns (stdout, exit status)."""
    args = [SNAPSHOT, "--size", view["size"], "--angle-z", repr(view["az"]), "--angle-x", repr(view["ax"]),
            "--pan", "%r,%r" % view["pan"], "--zoom", repr(view["zoom"]),
            "--texture", texture or os.path.join(WORK, "sphere.raw"), *extra]
    run = subprocess.run(args, capture_output=True, text=True, cwd=WORK)
    return run.stdout, run.returncode


def ppm_pixels(path):
    with open(path, "rb") as f:
        data = f.read()
    w, h = (int(v) for v in data.split()[1:3])
    return data[len(data) - w * h * 3:]


def native_pixels(view, name="color", texture=None, *extra):
    out = os.path.join(WORK, "native.ppm")
    snapshot(view, "--view", name, *extra, "-o", out, texture=texture)
    return ppm_pixels(out)


def hash_of(v, **more):
    fields = dict(size=v["size"], az=v["az"], ax=v["ax"], pan="%r,%r" % v["pan"], zoom=v["zoom"], renderer="software")
    fields.update(more)
    return "#" + "&".join(f"{k}={v}" for k, v in fields.items())


def png(width, height, rows, color_type=2, depth=8, palette=None, trns=None, interlace=False):
    """A PNG of `rows` (height lists of samples, channels interleaved) written by hand, so that
    the page's reader meets bit depths, palettes, transparency and Adam7 as libpng does."""
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color_type]

    def pack(samples):
        if depth == 16:
            return b"".join(struct.pack(">H", s) for s in samples)
        if depth == 8:
            return bytes(samples)
        bits = "".join(format(s, f"0{depth}b") for s in samples)
        bits += "0" * (-len(bits) % 8)
        return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))

    def predict(kind, a, b, c):
        p = a + b - c
        nearest = min((abs(p - a), 0, a), (abs(p - b), 1, b), (abs(p - c), 2, c))[2]
        return [0, a, b, (a + b) // 2, nearest][kind]

    bpp = max(1, channels * depth // 8)
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    raw = b""
    for x0, y0, dx, dy in passes if interlace else [(0, 0, 1, 1)]:
        above = None
        for n, y in enumerate(range(y0, height, dy)):
            picked = [s for x in range(x0, width, dx) for s in rows[y][x * channels:(x + 1) * channels]]
            if not picked:
                continue
            row = pack(picked)
            kind = n % 5  # every row filter in turn
            raw += bytes([kind]) + bytes((row[i] - predict(kind, row[i - bpp] if i >= bpp else 0,
                                                          above[i] if above else 0,
                                                          above[i - bpp] if above and i >= bpp else 0)) % 256
                                         for i in range(len(row)))
            above = row

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0,
                                                              int(interlace)))
    if palette:
        out += chunk(b"PLTE", bytes(palette))
    if trns:
        out += chunk(b"tRNS", bytes(trns))
    return out + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def read_png(data):
    """(width, height, RGB bytes) of an 8-bit RGB or RGBA PNG, not interlaced, any row filters,
    every chunk's CRC checked: libpng's files and the page's."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, idat = 8, b""
    while at < len(data):
        n, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + n]
        assert struct.unpack(">I", data[at + 8 + n:at + 12 + n])[0] == zlib.crc32(kind + body), f"{kind} CRC"
        if kind == b"IHDR":
            width, height, depth, color_type, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and color_type in (2, 6) and not interlace, body
        idat += body if kind == b"IDAT" else b""
        at += 12 + n
    assert kind == b"IEND"
    bpp = 3 if color_type == 2 else 4
    stride, raw = width * bpp, zlib.decompress(idat)
    out, above = bytearray(), bytearray(stride)
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if kind == 2:
            row = bytearray((r + a) & 255 for r, a in zip(row, above))
        elif kind:
            for i in range(stride):
                a, b, c = row[i - bpp] if i >= bpp else 0, above[i], above[i - bpp] if i >= bpp else 0
                p = a + b - c
                predictor = [0, a, b, (a + b) // 2,
                             a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c]
                row[i] = (row[i] + predictor[kind]) & 255
        out += row if bpp == 3 else bytes(v for i, v in enumerate(row) if i % 4 != 3)
        above = row
    return width, height, bytes(out)


def enlarged(rgb, width, scale):
    """Each pixel a scale x scale block: what --scale makes of a picture without a grid."""
    rows = [b"".join(rgb[i:i + 3] * scale for i in range(y, y + width * 3, 3)) for y in range(0, len(rgb), width * 3)]
    return b"".join(r * scale for r in rows)


def ppm(width, height, rgb, text=False, maxval=255):
    if text:
        return f"P3\n# by hand\n{width} {height}\n{maxval}\n".encode() + " ".join(map(str, rgb)).encode() + b"\n"
    body = bytes(rgb) if maxval == 255 else b"".join(struct.pack(">H", v) for v in rgb)
    return f"P6\n{width} {height}\n{maxval}\n".encode() + body


def rgb_rows(rgb, width, height, convert=lambda s: [s]):
    return [[v for s in rgb[(y * width) * 3:(y + 1) * width * 3] for v in convert(s)] for y in range(height)]


class Server(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(WORK, exist_ok=True)
        subprocess.run([SPHEREMAP, "generate", os.path.join(WORK, "sphere.raw")], check=True, capture_output=True)
        cls.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(Server, directory=SITE))
        threading.Thread(target=cls.httpd.serve_forever, daemon=True).start()
        cls.url = f"http://127.0.0.1:{cls.httpd.server_address[1]}/index.html"
        cls.driver = cls.new_driver()

    @classmethod
    def new_driver(cls):
        """A fresh headless Chromium with a profile of its own."""
        cls.profiles = getattr(cls, "profiles", []) + [tempfile.mkdtemp(prefix="sphaerix-chromium-")]
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--no-first-run", "--disable-component-update", "--disable-sync",
                     f"--user-data-dir={cls.profiles[-1]}", "--window-size=1600,1400", "--force-device-scale-factor=1"]:
            options.add_argument(flag)
        cls.downloads = os.path.join(WORK, "downloads")  # where Save PNG's files land
        options.add_experimental_option("prefs", {"download.default_directory": cls.downloads,
                                                  "download.prompt_for_download": False})
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.wait = WebDriverWait(driver, 30)
        return driver

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.httpd.shutdown()
        for profile in cls.profiles:
            shutil.rmtree(profile, ignore_errors=True)

    # --- the page ------------------------------------------------------------------
    def open(self, hash="#renderer=software"):  # else the page opens on the OpenGL rendering
        self.driver.get("about:blank")
        self.driver.get(self.url + hash)
        self.js("return window.sphaerix.ready")

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def bytes_of(self, expression):
        return base64.b64decode(self.js(
            f"const b = {expression}; let s = '';"
            "for (let i = 0; i < b.length; i += 32768) s += String.fromCharCode.apply(null, b.subarray(i, i + 32768));"
            "return btoa(s);"))

    def page_pixels(self):
        return self.bytes_of("window.sphaerix.pixels()")

    def canvas_pixels(self):
        """The canvas as shown, alpha dropped: what the conversion and putImageData made."""
        return self.bytes_of("(() => { const c = document.getElementById('frame');"
                             "const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;"
                             "return d.filter((_, i) => i % 4 !== 3); })()")

    def set_view(self, v, **more):
        fields = dict(size=v["size"], az=v["az"], ax=v["ax"], pan="%r,%r" % v["pan"], zoom=v["zoom"], **more)
        self.assertEqual(self.js("return window.sphaerix.setView(arguments[0])", fields), [])

    def message(self):
        return self.js("const m = document.getElementById('message'); return m.hidden ? '' : m.textContent")

    def canvas(self):
        return self.driver.find_element(By.ID, "frame")

    def pixel_position(self, x, y, height):
        """A whole viewport position inside window pixel x, y of the frame at its magnification."""
        left, top, s = self.js("const r = document.getElementById('frame').getBoundingClientRect();"
                               "return [r.left, r.top, window.sphaerix.magnification()]")
        return math.ceil(left + x * s) + s // 2, math.ceil(top + (height - 1 - y) * s) + s // 2

    def click_pixel(self, x, y, height):
        """A real click on window pixel x, y (row 0 at the bottom) of the frame."""
        action = ActionBuilder(self.driver)
        action.pointer_action.move_to_location(*self.pixel_position(x, y, height)).click()
        action.perform()
        self.wait.until(lambda d: self.js("return window.sphaerix.drawn().pixel") == [x, y])

    def history_panel(self):
        """The panel's heading, table rows and final line, blanks collapsed."""
        return self.js("""
            const norm = t => t.replace(/\\s+/g, ' ').trim();
            const h = document.getElementById('history');
            return [norm(h.querySelector('.summary').textContent),
                    ...[...h.querySelectorAll('tbody tr')].map(r => norm([...r.cells].filter(c => !c.matches('.act'))
                                                                          .map(c => c.textContent).join(' '))),
                    norm(h.querySelector('.final').textContent)];""")

    def box(self, id):
        return self.js("const r = document.getElementById(arguments[0]).getBoundingClientRect();"
                       "return {left: r.left, top: r.top, right: r.right, bottom: r.bottom}", id)

    def in_view(self, id):
        """Whether the element's top part is inside the window and its scrolling column."""
        return self.js("""
            const e = document.getElementById(arguments[0]), r = e.getBoundingClientRect();
            let inside = r.top >= 0 && r.top < innerHeight - 20 && r.left >= 0 && r.left < innerWidth - 20;
            for (let p = e.parentElement; p && inside; p = p.parentElement) {
                const b = p.getBoundingClientRect();
                if (getComputedStyle(p).overflowY !== 'visible')
                    inside = r.top >= b.top - 1 && r.top < b.bottom - 20;
            }
            return inside && r.height > 0;""", id)

    def viewport(self, width, height):
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                    dict(width=width, height=height, deviceScaleFactor=1, mobile=False))

    def choose_file(self, input_id, name, data):
        os.makedirs(os.path.join(WORK, "given"), exist_ok=True)
        path = os.path.join(WORK, "given", name)
        with open(path, "wb") as f:
            f.write(data)
        self.driver.find_element(By.ID, input_id).send_keys(path)
        return path

    # --- the cases -----------------------------------------------------------------
    def test_mouse_reaches_the_programs_view(self):
        # (what, steps): drags as (button, dx, dy), wheel events as ("wheel", deltaY)
        cases = [
            ("left drag turns", [("left", 37, -23)]),
            ("right drag moves", [("right", -41, 18)]),
            ("a notch each way and back", [("wheel", -100), ("wheel", -100), ("wheel", 100)]),
            ("small deltas add up", [("wheel", -40), ("wheel", -60), ("wheel", -30)]),
            ("all of them", [("left", -120, 64), ("wheel", -300), ("right", 25, 31), ("left", 5, -200)]),
        ]
        for what, steps in cases:
            with self.subTest(what):
                self.open()
                az, ax, px, py, zoom, pending = START["az"], START["ax"], 0.0, 0.0, START["zoom"], 0
                c = self.canvas()
                for step in steps:
                    if step[0] == "wheel":
                        ActionChains(self.driver).scroll_from_origin(ScrollOrigin.from_element(c), 0, step[1]).perform()
                        pending += step[1]
                        while abs(pending) >= 100:  # a notch is two of the program's wheel events
                            sign = 1 if pending < 0 else -1
                            zoom = f32(f32(zoom + sign) + sign)
                            pending += sign * 100
                        continue
                    button, dx, dy = step
                    action = ActionBuilder(self.driver)
                    b = MouseButton.LEFT if button == "left" else MouseButton.RIGHT
                    action.pointer_action.move_to(c).pointer_down(b).move_by(dx, dy).pointer_up(b)
                    action.perform()
                    if button == "left":
                        az, ax = f32(az + dx), f32(ax + dy)
                    else:
                        px, py = f32(px + dx), f32(py + dy)
                want = dict(size="480x480", az=az, ax=ax, pan=(px, py), zoom=zoom)
                self.wait.until(lambda d: (lambda s: s and [s["az"], s["ax"], s["panX"], s["panY"], s["zoom"]])(
                    self.js("return window.sphaerix.drawn()")) == [az, ax, px, py, zoom])
                expected = native_pixels(want)
                self.assertEqual(self.page_pixels(), expected)
                self.assertEqual(self.canvas_pixels(), expected)
                self.assertIsNone(self.js("return window.sphaerix.drawn().pixel"), "a drag selected a pixel")

    def test_the_module_with_simd_loads_where_the_browser_has_it_and_draws_as_the_one_lane_one(self):
        self.open()
        result = self.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            (async () => {
                const { hasSimd, loadModuleFactory } = await import('./module.js');
                const frames = {};
                for (const simd of [true, false]) {
                    const { create, build } = await loadModuleFactory(simd);
                    const m = await create();
                    m.useGeneratedTexture();
                    m.draw(97, 61, 20, -40, -6, 3, 5.5, 'color', -1);
                    frames[build] = Array.from(m.rgbaPixels());
                }
                done({ chromium: hasSimd(), refused: hasSimd(() => false),
                       thrown: hasSimd(() => { throw new Error('no WebAssembly'); }),
                       same: frames.simd.join() === frames['one-lane'].join(), length: frames.simd.length });
            })().catch(e => done({ error: String(e) }));""")
        self.assertEqual(result, dict(chromium=True, refused=False, thrown=False, same=True, length=97 * 61 * 4))

    def test_every_view_matches_the_snapshot(self):
        view = dict(size="300x200", az=33.5, ax=-170.0, pan=(-40.0, 25.0), zoom=3.0)
        self.open()
        for name in VIEWS:
            with self.subTest(name):
                self.set_view(view, view=name)
                self.assertEqual(self.page_pixels(), native_pixels(view, name))
                line, _ = snapshot(view, "--view", name, "-o", os.path.join(WORK, "v.ppm"))
                self.assertEqual(self.js("return document.getElementById('view-line').textContent"), line.strip())

    def test_links_to_extreme_views_draw_as_the_program(self):
        cases = [  # (what, view)
            ("one pixel", dict(START, size="1x1")),
            ("a tall strip", dict(START, size="7x300")),
            ("huge angles", dict(START, size="120x90", az=1e30, ax=-3e38)),
            ("eye inside the torus", dict(START, size="120x90", zoom=-40.0)),
            ("fractions", dict(size="150x100", az=0.1, ax=-59.9, pan=(0.5, -0.25), zoom=2.3)),
        ]
        for what, view in cases:
            with self.subTest(what):
                self.open(hash_of(view))
                self.assertEqual(self.message(), "")
                self.assertEqual(self.page_pixels(), native_pixels(view))
        # Floats are written back as their shortest decimals, so a link reads as it was typed.
        self.assertIn("&az=0.1&ax=-59.9&pan=0.5,-0.25&zoom=2.3&", self.js("return location.hash"))

    def test_history_and_table_match_the_snapshot(self):
        close = dict(size="320x320", az=-135.0, ax=-60.0, pan=(0.0, 0.0), zoom=6.0)
        start = dict(START, size="240x240")
        cases = [  # (what, view, pixel)
            ("rim speckle", close, (70, 214)),
            ("beside it", close, (71, 214)),
            ("frame corner", close, (0, 0)),
            ("top right corner", close, (319, 319)),
            ("ring seam", start, (120, 60)),
            ("nothing reached", start, (3, 236)),
        ]
        self.open()
        for what, view, (x, y) in cases:
            with self.subTest(what):
                self.set_view(view)
                self.click_pixel(x, y, int(view["size"].split("x")[1]))
                text, _ = snapshot(view, "--history", f"{x},{y}")
                as_json, _ = snapshot(view, "--history", f"{x},{y}", "--json")
                self.assertEqual(self.js("return window.sphaerix.history(arguments[0], arguments[1])", x, y),
                                 json.loads(as_json))
                native = [" ".join(line.split()) for line in text.splitlines()]
                why = native.index("why:")
                self.assertEqual(self.history_panel(), [line for line in native[:why] if not line.startswith("# mesh")])
                self.assertEqual(self.js("return [...document.querySelectorAll('#reason p')].map(p => p.textContent)"),
                                 native[why + 1:])

    def test_a_link_opens_on_its_view_and_pixel(self):
        view = dict(size="320x320", az=-135.0, ax=-60.0, pan=(0.0, 0.0), zoom=6.0)
        self.open(hash_of(view, view="polygons", pixel="70,214"))
        self.assertEqual(self.page_pixels(), native_pixels(view, "polygons"))
        self.assertTrue(self.history_panel()[0].startswith("pixel 70,214 of 320x320"))
        self.driver.find_element(By.ID, "trace-winner").click()
        self.wait.until(lambda d: self.js("return document.querySelector('#trace pre')"))
        text, _ = snapshot(view, "--trace-polygon", "713")
        self.assertEqual(self.js("return document.querySelector('#trace pre').textContent"), text)
        self.assertEqual(self.js("return window.sphaerix.trace(713)"),
                         json.loads(snapshot(view, "--trace-polygon", "713", "--json")[0]))
        self.assertEqual(self.js("return location.hash"),
                         "#size=320x320&az=-135&ax=-60&pan=0,0&zoom=6&view=polygons&renderer=software&pixel=70,214"
                         "&scale=fit&trace=713")

    def test_watch_the_fill_steps_through_the_drawing_order(self):
        view = dict(START, size="160x160")
        self.open(hash_of(view))
        line = lambda: self.js("return window.sphaerix.settled().then(() => "
                               "document.getElementById('watch-line').textContent)")
        self.driver.find_element(By.CSS_SELECTOR, "#watch summary").click()
        for _ in range(2):
            self.driver.find_element(By.ID, "watch-next").click()
        self.assertTrue(line().startswith("Polygon 1 (ring 0, side 1) just drawn"), line())
        self.assertNotEqual(self.page_pixels(), native_pixels(view))
        self.driver.find_element(By.ID, "watch-slider").send_keys(Keys.END)
        self.assertTrue(line().startswith("Polygon 2303 (ring 47, side 47) just drawn"), line())
        # The last polygon watched: the whole frame, that polygon coloured as the snapshot does.
        out = os.path.join(WORK, "watch.ppm")
        snapshot(view, "--trace-polygon", "2303", "-o", out)
        self.assertEqual(self.page_pixels(), ppm_pixels(out))
        trace = json.loads(snapshot(view, "--trace-polygon", "2303", "--json")[0])
        self.assertIn(f"{trace['passed']} pixels passed the depth test (green), {trace['failed']} failed", line())

    def test_watch_the_fill_from_the_number_the_history_and_the_trace(self):
        view = dict(START, size="240x240")
        self.open(hash_of(view, pixel="150,40", trace=205))
        trace_text = lambda: self.js("return window.sphaerix.settled().then(() => "
                                     "document.querySelector('#trace pre').textContent)")
        whole = trace_text()
        watched = lambda: self.js("return window.sphaerix.settled().then(() => window.sphaerix.drawn().watch)")
        cases = [  # (what, how, the polygon watched)
            ("a row of the history", "#history button.watch-to[data-polygon='165']", 165),
            ("the trace's heading", "#trace button.watch-to", 205),
            ("the number box", "number:300", 300),
            ("a step back", "#watch-back", 299),
            ("the slider", "slider", 2303),
        ]
        for what, how, n in cases:
            with self.subTest(what):
                if how.startswith("number:"):
                    box = self.driver.find_element(By.ID, "watch-number")
                    box.clear()
                    box.send_keys(how.split(":")[1], Keys.ENTER)
                elif how == "slider":
                    self.driver.find_element(By.ID, "watch-slider").send_keys(Keys.END)
                else:
                    self.driver.find_element(By.CSS_SELECTOR, how).click()
                self.wait.until(lambda d: watched() == n)
                self.assertTrue(self.js("return document.getElementById('watch').open"))
                self.assertIn(f"&watch={n}", self.js("return location.hash"))
                # The trace of polygon 205 stays as it was, drawn or not yet.
                self.assertEqual(trace_text(), whole)
                drawn_yet = n >= 205
                self.assertEqual("not drawn yet" in self.js("return document.getElementById('trace').textContent"),
                                 not drawn_yet)

    def test_bad_input_is_named_beside_its_cause_and_nothing_changes(self):
        short_png = png(2, 2, [[1, 2, 3] * 2] * 2)
        view = dict(START, size="240x240", az=10.0)
        good = ("good.ppm", ppm(240, 240, native_pixels(view)))
        cases = [  # (what, where it comes from, input, the message's place, what it names)
            ("size out of range", "hash", "size=0x480", "message", 'bad value "0x480" for size (--size)'),
            ("width too large", "hash", "size=16385x2", "message", "16384"),
            ("height too large", "hash", "size=2x16385", "message", "16384"),
            ("a frame too large for the module", "hash", "size=16384x16384", "message", "needs more memory"),
            ("angle not a number", "hash", "az=abc", "message", 'bad value "abc" for az (--angle-z)'),
            ("zoom beyond a float", "hash", "zoom=1e40", "message", 'bad value "1e40" for zoom (--zoom)'),
            ("angle beyond a float", "hash", "az=-1e40", "message", 'bad value "-1e40" for az'),
            ("angle nan", "hash", "ax=nan", "message", 'bad value "nan" for ax (--angle-x)'),
            ("pan infinite", "hash", "pan=1,inf", "message", 'bad value "1,inf" for pan (--pan)'),
            ("unknown view", "hash", "view=shiny", "message", 'bad value "shiny" for view (--view)'),
            ("unknown rendering", "hash", "renderer=vulkan", "message", '"vulkan" for renderer'),
            ("pixel right of the frame", "hash", "pixel=480,2", "message", "pixel 480,2 lies outside the 240x240 frame"),
            ("pixel left of the frame", "hash", "pixel=-5,3", "message", "pixel -5,3 lies outside the 240x240 frame"),
            ("pixel not whole", "hash", "pixel=1.5,2", "message", 'bad value "1.5,2" for pixel'),
            ("magnification 5", "hash", "scale=5", "message", 'bad value "5" for scale (--scale)'),
            ("grid maybe", "hash", "grid=maybe", "message", '"maybe" for grid'),
            ("watch past the last polygon", "hash", "watch=2304", "message", "the frame has 2304 polygons"),
            ("trace of no polygon", "hash", "trace=x", "message", 'bad value "x" for trace'),
            ("short sphere.raw", "texture-file", ("sphere.raw", b"\1" * 1000), "texture-message", "1000"),
            ("not an image", "texture-file", ("notes.txt", b"hello"), "texture-message", "neither"),
            ("damaged PNG", "texture-file", ("bad.png", short_png[:-20] + b"x" * 20), "texture-message",
             "not a valid PNG"),
            ("PNG of another size", "compare-file", ("small.png", short_png), "compare-message", "2x2"),
            ("PPM maxval", "compare-file", ("odd.ppm", b"P6 2 2 1000\n" + b"\0" * 24), "compare-message",
             "maxval 1000"),
            ("compare with text", "compare-file", ("notes.txt", b"hello"), "compare-message", "neither a PNG nor a PPM"),
            ("typed polygon too large", "watch-number", "5000", "watch-message", "from 0 to 2303"),
            ("typed polygon negative", "watch-number", "-2", "watch-message", 'bad value "-2"'),
            ("typed polygon not whole", "watch-number", "1.5", "watch-message", 'bad value "1.5"'),
        ]
        places = ["message", "texture-message", "compare-message", "watch-message"]
        self.open(hash_of(view))
        before, address = self.page_pixels(), self.js("return location.hash")
        state = self.js("return window.sphaerix.drawn()")
        for what, how, given, place, names in cases:
            with self.subTest(what):
                if how == "hash":
                    self.js("location.hash = arguments[0]", hash_of(view) + "&" + given)
                elif how == "compare-file":  # a result shown before: the refused file must clear it
                    self.choose_file(how, *good)
                    self.wait.until(lambda d: "good.ppm" in self.js("return document.getElementById('compare-line').textContent"))
                    self.choose_file(how, *given)
                elif how == "watch-number":
                    if not self.js("return document.getElementById('watch').open"):
                        self.driver.find_element(By.CSS_SELECTOR, "#watch summary").click()
                    box = self.driver.find_element(By.ID, "watch-number")
                    box.clear()
                    box.send_keys(given, Keys.ENTER)
                else:
                    self.choose_file(how, *given)
                text = lambda id: self.js("const m = document.getElementById(arguments[0]); return m.hidden ? '' : m.textContent", id)
                self.wait.until(lambda d: text(place))
                self.assertIn(names, text(place))
                if place != "message":
                    self.assertEqual(text("message"), "", "a panel's message went to the top")
                if how == "compare-file":
                    self.assertEqual(self.js("return document.getElementById('compare-line').textContent"), "")
                    self.assertTrue(self.js("return document.getElementById('mask').hidden"))
                self.js("return window.sphaerix.settled()")
                self.assertEqual(self.page_pixels(), before)
                self.assertEqual(self.js("return window.sphaerix.drawn()"), state)
                self.assertEqual(self.js("return location.hash"), address)
                # The page still takes a drag, a click and g.
                action = ActionBuilder(self.driver)
                action.pointer_action.move_to(self.canvas()).pointer_down(MouseButton.LEFT).move_by(7, 0) \
                    .pointer_up(MouseButton.LEFT)
                action.perform()
                self.wait.until(lambda d: self.js("return window.sphaerix.drawn().az") == 17.0)
                self.click_pixel(20, 30, 240)
                ActionChains(self.driver).send_keys("g").perform()
                self.wait.until(lambda d: self.js("return window.sphaerix.drawn().renderer") == "opengl")
                self.set_view(view, pixel="", renderer="software")
                self.assertEqual(self.page_pixels(), before)

    def test_a_frame_too_large_is_refused_and_the_rest_is_kept(self):
        # A link opened on it: the rest of its view at the start-up size, and the address says so.
        self.open("#size=16384x16384&view=depth&az=-100&renderer=software")
        self.assertIn("needs more memory", self.message())
        view = dict(START, az=-100.0)
        self.assertEqual(self.page_pixels(), native_pixels(view, "depth"))
        self.assertTrue(self.js("return location.hash").startswith("#size=480x480&az=-100&ax=-60&pan=0,0&zoom=0.25&view=depth"))
        # On a page in use: the view it had stays, not the start-up view.
        action = ActionBuilder(self.driver)
        action.pointer_action.move_to(self.canvas()).pointer_down(MouseButton.LEFT).move_by(11, -4).pointer_up(MouseButton.LEFT)
        action.perform()
        self.wait.until(lambda d: self.js("return window.sphaerix.drawn().az") == -89.0)
        kept, address = self.page_pixels(), self.js("return location.hash")
        problems = self.js("return window.sphaerix.setView({size: '16384x16384', view: 'color'})")
        self.assertIn("needs more memory", problems[0])
        self.assertEqual(self.js("return [window.sphaerix.drawn().az, window.sphaerix.drawn().view]"), [-89.0, "depth"])
        self.assertEqual((self.page_pixels(), self.js("return location.hash")), (kept, address))

    def test_layout_keeps_the_frame_and_the_inspector_in_view(self):
        docs = os.path.join(WORK, "screens")
        os.makedirs(docs, exist_ok=True)
        pages = [  # (name, link, the pixel a click selects)
            ("lecture", "#size=480x480&renderer=opengl&pixel=150,300", None),
            ("lab", hash_of(dict(START, size="320x320", zoom=6.0), pixel="70,214", trace=713), (71, 214)),
        ]
        sizes = [(1920, 1080), (1366, 768), (800, 600)]
        try:
            for width, height in sizes:
                self.viewport(width, height)
                for name, link, click in pages:
                    with self.subTest(f"{name} at {width}x{height}"):
                        self.open(link)
                        frame, inspector = self.box("frame"), self.box("inspector")
                        w, h = self.js("const s = window.sphaerix.drawn(); return [s.width, s.height]")
                        scale = self.js("return window.sphaerix.magnification()")
                        # Whole multiples only, and fit is the largest that fits.
                        self.assertEqual((frame["right"] - frame["left"], frame["bottom"] - frame["top"]),
                                         (w * scale, h * scale))
                        if width > 800:
                            self.assertLessEqual(frame["bottom"], height)
                            self.assertLessEqual(frame["right"], inspector["left"])
                            self.assertTrue(self.in_view("pixel-view") and self.in_view("history"))
                            self.assertLessEqual(self.js("return document.documentElement.scrollHeight"), height)
                            if width == 1920 and name == "lecture":
                                self.assertEqual(scale, 2)
                        else:  # the frame first; a click brings the inspector into view
                            self.assertLess(frame["bottom"], inspector["top"])
                            self.assertLessEqual(frame["right"], width)
                        if click:
                            self.js("window.scrollTo(0, 0)")
                            self.click_pixel(click[0], click[1], h)
                            self.wait.until(lambda d: self.in_view("pixel-view"))
                        self.driver.save_screenshot(os.path.join(docs, f"{name}-{width}x{height}.png"))
            # The frame stays put whatever changes beside it.
            self.viewport(1366, 768)
            self.open(hash_of(dict(START, size="240x240"), pixel="100,100"))
            # Its top left corner and its magnification; a key below a view may make it taller.
            where = lambda: (self.box("frame")["left"], self.box("frame")["top"], self.js("return window.sphaerix.magnification()"))
            kept = where()
            steps = [
                ("g", lambda: ActionChains(self.driver).send_keys("g").perform()),
                ("g back", lambda: ActionChains(self.driver).send_keys("g").perform()),
                ("a view", lambda: self.js("return window.sphaerix.setView({view: 'depth'})")),
                ("a texture", lambda: self.choose_file("texture-file", "mine.raw", bytes(196608))),
                ("a message", lambda: self.js("location.hash += '&az=nan'")),
                ("the watch panel", lambda: self.driver.find_element(By.CSS_SELECTOR, "#watch summary").click()),
                ("a refused compare file", lambda: self.choose_file("compare-file", "notes.txt", b"hello")),
                ("the keys", lambda: self.driver.find_element(By.ID, "keys-button").click()),
            ]
            for what, step in steps:
                with self.subTest(f"the frame after {what}"):
                    step()
                    self.js("return window.sphaerix.settled()")
                    self.assertEqual(where(), kept)
        finally:
            self.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

    def test_magnification_and_grid_as_the_snapshot_draws_them(self):
        view = dict(START, size="64x48", zoom=4.0)
        composite = """
            const f = document.getElementById('frame'), o = document.getElementById('overlay');
            const c = document.createElement('canvas'); c.width = o.width; c.height = o.height;
            const g = c.getContext('2d'); g.imageSmoothingEnabled = false;
            g.drawImage(f, 0, 0, o.width, o.height); g.drawImage(o, 0, 0);
            return g.getImageData(0, 0, c.width, c.height).data.filter((_, i) => i % 4 !== 3);"""
        cases = [  # (scale, grid, view)
            (1, False, "color"), (2, False, "normals"), (2, True, "color"), (3, True, "color"),
            (4, True, "normals"), (4, False, "color"), (3, False, "edges"),
        ]
        self.open(hash_of(view))
        for scale, grid, name in cases:
            with self.subTest(f"{scale}x grid {grid} {name}"):
                self.set_view(view, scale=scale, grid=grid, view=name, pixel="")
                self.assertEqual(self.js("return window.sphaerix.magnification()"), scale)
                extra = ["--scale", str(scale)] + (["--grid"] if grid else [])
                self.assertEqual(self.bytes_of(f"(() => {{ {composite} }})()"), native_pixels(view, name, None, *extra))
                self.assertIn(f"&scale={scale}" + ("&grid=on" if grid else ""), self.js("return location.hash"))
                for x, y in [(0, 0), (63, 47), (31, 20)]:  # the corners and one inside
                    self.click_pixel(x, y, 48)
                # The marker rings the selected pixel at this magnification: black just above it.
                above = self.js("return [...document.getElementById('overlay').getContext('2d')"
                                ".getImageData(arguments[0], arguments[1], 1, 1).data]", 31 * scale + scale // 2,
                                (47 - 20) * scale - 3)
                self.assertEqual(above, [0, 0, 0, 255])

    def test_keys(self):
        view = dict(START, size="240x240")
        state = lambda key: self.js("const k = arguments[0];"
                                    "return window.sphaerix.settled().then(() => window.sphaerix.drawn()[k])", key)
        cases = [  # (keys, what the state then holds); Shift held for the keys after it
            ([Keys.ARROW_UP], ("pixel", [100, 101])),
            ([Keys.ARROW_DOWN, Keys.ARROW_DOWN], ("pixel", [100, 98])),
            ([Keys.ARROW_RIGHT], ("pixel", [101, 100])),
            ([Keys.ARROW_LEFT], ("pixel", [99, 100])),
            ([Keys.SHIFT, Keys.ARROW_UP], ("pixel", [100, 110])),
            ([Keys.SHIFT, Keys.ARROW_LEFT, Keys.ARROW_DOWN], ("pixel", [90, 90])),
            ([Keys.ESCAPE], ("pixel", None)),
            (["g"], ("renderer", "opengl")),
            (["g", "g"], ("renderer", "software")),
            (["]"], ("watch", 0)),
            (["[", "["], ("watch", 2302)),
        ]
        for keys, (key, value) in cases:
            with self.subTest(" ".join(map(repr, keys))):
                self.open(hash_of(view))
                self.click_pixel(100, 100, 240)  # which also gives the frame the focus
                chain = ActionChains(self.driver)
                for k in keys:
                    chain = chain.key_down(k) if k == Keys.SHIFT else chain.send_keys(k)
                if Keys.SHIFT in keys:
                    chain = chain.key_up(Keys.SHIFT)
                chain.perform()
                self.assertEqual(state(key), value)
        # Typed into the polygon box, the keys are the box's.
        self.open(hash_of(view))
        self.driver.find_element(By.CSS_SELECTOR, "#watch summary").click()
        self.driver.find_element(By.ID, "watch-number").send_keys("g]")
        self.assertEqual((state("renderer"), state("watch")), ("software", -1))
        self.assertTrue(self.js("return document.getElementById('keys').hidden"))
        self.canvas().click()
        ActionChains(self.driver).send_keys("?").perform()
        self.assertFalse(self.js("return document.getElementById('keys').hidden"))
        # Every control says what it does.
        unlabelled = self.js("""return [...document.querySelectorAll('button, select, input, canvas#frame')]
            .filter(e => !e.title && !e.getAttribute('aria-label') && !e.closest('label[title]')
                    && !(e.matches('button') && e.textContent.trim() && e.closest('[title]')))
            .map(e => e.id || e.outerHTML.slice(0, 60))""")
        self.assertEqual(unlabelled, [])

    def test_links_reproduce_what_is_shown(self):
        close = dict(START, size="320x320", zoom=6.0)
        cases = [  # (what, the view and the fields set on the page)
            ("a debug view and size", close, dict(view="normals")),
            ("the OpenGL rendering", START, dict(renderer="opengl", pixel="200,200")),
            ("the difference", dict(START, size="240x240"), dict(renderer="difference")),
            ("magnified with the grid", dict(START, size="64x48", zoom=4.0), dict(scale=3, grid=True, pixel="5,6")),
            ("a pixel and a trace", close, dict(pixel="70,214", trace=713)),
            ("the watched fill", close, dict(view="polygons", watch=1214, pixel="70,214")),
            ("the watched fill and a trace not drawn yet", close, dict(watch=700, trace=713)),
        ]
        inspector = """return window.sphaerix.settled().then(() => ['history', 'reason', 'trace', 'watch-line',
            'pixel-note', 'commands', 'renderer-line'].map(id => document.getElementById(id).innerText))"""
        for what, view, fields in cases:
            with self.subTest(what):
                self.open(hash_of(view))
                self.set_view(view, **fields)
                link = self.js("return location.hash")
                shown = (self.page_pixels(), self.js(inspector), self.js("return window.sphaerix.magnification()"))
                self.driver.quit()  # a fresh browser
                type(self).driver = self.new_driver()
                self.open(link)
                self.assertEqual(self.js("return location.hash"), link)
                self.assertEqual((self.page_pixels(), self.js(inspector), self.js("return window.sphaerix.magnification()")),
                                 shown)

    def test_the_inspector_belongs_to_the_software_frame(self):
        view = dict(START, size="240x240")
        self.open(hash_of(view, renderer="opengl", pixel="150,40"))
        self.assertIn("software frame's", self.js("return document.getElementById('pixel-note').textContent"))
        # The magnifier's centre is the history's final colour, not the OpenGL pixel.
        final = self.js("return window.sphaerix.history(150, 40).final.color")
        centre = self.js("return [...document.getElementById('magnifier').getContext('2d').getImageData(120, 120, 1, 1).data].slice(0, 3)")
        self.assertEqual(centre, [min(255, max(0, round(c * 255))) for c in final[:3]])
        # The button names the fragment that won: the last of the two that passed.
        passed = [f["polygon"] for f in self.js("return window.sphaerix.history(150, 40)")["fragments"] if f["passed"]]
        self.assertEqual(passed, [165, 205])
        self.assertEqual(self.driver.find_element(By.ID, "trace-winner").text, "Trace polygon 205, which won the pixel")
        # Watching the fill with OpenGL chosen shows the software frame up to that polygon and says so.
        self.set_view(view, watch=700)
        self.assertEqual(self.js("return window.sphaerix.renderer"), "software")
        self.assertIn("watched fill", self.js("return document.getElementById('renderer-line').textContent"))
        watched = self.page_pixels()
        self.assertEqual(self.js("return window.sphaerix.setRenderer('software')"), [])
        self.assertEqual(watched, self.page_pixels())
        self.assertNotEqual(watched, native_pixels(view))

    def test_commands_say_how_to_see_it_natively(self):
        view = dict(START, size="240x240")
        base = "sphaerix-snapshot --size 240x240 --angle-z -135 --angle-x -60 --pan 0,0 --zoom 0.25"
        cases = [  # (fields, the commands shown)
            (dict(renderer="software"), [f"{base} -o frame.png"]),
            (dict(renderer="software", view="depth", scale=3, grid=True), [f"{base} --view depth --scale 3 --grid -o frame.png"]),
            (dict(renderer="opengl"), [f"{base} --renderer opengl -o frame.png"]),
            (dict(renderer="opengl", view="depth"), [f"{base} --view depth -o frame.png"]),  # shown in software
            (dict(renderer="difference"), [f"{base} --compare DIR"]),
            (dict(renderer="opengl", pixel="150,40", trace=205),
             [f"{base} --renderer opengl -o frame.png", f"{base} --history 150,40", f"{base} --trace-polygon 205"]),
            (dict(renderer="software", watch=300, scale=2), [f"{base} --trace-polygon 300 --scale 2 -o watch.png"]),
        ]
        self.open(hash_of(view))
        for fields, commands in cases:
            with self.subTest(json.dumps(fields)):
                self.set_view(view, **dict(dict(pixel="", trace="", watch="", view="color", grid=False, scale=1), **fields))
                self.assertEqual(self.js("return [...document.querySelectorAll('#commands code')].map(c => c.textContent)"),
                                 commands)
                for command in commands:  # the software ones run as shown
                    if "--renderer" not in command and "--compare" not in command:
                        args = command.replace("frame.png", "c.png").replace("watch.png", "c.png").split()[1:]
                        run = subprocess.run([SNAPSHOT, *args, "--texture", os.path.join(WORK, "sphere.raw")],
                                             capture_output=True, cwd=WORK)
                        self.assertEqual(run.returncode, 0, run.stderr)

    def test_a_dropped_texture_is_named(self):
        view = dict(START, size="160x120")
        self.open(hash_of(view))
        data = bytes((i * 7) % 251 for i in range(196608))
        self.js("""const [name, b64] = arguments; const bytes = Uint8Array.from(atob(b64), c => c.charCodeAt(0));
                   const t = new DataTransfer(); t.items.add(new File([bytes], name));
                   document.getElementById('frame').dispatchEvent(new DragEvent('drop', {dataTransfer: t, bubbles: true}));""",
                "mine.raw", base64.b64encode(data).decode())
        self.wait.until(lambda d: "dropped" in self.js("return document.getElementById('texture-line').textContent"))
        self.js("return window.sphaerix.settled()")
        self.assertTrue(self.js("return document.getElementById('texture').open"))
        self.assertIn('"mine.raw"', self.js("return document.getElementById('texture-note').textContent"))
        self.assertIn("--texture mine.raw", self.js("return document.getElementById('commands').textContent"))
        path = os.path.join(WORK, "mine.raw")
        with open(path, "wb") as f:
            f.write(data)
        self.assertEqual(self.page_pixels(), native_pixels(view, texture=path))
        link = self.js("return location.hash")
        self.assertIn("&texture=mine.raw", link)
        self.open(link)
        self.assertIn('texture file "mine.raw"', self.message())

    def test_right_click_brings_the_browsers_menu_with_shift(self):
        self.open()
        self.js("window.menus = []; window.addEventListener('contextmenu', e => { menus.push(e.defaultPrevented); e.preventDefault(); })")
        cases = [  # (what, actions, whether the page kept the menu away)
            ("a right click", lambda a: a.context_click(self.canvas()), True),
            ("with Shift", lambda a: a.key_down(Keys.SHIFT).context_click(self.canvas()).key_up(Keys.SHIFT), False),
        ]
        for what, act, blocked in cases:
            with self.subTest(what):
                self.js("menus.length = 0")
                act(ActionChains(self.driver)).perform()
                self.assertEqual(self.js("return menus"), [blocked])

    def test_start_up_view_resets_everything(self):
        self.open(hash_of(dict(START, size="240x240", az=3.0), pixel="100,100", trace=205, watch=300, scale=3,
                          grid="on", view="depth"))
        self.choose_file("texture-file", "mine.raw", bytes(196608))
        self.wait.until(lambda d: "mine.raw" in self.js("return document.getElementById('texture-line').textContent"))
        self.driver.find_element(By.ID, "reset").click()
        self.js("return window.sphaerix.settled()")
        self.assertEqual(self.js("return location.hash"),
                         "#size=480x480&az=-135&ax=-60&pan=0,0&zoom=0.25&view=color&renderer=opengl&scale=fit")
        self.assertIn("start-up view", self.js("return document.getElementById('controls-line').textContent"))
        self.assertEqual(self.js("return document.getElementById('texture-line').textContent"), "generated sphere map")
        self.assertEqual(self.js("return window.sphaerix.setRenderer('software')"), [])
        self.assertEqual(self.page_pixels(), native_pixels(START))

    def test_magnifier_marks_span_ends_as_the_edges_view(self):
        view = dict(START, size="320x320", zoom=6.0)
        color, edges = native_pixels(view), native_pixels(view, "edges")
        cases = [(319, 160), (0, 200), (70, 214), (319, 319)]  # the last column, the first, inside, a corner
        self.open(hash_of(view))
        for x, y in cases:
            with self.subTest(f"{x},{y}"):
                self.set_view(view, pixel=f"{x},{y}")
                cells = self.js("""
                    const g = document.getElementById('magnifier').getContext('2d'), cell = 16, r = 7, out = [];
                    for (let j = 0; j <= 2 * r; ++j) for (let i = 0; i <= 2 * r; ++i) {
                        const bar = [...g.getImageData(i * cell + 2, j * cell + 8, 2, 1).data];
                        if (bar[0] === 221 && bar[1] === 0) out.push([i, j, bar[4] === 221 ? 'visible' : 'hidden']);
                    }
                    return out;""")
                want = []
                for j in range(15):
                    for i in range(15):
                        px, py = x - 7 + i, y + 7 - j
                        if not (0 <= px < 320 and 0 <= py < 320):
                            continue
                        o = ((319 - py) * 320 + px) * 3
                        if edges[o:o + 3] != color[o:o + 3] or edges[o:o + 3] == b"\xff\x00\x00":
                            want.append([i, j, "visible" if edges[o:o + 3] == b"\xff\x00\x00" else "hidden"])
                self.assertEqual(cells, want)

    def test_conformance_panel_gives_the_native_lines(self):
        """The tester's folder with a fault of each kind: the page's line for every case equals
        sphaerix-conformance's on the same files, and a failing case is one click from its view
        and the history of its first difference."""
        tool = os.path.join(os.path.dirname(os.path.dirname(SNAPSHOT)), "conformance", "sphaerix-conformance")
        folder = os.path.join(WORK, "conformance")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        texture = os.path.join(WORK, "sphere.raw")
        subprocess.run([tool, "--texture", texture, "--write-reference", folder], check=True, capture_output=True)

        def path(name):
            return os.path.join(folder, name)

        def rewrite(name, change):
            with open(path(name), "rb") as f:
                data = bytearray(f.read())
            change(data)
            with open(path(name), "wb") as f:
                f.write(data)

        # One fault of each kind, a case each; the other cases stay equal.
        subprocess.run([SNAPSHOT, "--size", "480x480", "--angle-z", "-135", "--angle-x", "-80", "--zoom", "8",
                        "--texture", texture, "-o", path("rim.ppm")], check=True, capture_output=True)
        os.remove(path("rim.png"))
        rewrite("rim.ppm", lambda d: d.__setitem__(len(d) - 3 * 1000, d[len(d) - 3 * 1000] ^ 1))
        rewrite("start.depth", lambda d: d.__setitem__(4 * 57000 + 1, d[4 * 57000 + 1] ^ 0x10))
        os.remove(path("tiny.depth"))
        os.remove(path("seam-front.png"))
        with open(path("wide.ppm"), "wb") as f:
            f.write(ppm(7, 5, [9] * 105))
        os.remove(path("wide.png"))
        with open(path("tall.png"), "wb") as f:
            f.write(b"not a picture")
        rewrite("close-7.depth", lambda d: d.__delitem__(slice(len(d) - 4, None)))
        with open(path("nomatch.png"), "wb") as f:
            f.write(ppm(2, 2, [0] * 12))

        run = subprocess.run([tool, "--texture", texture, folder], capture_output=True, text=True)
        self.assertEqual(run.returncode, 1, run.stdout + run.stderr)
        native = [line.replace(folder + "/", "") for line in run.stdout.splitlines()]
        native_cases = {line.split()[1]: line for line in native if re.match(r"(equal|DIFFERS|MISSING|ERROR) ", line)}
        summary = next(line for line in native if " passed, " in line)

        self.open()
        panel = self.driver.find_element(By.ID, "conformance")
        self.driver.execute_script("arguments[0].open = true; arguments[0].scrollIntoView()", panel)
        files = sorted(os.listdir(folder))
        self.driver.find_element(By.ID, "conformance-files").send_keys("\n".join(path(n) for n in files))
        WebDriverWait(self.driver, 60).until(
            lambda d: d.find_element(By.ID, "conformance-summary").text.strip())
        rows = self.js("return [...document.querySelectorAll('#conformance-cases tr')]"
                       ".map(r => [r.dataset.case, r.querySelector('code').textContent])")
        page_cases = dict(rows)
        self.maxDiff = None
        self.assertEqual(page_cases, native_cases)
        self.assertTrue(self.driver.find_element(By.ID, "conformance-summary").text.startswith(summary))
        self.assertIn("nomatch.png", self.driver.find_element(By.ID, "conformance-message").text)
        # Failures first.
        outcomes = [line.split()[0] for _, line in rows]
        self.assertEqual(outcomes, sorted(outcomes, key=lambda o: o == "equal"))

        # rim: one click to its view, mask and the history of its first difference.
        first = re.search(r"first at (\d+),(\d+)", native_cases["rim"])
        self.driver.find_element(By.XPATH, "//button[text()='Show rim']").click()
        self.wait.until(lambda d: self.js("return window.sphaerix.drawn().pixel") == [int(first[1]), int(first[2])])
        drawn = self.js("return window.sphaerix.drawn()")
        self.assertEqual([drawn["width"], drawn["height"], drawn["az"], drawn["ax"], drawn["zoom"]],
                         [480, 480, -135, -80, 8])
        self.assertTrue(self.in_view("history"))
        self.assertFalse(self.driver.find_element(By.ID, "conformance-mask").get_attribute("hidden"))
        history = self.js("return window.sphaerix.history(arguments[0], arguments[1])", int(first[1]), int(first[2]))
        expected, _ = snapshot(dict(size="480x480", az=-135.0, ax=-80.0, pan=(0.0, 0.0), zoom=8.0),
                               "--history", f"{first[1]},{first[2]}", "--json")
        self.assertEqual(history, json.loads(expected))

    def test_compare_counts_as_the_snapshot_does(self):
        view = dict(START, size="64x48", zoom=4.0)
        w, h = 64, 48
        ours = native_pixels(view)
        theirs = bytearray(ours)
        for i in (5, 700, 2000):  # pixels changed by hand, top row first
            theirs[3 * i:3 * i + 3] = bytes([255 - theirs[3 * i], theirs[3 * i + 1] // 2, 7])
        cases = [  # (file name, bytes)
            ("mine.ppm", ppm(w, h, theirs)),
            ("mine-text.ppm", ppm(w, h, theirs, text=True)),
            ("mine.png", png(w, h, rgb_rows(theirs, w, h))),
            ("mine16.png", png(w, h, rgb_rows(theirs, w, h, lambda s: [max(0, s * 257 - 128)]), depth=16)),
            ("mine-adam7.png", png(w, h, rgb_rows(theirs, w, h), interlace=True)),
            ("same.png", png(w, h, rgb_rows(ours, w, h))),
        ]
        self.open(hash_of(view))
        for name, data in cases:
            with self.subTest(name):
                path = self.choose_file("compare-file", name, data)
                line, status = snapshot(view, "--against", path)
                self.wait.until(lambda d: name in self.js("return document.getElementById('compare-line').textContent"))
                shown = self.js("return document.getElementById('compare-line').textContent")
                self.assertIn(line.strip().replace(path, name), shown)
                first = re.search(r"first at (\d+),(\d+)", line)
                self.assertEqual(status, 3 if first else 0)
                self.assertEqual(bool(self.driver.find_elements(By.ID, "compare-first")), bool(first))
                # The mask at a whole multiple of its size, never a fraction.
                shown, side = self.js("const m = document.getElementById('mask');"
                                      "return [m.getBoundingClientRect().width - 2, m.width]")
                self.assertEqual(shown % side, 0)
                if first:  # the first difference is a click away from its history, in view
                    self.js("document.getElementById('inspector').scrollTop = 1e6")
                    self.driver.find_element(By.ID, "compare-first").click()
                    self.wait.until(lambda d: self.js("return window.sphaerix.drawn().pixel")
                                    == [int(first[1]), int(first[2])])
                    self.wait.until(lambda d: self.in_view("history"))

    def test_textures_match_the_native_import(self):
        side = 16
        rgb = [(x * 16 + y) % 256 for y in range(side) for x in range(side) for _ in range(3)]
        grey2 = [[(x + y) % 4 for x in range(side)] for y in range(side)]
        cases = [  # (file name, bytes)
            ("rgb.png", png(side, side, rgb_rows(rgb, side, side))),
            ("grey2.png", png(side, side, grey2, color_type=0, depth=2)),
            ("palette.png", png(side, side, grey2, color_type=3, depth=2, palette=[200, 30, 40, 10, 220, 30,
                                                                                 0, 0, 250, 250, 250, 0],
                                trns=[255, 128, 0])),
            ("rgba16-adam7.png", png(side, side, [[(x * 4000 + y * 97 + c * 13) % 65536 for x in range(side)
                                                   for c in range(4)] for y in range(side)],
                                     color_type=6, depth=16, interlace=True)),
            ("grey-key.png", png(side, side, [[v * 85 for v in row] for row in grey2], color_type=0, trns=[0, 170])),
            ("rgb-key.png", png(side, side, rgb_rows(rgb, side, side), trns=[0, 16, 0, 16, 0, 16])),
            ("mine.raw", bytes((i * 7) % 251 for i in range(196608))),
            ("longer.raw", bytes((i * 13) % 253 for i in range(196608 + 99))),  # read up to its size
        ]
        view = dict(START, size="160x120")
        self.open(hash_of(view))
        for name, data in cases:
            with self.subTest(name):
                path = self.choose_file("texture-file", name, data)
                raw = path
                if not name.endswith(".raw"):
                    raw = path + ".raw"
                    subprocess.run([SPHEREMAP, "import", path, raw], check=True, capture_output=True)
                self.wait.until(lambda d: self.js("return document.getElementById('texture-line').textContent")
                                == f"from {name}")
                self.js("return window.sphaerix.settled()")
                self.assertEqual(self.message(), "")
                self.assertEqual(self.page_pixels(), native_pixels(view, texture=raw))

    def test_each_side_may_be_16384_and_no_more(self):
        cases = [("16384x1", True), ("1x16384", True), ("16385x1", False), ("1x16385", False)]  # (size, taken)
        self.open(hash_of(dict(START, size="8x8")))
        for size, taken in cases:
            with self.subTest(size):
                refused = self.js("return window.sphaerix.setView({size: arguments[0]})", size)
                self.assertEqual(refused, [] if taken else [f'bad value "{size}" for size (--size): WxH, each side 1..16384'])
                self.assertEqual(self.js("return window.sphaerix.settled().then(() => window.sphaerix.size())"),
                                 [int(v) for v in size.split("x")] if taken else [8, 8])
                self.set_view(dict(START, size="8x8"))

    def test_ppm_headers_read_as_the_snapshot_reads_them(self):
        pixels = b"ABCDEF"
        cases = [  # every blank between tokens, comments straight after each token; the limits; refused forms
            b"P6\n2 1\n255\n", b"P6\t2\v1\f255\r", b"P6 2 1 255 ", b"P6#a\n2 1 255\n", b"P6 2#b\n1 255\n",
            b"P6 2 1#c 7\n255\n", b"P6 2 1 255#d\n", b"P6\n#e\n\n#f 1 2\n2 1\n255 ", b"P6 1 1 65535#g\n",
            b"P3 2 1 255 65 66 67#h\n68\t69 70", b"P3\r2\r1\r255\r65#i\r\n66 67 68 69\n70#j", b"P3 1 1 255 255 0 255",
            b"P6 16384 1 255 ", b"P6 1 16384 255 ", b"P6 16385 1 255 ", b"P6 1 16385 255 ", b"P3 1 1 255 255 256 0",
            b"P6 2 1 255#k", b"P6 2 1#l", b"P6 2x1 255 ", b"P6 2 1 256 ", b"P3 2 1 255 65 66 67 68 69", b"P3 2 1 255 1 2 3 4 5 x",
        ]
        self.open()
        for n, header in enumerate(cases):
            with self.subTest(header=header):
                data = header + (pixels * (8192 if b"16384" in header else 1) if header[1:2] == b"6" else b"")
                path = os.path.join(WORK, f"header{n}.ppm")
                with open(path, "wb") as f:
                    f.write(data)
                page = self.js("return import('./ppm.js').then(m => { const r = m.decodePpm(new Uint8Array(arguments[0]));"
                               "return r.error || [r.width, r.height, r.max, Array.from(r.samples)]; })", list(data))
                w, h = page[:2] if isinstance(page, list) else (2, 1)
                run = subprocess.run([SNAPSHOT, "--size", f"{w}x{h}", "--pan", "100000,0", "--against", path],
                                     capture_output=True, text=True, cwd=WORK)
                if isinstance(page, str):
                    self.assertEqual(run.stderr, f'sphaerix-snapshot: "{path}" {page}\n')
                    continue
                rgb = bytes(round(s * 255 / page[2]) for s in page[3])
                self.assertIn("theirs " + hashlib.md5(rgb).hexdigest(), run.stdout)

    def test_compare_mask_is_the_snapshots(self):
        view = dict(START, size="64x48", zoom=4.0)
        theirs = bytearray(native_pixels(view))
        for i in (5, 700, 3000):  # top row first; near the edge, inside, near the bottom
            theirs[3 * i] ^= 0x40
        self.open(hash_of(view))
        path = self.choose_file("compare-file", "mask-me.ppm", ppm(64, 48, theirs))
        self.wait.until(lambda d: "mask-me.ppm" in self.js("return document.getElementById('compare-line').textContent"))
        snapshot(view, "--against", path, "--mask", os.path.join(WORK, "mask.ppm"))
        with open(os.path.join(WORK, "mask.ppm"), "rb") as f:
            native = f.read()[-64 * 48 * 3:]
        shown = self.bytes_of("(() => { const c = document.getElementById('mask');"
                              "const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;"
                              "return d.filter((_, i) => i % 4 !== 3); })()")
        self.assertEqual(shown, native)

    def test_png_sides_at_the_limit(self):
        self.open()
        for w, h in [(16384, 1), (1, 16384), (16385, 1), (1, 16385)]:
            with self.subTest(f"{w}x{h}"):
                data = png(w, h, [[(x * 7 + y) % 256 for x in range(w) for _ in range(3)] for y in range(h)])
                path = os.path.join(WORK, "side.png")
                with open(path, "wb") as f:
                    f.write(data)
                page = self.js("return import('./png.js').then(m => m.decodePng(new Uint8Array(arguments[0])))"
                               ".then(r => r.error || Array.from(r.samples))", list(data))
                run = subprocess.run([SNAPSHOT, "--size", f"{min(w, 16384)}x{min(h, 16384)}", "--pan", "100000,0",
                                      "--against", path], capture_output=True, text=True, cwd=WORK)
                taken = w <= 16384 and h <= 16384
                self.assertEqual((isinstance(page, list), "not a valid PNG" not in run.stderr), (taken, taken),
                                 (page, run.stderr))
                if taken:
                    self.assertIn("theirs " + hashlib.md5(bytes(page)).hexdigest(), run.stdout)

    # --- Save PNG, Copy and the one file ----------------------------------------------
    def saved_png(self, **options):
        """The bytes window.sphaerix.savedPng(options) resolves to."""
        return base64.b64decode(self.js(
            "return window.sphaerix.savedPng(arguments[0]).then(b => { let s = '';"
            "for (let i = 0; i < b.length; i += 32768) s += String.fromCharCode.apply(null, b.subarray(i, i + 32768));"
            "return btoa(s); })", options))

    def assert_picture(self, png_bytes, expected):
        """A PNG's (width, height, RGB) against `expected`, or against the PNG file at that path."""
        if isinstance(expected, str):
            with open(expected, "rb") as f:
                expected = read_png(f.read())
        got = read_png(png_bytes)
        first = next((i // 3 for i, (a, b) in enumerate(zip(got[2], expected[2])) if a != b), None)
        self.assertTrue(got == expected, f"{got[:2]} against {expected[:2]}, first differing pixel {first}")

    def native_png(self, view, *options):
        out = os.path.join(WORK, "slide.png")
        self.assertEqual(snapshot(view, *options, "-o", out)[1], 0)
        return out

    def test_saved_png_is_the_snapshots_slide(self):
        view = dict(size="120x90", az=20.0, ax=-75.0, pan=(6.0, -4.0), zoom=4.0)
        cases = [  # (view, scale, grid)
            ("color", 1, False), ("color", 4, True), ("color", 2, True),  # no grid below 3
            ("depth", 1, False), ("depth", 3, True),                     # the key below, its scale
            ("polygons", 2, False), ("polygons", 4, True),               # the numbers on the polygons
            ("overdraw", 3, False), ("normals", 1, True), ("edges", 4, False), ("texels", 1, False),
        ]
        self.open(hash_of(view))
        for name, scale, grid in cases:
            with self.subTest(f"{name} x{scale}{' grid' if grid else ''}"):
                self.set_view(view, view=name)
                self.assert_picture(self.saved_png(scale=scale, grid=grid), self.native_png(
                    view, "--view", name, "--scale", str(scale), *(["--grid"] if grid else [])))

    def test_save_button_downloads_the_picture_shown(self):
        view = dict(size="96x64", az=-100.0, ax=-50.0, pan=(0.0, 3.0), zoom=2.0)
        cases = [  # (address fields, watch the fill up to polygon 0, file name)
            (dict(view="color", scale=3, grid="on"), False, "sphaerix-96x64-color-x3-grid.png"),
            (dict(view="color"), False, "sphaerix-96x64-color-x1.png"),
            (dict(view="depth"), False, "sphaerix-96x64-depth-x1.png"),
            (dict(view="color", renderer="opengl"), False, "sphaerix-96x64-opengl-x1.png"),
            (dict(view="color", renderer="difference"), False, "sphaerix-96x64-difference-x1.png"),
            (dict(view="polygons"), True, "sphaerix-96x64-polygons-x1-upto-0.png"),
        ]
        for fields, watch, name in cases:
            with self.subTest(name):
                self.open(hash_of(view, **{"scale": 1, **fields}))
                if watch:
                    self.driver.find_element(By.CSS_SELECTOR, "#watch summary").click()
                    self.driver.find_element(By.ID, "watch-next").click()
                    self.js("return window.sphaerix.settled()")
                shutil.rmtree(self.downloads, ignore_errors=True)
                self.driver.find_element(By.ID, "save-png").click()
                path = os.path.join(self.downloads, name)
                self.wait.until(lambda d: os.path.exists(path))
                self.assertEqual(self.js("return document.getElementById('controls-line').textContent"), f"Saved {name}")
                with open(path, "rb") as f:
                    saved = f.read()
                self.assertEqual(saved, self.saved_png())
                if "grid" in name:  # the magnification and grid on screen, as --scale 3 --grid
                    self.assert_picture(saved, self.native_png(view, "--view", "color", "--scale", "3", "--grid"))
                    continue
                shown = (*self.js("return window.sphaerix.size()"), self.page_pixels())
                self.assertEqual(self.js("return window.sphaerix.renderer"), fields.get("renderer", "software"))
                self.assert_picture(saved, shown)
                if name.endswith(("color-x1.png", "depth-x1.png")):
                    self.assert_picture(saved, self.native_png(view, "--view", fields["view"]))
                elif fields.get("renderer"):  # the WebGL picture, enlarged by the snapshot's own code
                    self.assert_picture(self.saved_png(scale=3), (288, 192, enlarged(shown[2], 96, 3)))

    def test_copy_puts_the_png_on_the_clipboard_or_says_why_not(self):
        origin = self.url.rsplit("/", 1)[0]
        cases = [  # (what, clipboard permission, page script, line beside the buttons)
            ("allowed", "granted", "", "Copied sphaerix-40x30-depth-x1.png"),
            ("refused", "denied", "", "The browser refused the clipboard (no permission): use Save PNG."),
            ("no clipboard here", "granted", "Object.defineProperty(navigator, 'clipboard', {value: undefined})",
             "This browser gives no clipboard to this page (it needs https, localhost or a file with clipboard "
             "access): use Save PNG."),
        ]
        line = "return document.getElementById('controls-line').textContent"
        for what, permission, script, expected in cases:
            with self.subTest(what):
                self.open("#size=40x30&view=depth&renderer=software&scale=1")
                for name, setting in [("clipboard-write", permission), ("clipboard-read", "granted")]:
                    self.driver.execute_cdp_cmd("Browser.setPermission", {
                        "origin": origin, "permission": {"name": name}, "setting": setting})
                self.js(script)
                self.driver.find_element(By.ID, "copy-png").click()
                self.wait.until(lambda d: self.js(line))
                self.assertEqual(self.js(line), expected)
                if what == "allowed":  # the browser's own PNG of the same pixels
                    self.assert_picture(base64.b64decode(self.js(
                        "return navigator.clipboard.read().then(i => i[0].getType('image/png')).then(b => b.arrayBuffer())"
                        ".then(a => btoa(String.fromCharCode(...new Uint8Array(a))))")), read_png(self.saved_png()))
        self.driver.execute_cdp_cmd("Browser.resetPermissions", {})

    def test_saved_mask_is_the_snapshots_mask(self):
        view = dict(START, size="64x48", zoom=4.0)
        theirs = bytearray(native_pixels(view))
        theirs[3 * 700:3 * 700 + 3] = b"\x01\x02\x03"
        self.open(hash_of(view))
        self.assertEqual(self.js("return window.sphaerix.savedPng({subject: 'mask'}).then(() => '', e => e.message)"),
                         "nothing has been compared")
        path = self.choose_file("compare-file", "theirs.ppm", ppm(64, 48, theirs))
        self.wait.until(lambda d: "theirs.ppm" in self.js("return document.getElementById('compare-line').textContent"))
        for scale, grid in [(1, False), (4, True)]:
            with self.subTest(f"x{scale}"):
                out = os.path.join(WORK, "mask.png")
                self.assertEqual(snapshot(view, "--against", path, "--mask", out, "--scale", str(scale),
                                          *(["--grid"] if grid else []))[1], 3)
                self.assert_picture(self.saved_png(subject="mask", scale=scale, grid=grid), out)

    def test_the_one_file_opens_from_disk(self):
        # Alone in a folder of its own, so that nothing beside it can be what it loads.
        alone = tempfile.mkdtemp(prefix="sphaerix-one-file-")
        shutil.copy(os.path.join(os.path.dirname(SITE), "sphaerix.html"), alone)
        view = dict(size="200x150", az=-120.0, ax=-65.0, pan=(-5.0, 2.0), zoom=3.0)
        self.driver.get("about:blank")
        self.driver.get("file://" + os.path.join(alone, "sphaerix.html") + hash_of(view, view="depth"))
        self.js("return window.sphaerix.ready")
        self.assertEqual(self.message(), "")
        self.assertEqual(self.js("return getComputedStyle(document.getElementById('frame')).imageRendering"),
                         "pixelated", "the style sheet is inside")
        self.assertEqual(self.page_pixels(), native_pixels(view, "depth"))
        self.click_pixel(100, 80, 150)
        self.assertEqual(self.js("return window.sphaerix.history(100, 80)"),
                         json.loads(snapshot(view, "--history", "100,80", "--json")[0]))
        self.assert_picture(self.saved_png(scale=3, grid=True),
                            self.native_png(view, "--view", "depth", "--scale", "3", "--grid"))
        shutil.rmtree(alone)

if __name__ == "__main__":
    # Further arguments pick tests by name, as unittest takes them.
    unittest.main(argv=sys.argv[:1] + sys.argv[5:], verbosity=2)
