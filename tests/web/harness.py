"""What the page's tests share: the served site, a headless Chromium driven by Selenium's
real pointer, wheel, key and file input, and the native tools run on the same views.
Each topic file runs as
    TOPIC_test.py SITE-DIRECTORY SPHAERIX-SNAPSHOT SPHAERIX-SPHEREMAP WORK-DIRECTORY [TEST...]
and exits 77 (skipped) when the site has not been built."""
import base64, functools, http.server, json, math, os, shutil, struct, subprocess, sys, tempfile, threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from pictures import png, ppm, ppm_pixels, read_png, rgb_rows, enlarged  # noqa: E402,F401

from selenium import webdriver  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.actions.action_builder import ActionBuilder  # noqa: E402
from selenium.webdriver.common.actions.mouse_button import MouseButton  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402,F401
from selenium.webdriver.support.ui import WebDriverWait  # noqa: E402

SITE = SNAPSHOT = SPHEREMAP = CONFORMANCE = WORK = None
START = dict(size="480x480", az=-135.0, ax=-60.0, pan=(0.0, 0.0), zoom=0.25)
VIEWS = ["color", "depth", "normals", "overdraw", "polygons", "edges", "texels"]


def configure(site, snapshot_tool, spheremap_tool, work):
    global SITE, SNAPSHOT, SPHEREMAP, CONFORMANCE, WORK
    SITE, SNAPSHOT, SPHEREMAP, WORK = (os.path.abspath(a) for a in (site, snapshot_tool, spheremap_tool, work))
    CONFORMANCE = os.path.join(os.path.dirname(os.path.dirname(SNAPSHOT)), "sphaerix-conformance", "sphaerix-conformance")
    os.makedirs(WORK, exist_ok=True)
    subprocess.run([SPHEREMAP, "generate", work_path("sphere.raw")], check=True, capture_output=True)


def main():
    """The topic file's tests, with the arguments above; further ones pick tests by name."""
    if not os.path.exists(os.path.join(sys.argv[1], "sphaerix.js")):
        print(f"no site at {sys.argv[1]}: build it with web/build.sh")
        sys.exit(77)
    configure(*sys.argv[1:5])
    unittest.main(module="__main__", argv=sys.argv[:1] + sys.argv[5:], verbosity=2)


def work_path(*parts):
    return os.path.join(WORK, *parts)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def size_of(view):
    return tuple(int(v) for v in view["size"].split("x"))


def view_options(view):
    return ["--size", view["size"], "--angle-z", repr(view["az"]), "--angle-x", repr(view["ax"]),
            "--pan", "%r,%r" % view["pan"], "--zoom", repr(view["zoom"])] + (["--rules", view["rules"]] if "rules" in view else [])


def snapshot(view, *extra, texture=None):
    """The native tool on `view` (a dict like START); (stdout, exit status)."""
    run = subprocess.run([SNAPSHOT, *view_options(view), "--texture", texture or work_path("sphere.raw"), *extra],
                         capture_output=True, text=True, cwd=WORK)
    return run.stdout, run.returncode


def snapshot_json(view, *extra):
    out, status = snapshot(view, *extra, "--json")
    assert status == 0, (extra, status)
    return json.loads(out)


def native_pixels(view, name="color", *extra, texture=None):
    """The RGB, top row first, that `sphaerix-snapshot --view NAME -o` writes."""
    out = work_path("native.ppm")
    assert snapshot(view, "--view", name, *extra, "-o", out, texture=texture)[1] == 0
    return ppm_pixels(out)


def native_png(view, *options):
    """The path of the PNG the snapshot writes for `view` with these options."""
    out = work_path("slide.png")
    assert snapshot(view, *options, "-o", out)[1] == 0
    return out


def hash_of(v, **more):
    """The page's address for view `v` in the software rendering, with more fields after."""
    fields = dict(size=v["size"], az=v["az"], ax=v["ax"], pan="%r,%r" % v["pan"], zoom=v["zoom"], renderer="software")
    fields.update(more)
    return "#" + "&".join(f"{k}={v}" for k, v in fields.items())


def drag(driver, element, button, dx, dy):
    """A real drag from the element's centre with the left or right button."""
    b = MouseButton.LEFT if button == "left" else MouseButton.RIGHT
    action = ActionBuilder(driver)
    action.pointer_action.move_to(element).pointer_down(b).move_by(dx, dy).pointer_up(b)
    action.perform()


