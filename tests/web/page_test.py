#!/usr/bin/python3
"""The page in real headless Chromium, driven by Selenium's pointer, wheel and file input,
checked against sphaerix-snapshot run here on the same views:
page_test.py SITE-DIRECTORY SPHAERIX-SNAPSHOT SPHAERIX-SPHEREMAP WORK-DIRECTORY
Exits 77 (skipped) when the site has not been built."""
import base64, functools, http.server, json, math, os, re, shutil, struct, subprocess, sys
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


def native_pixels(view, name="color", texture=None):
    out = os.path.join(WORK, "native.ppm")
    snapshot(view, "--view", name, "-o", out, texture=texture)
    with open(out, "rb") as f:
        data = f.read()
    w, h = (int(v) for v in data.split()[1:3])
    return data[len(data) - w * h * 3:]


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
        cls.profile = tempfile.mkdtemp(prefix="sphaerix-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--no-first-run", "--disable-component-update", "--disable-sync",
                     f"--user-data-dir={cls.profile}", "--window-size=1600,1400", "--force-device-scale-factor=1"]:
            options.add_argument(flag)
        cls.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.wait = WebDriverWait(cls.driver, 30)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.httpd.shutdown()
        shutil.rmtree(cls.profile, ignore_errors=True)

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

    def click_pixel(self, x, y, height):
        """A real click on window pixel x, y (row 0 at the bottom) of the frame."""
        left, top = self.js("const r = document.getElementById('frame').getBoundingClientRect();"
                            "return [r.left, r.top]")
        action = ActionBuilder(self.driver)  # the first whole viewport position inside the pixel
        action.pointer_action.move_to_location(math.ceil(left + x), math.ceil(top + height - 1 - y)).click()
        action.perform()
        self.wait.until(lambda d: self.js("return window.sphaerix.drawn().pixel") == [x, y])

    def history_panel(self):
        """The panel's heading, table rows and final line, blanks collapsed."""
        return self.js("""
            const norm = t => t.replace(/\\s+/g, ' ').trim();
            const h = document.getElementById('history');
            return [norm(h.querySelector('.summary').textContent),
                    ...[...h.querySelectorAll('tbody tr')].map(r => norm([...r.cells].map(c => c.textContent).join(' '))),
                    norm(h.querySelector('.final').textContent)];""")

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
                self.assertEqual(self.history_panel(), [line for line in native if not line.startswith("# mesh")])

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
                         "#size=320x320&az=-135&ax=-60&pan=0,0&zoom=6&view=polygons&renderer=software&pixel=70,214")

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
        self.assertEqual(self.page_pixels(), native_pixels(view))

    def test_bad_input_is_named_and_the_page_keeps_working(self):
        short_png = png(2, 2, [[1, 2, 3] * 2] * 2)
        cases = [  # (what, how, input, the message names)
            ("size out of range", "hash", "size=0x480", "size"),
            ("width too large", "hash", "size=16385x2", "16384"),
            ("height too large", "hash", "size=2x16385", "16384"),
            ("angle not a number", "hash", "az=abc", 'az "abc"'),
            ("unknown view", "hash", "view=shiny", 'view "shiny"'),
            ("pixel outside", "hash", "pixel=480,2", "outside"),
            ("short sphere.raw", "texture-file", ("sphere.raw", b"\1" * 1000), "1000"),
            ("not an image", "texture-file", ("notes.txt", b"hello"), "neither"),
            ("damaged PNG", "texture-file", ("bad.png", short_png[:-20] + b"x" * 20), "not a valid PNG"),
            ("PNG of another size", "compare-file", ("small.png", short_png), "2x2"),
            ("PPM maxval", "compare-file", ("odd.ppm", b"P6 2 2 1000\n" + b"\0" * 24), "maxval 1000"),
            ("compare with text", "compare-file", ("notes.txt", b"hello"), "neither a PNG nor a PPM"),
        ]
        view = dict(START, size="240x240", az=10.0)
        self.open(hash_of(view))
        before = self.page_pixels()
        for what, how, given, names in cases:
            with self.subTest(what):
                if how == "hash":
                    self.js("location.hash = arguments[0]", hash_of(view) + "&" + given)
                else:
                    self.choose_file(how, *given)
                self.wait.until(lambda d: self.message())
                self.assertIn(names, self.message())
                self.set_view(view)  # the page still draws, from what it had
                self.assertEqual(self.page_pixels(), before)
                self.assertEqual(self.message(), "")

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
                if first:  # the first difference is a click away from its history
                    self.driver.find_element(By.ID, "compare-first").click()
                    self.wait.until(lambda d: self.js("return window.sphaerix.drawn().pixel")
                                    == [int(first[1]), int(first[2])])

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


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