class _Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class PageTest(unittest.TestCase):
    """One served site and one browser for the test class."""
    browser_flags = []  # more Chromium flags for a class (the page without WebGL)

    @classmethod
    def setUpClass(cls):
        cls.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(_Quiet, directory=SITE))
        threading.Thread(target=cls.httpd.serve_forever, daemon=True).start()
        cls.url = f"http://127.0.0.1:{cls.httpd.server_address[1]}/index.html"
        cls.profiles = []
        cls.downloads = work_path("downloads")  # where Save PNG's files land
        cls.driver = cls.new_driver()

    @classmethod
    def new_driver(cls):
        """A fresh headless Chromium with a profile of its own."""
        cls.profiles.append(tempfile.mkdtemp(prefix="sphaerix-chromium-"))
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--no-first-run", "--disable-component-update", "--disable-sync",
                     f"--user-data-dir={cls.profiles[-1]}", "--window-size=1600,1400",
                     "--force-device-scale-factor=1", *cls.browser_flags]:
            options.add_argument(flag)
        options.add_experimental_option("prefs", {"download.default_directory": cls.downloads,
                                                  "download.prompt_for_download": False})
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        cls.wait = WebDriverWait(driver, 30)
        return driver

    @classmethod
    def restart_browser(cls):
        cls.driver.quit()
        cls.driver = cls.new_driver()

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

    def follow(self, link):
        """The link opened in the same tab, as a pasted address or a link on the page does."""
        self.js("const changed = new Promise(r => addEventListener('hashchange', r, {once: true}));"
                "location.hash = arguments[0]; return changed.then(() => window.sphaerix.settled())", link)

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def settled(self):
        self.js("return window.sphaerix.settled()")

    def text(self, id):
        """An element's text; '' while it is hidden."""
        return self.js("const m = document.getElementById(arguments[0]); return m.hidden ? '' : m.textContent", id)

    def message(self):
        return self.text("message")

    def address(self):
        return self.js("return location.hash")

    def drawn(self, key=None):
        state = self.js("return window.sphaerix.settled().then(() => window.sphaerix.drawn())")
        return state if key is None else state[key]

    def bytes_of(self, expression):
        """The bytes of a JavaScript expression giving a typed array (or a promise of one)."""
        return base64.b64decode(self.js(
            f"return Promise.resolve({expression}).then(b => {{ let s = '';"
            "for (let i = 0; i < b.length; i += 32768) s += String.fromCharCode.apply(null, b.subarray(i, i + 32768));"
            "return btoa(s); })"))

    def page_pixels(self):
        return self.bytes_of("window.sphaerix.pixels()")

    def canvas_pixels(self, id="frame"):
        """A canvas as shown (a 2D one or the WebGL one), alpha dropped."""
        return self.bytes_of(f"(() => {{ const c = document.getElementById('{id}'), copy = document.createElement('canvas');"
                             "copy.width = c.width; copy.height = c.height; const g = copy.getContext('2d');"
                             "g.drawImage(c, 0, 0); return g.getImageData(0, 0, c.width, c.height).data"
                             ".filter((_, i) => i % 4 !== 3); })()")

    def ring_in_view(self):
        """Whether the ring round the selected pixel is whole on the overlay and inside the
        pane's visible part."""
        return self.js("""
            const s = window.sphaerix.drawn(), scale = window.sphaerix.magnification();
            const o = document.getElementById('overlay'), f = document.getElementById('frame').getBoundingClientRect();
            const p = document.getElementById('pane'), box = p.getBoundingClientRect();
            const margin = (o.width - Math.ceil(f.width - 0)) / 2, left = s.pixel[0] * scale, top = (s.height - 1 - s.pixel[1]) * scale;
            const ring = [left - 4, top - 4, left + Math.max(scale, 1) + 4, top + Math.max(scale, 1) + 4];
            const drawn = [[ring[0], top], [ring[2] - 1, top], [left, ring[1]], [left, ring[3] - 1]].every(([x, y]) =>
                o.getContext('2d').getImageData(Math.floor(x + margin), Math.floor(y + margin), 1, 1).data[3] > 0);
            const inside = f.left + ring[0] >= box.left + p.clientLeft && f.top + ring[1] >= box.top + p.clientTop &&
                f.left + ring[2] <= box.left + p.clientLeft + p.clientWidth && f.top + ring[3] <= box.top + p.clientTop + p.clientHeight;
            return drawn && inside;""")

    def saved_png(self, **options):
        """The bytes window.sphaerix.savedPng(options) resolves to."""
        return self.bytes_of(f"window.sphaerix.savedPng({json.dumps(options)})")

    def set_view(self, v, **more):
        fields = dict(size=v["size"], az=v["az"], ax=v["ax"], pan="%r,%r" % v["pan"], zoom=v["zoom"],
                  **{k: v[k] for k in ["rules"] if k in v}, **more)
        self.assertEqual(self.js("return window.sphaerix.setView(arguments[0])", fields), [])

    def canvas(self):
        return self.driver.find_element(By.ID, "frame")

    def click(self, selector):
        self.driver.find_element(By.CSS_SELECTOR, selector).click()

    def open_watch(self):
        if not self.js("return document.getElementById('watch').open"):
            self.click("#watch summary")

    def type_into(self, id, text):
        box = self.driver.find_element(By.ID, id)
        box.clear()
        box.send_keys(text, Keys.ENTER)

    def keys(self, *keys):
        ActionChains(self.driver).send_keys(*keys).perform()

    def drag(self, button, dx, dy):
        drag(self.driver, self.canvas(), button, dx, dy)

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
            return [...[...h.querySelectorAll('.summary')].map(p => norm(p.textContent)),
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
        os.makedirs(work_path("given"), exist_ok=True)
        path = write(work_path("given", name), data)
        self.driver.find_element(By.ID, input_id).send_keys(path)
        return path

    def choose_texture(self, name, data):
        """A texture file through the Texture panel, waited for until the frame shows it."""
        path = self.choose_file("texture-file", name, data)
        self.wait.until(lambda d: self.text("texture-line") == f"from {name}")
        self.settled()
        return path

    def assert_picture(self, png_bytes, expected):
        """A PNG's (width, height, RGB) against `expected`, or against the PNG file at that path."""
        if isinstance(expected, str):
            with open(expected, "rb") as f:
                expected = read_png(f.read())
        got = read_png(png_bytes)
        first = next((i // 3 for i, (a, b) in enumerate(zip(got[2], expected[2])) if a != b), None)
        self.assertTrue(got == expected, f"{got[:2]} against {expected[:2]}, first differing pixel {first}")
