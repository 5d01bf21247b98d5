#!/usr/bin/python3
"""The real programs under a real X server. Keys, buttons and motion arrive through XTest,
and every frame of sphaerix is checked pixel for pixel against sphaerix-snapshot's picture
of the view it should then show; sphaerix-snapshot's own window mode must read back the
frame its headless path writes. run_e2e.sh gives it a private Xvfb screen:
e2e_test.py SPHAERIX SPHAERIX-SNAPSHOT WORK-DIRECTORY"""
import array, os, subprocess, sys, time, unittest
from Xlib import X, XK, display
from Xlib.ext import xtest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from pictures import ppm_pixels  # noqa: E402

PROGRAM, SNAPSHOT, WORK = sys.argv[1:4]
SECONDS = 20  # generous for a sanitizer build on a busy machine
TEXTURE_BYTES = 196608
START = dict(z=-135.0, x=-60.0, px=0.0, py=0.0, zoom=0.25, w=480, h=480)


def wait_until(done, seconds=SECONDS):
    end = time.time() + seconds
    while not done():
        if time.time() > end:
            return False
        time.sleep(0.02)
    return True


def write_texture(directory, size=TEXTURE_BYTES):
    """sphere.raw whose texels all differ, so a shift of one texel or pixel shows."""
    os.makedirs(directory, exist_ok=True)
    texels = bytes(b for v in range(256) for u in range(256) for b in (u, v, u ^ v))
    with open(os.path.join(directory, "sphere.raw"), "wb") as f:
        f.write(texels[:size])


def read(path, mode="rb"):
    with open(path, mode) as f:
        return f.read()


def snapshot(view, opengl=False, *options):
    """sphaerix-snapshot's picture of a view, RGB top row first."""
    out = os.path.join(WORK, "expected.ppm")
    v = dict(START, **view)
    subprocess.run([SNAPSHOT, "--renderer", "opengl" if opengl else "software", "--size",
                    f"{v['w']}x{v['h']}", "--angle-z", str(v["z"]), "--angle-x", str(v["x"]),
                    "--pan", f"{v['px']},{v['py']}", "--zoom", str(v["zoom"]), "--texture",
                    os.path.join(WORK, "sphere.raw"), "-o", out, *options], check=True)
    return ppm_pixels(out)


class Screen:
    def __init__(self):
        self.d = display.Display()
        self.root = self.d.screen().root
        self.d.set_error_handler(lambda *args: None)  # a vanished window fails a check

    def window(self, title):
        found = []
        if not wait_until(lambda: found.extend(w for w in self.root.query_tree().children if w.get_wm_name() == title
                                               and w.get_attributes().map_state == X.IsViewable) or found):
            return None
        w = found[0]
        if w.get_geometry().x < 0:  # GLUT's default place, one pixel off screen
            w.configure(x=0, y=0)
        w.set_input_focus(X.RevertToPointerRoot, X.CurrentTime)
        self.d.sync()
        return w

    def capture(self, w):
        try:
            g = w.get_geometry()
            data = w.get_image(0, 0, g.width, g.height, X.ZPixmap, 0xFFFFFFFF).data
        except Exception:
            return b""
        rgb = bytearray(len(data) // 4 * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = data[2::4], data[1::4], data[0::4]
        return bytes(rgb)

    def fake(self, *events):
        for event, detail in events:
            xtest.fake_input(self.d, event, detail)
        self.d.sync()

    def move(self, w, x, y):
        at = self.root.translate_coords(w, x, y)
        xtest.fake_input(self.d, X.MotionNotify, x=at.x, y=at.y)
        self.d.sync()

    def key(self, name, shift=False):
        codes = [self.d.keysym_to_keycode(XK.string_to_keysym(s)) for s in ["Shift_L"] * shift + [name]]
        self.fake(*[(X.KeyPress, c) for c in codes], *[(X.KeyRelease, c) for c in reversed(codes)])

    def mark(self, w):
        """A magenta square that stays until the program draws a frame over it."""
        gc = w.create_gc(foreground=0xFF00FF)
        w.fill_rectangle(gc, 4, 4, 12, 12)
        self.d.sync()


SCREEN = Screen()


class Program(unittest.TestCase):
    def setUp(self):
        self.dir = os.path.join(WORK, "run")
        write_texture(WORK)
        write_texture(self.dir)
        self.process = self.window = None

    def tearDown(self):
        self.stop()
        self.process and self.process.stdout.close()

    def start(self, *options):
        self.errors = os.path.join(WORK, "sphaerix.stderr")
        with open(self.errors, "w") as errors:
            self.process = subprocess.Popen([PROGRAM, *options], cwd=self.dir, stdout=subprocess.PIPE,
                                            stderr=errors)

    def launch(self, *options):
        self.start(*options)
        self.window = SCREEN.window("Sphaerix")
        self.assertIsNotNone(self.window, read(self.errors, "r"))
        SCREEN.move(self.window, 240, 240)

    def stop(self):
        """Ends the program and waits for its window to go, so no later launch finds it."""
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        if self.window:
            wait_until(lambda: not SCREEN.capture(self.window))

    def expect_frame(self, expected, what):
        actual = [b""]
        if wait_until(lambda: actual.__setitem__(0, SCREEN.capture(self.window)) or actual[0] == expected):
            return
        differing = [i // 3 for i in range(0, min(len(actual[0]), len(expected)), 3)
                     if actual[0][i:i + 3] != expected[i:i + 3]]
        self.fail(f"{what}: {len(differing)} pixels differ (sizes {len(actual[0])}, {len(expected)}), "
                  f"the first at index {differing[:1]} from the top left")

    def drag(self, buttons, dx, dy, x0=200, y0=220):
        SCREEN.move(self.window, x0, y0)
        SCREEN.fake(*[(X.ButtonPress, b) for b in buttons])
        for step in range(1, 5):
            SCREEN.move(self.window, x0 + dx * step // 4, y0 + dy * step // 4)
        SCREEN.fake(*[(X.ButtonRelease, b) for b in buttons])

    def test_keys_switch_renderers_at_any_size_and_nothing_else_draws(self):
        """The first frame is OpenGL's; g switches, other keys (upper-case Q and G too) and no
        input draw nothing and use no processor time."""
        opengl, software = snapshot({}, True), snapshot({})
        self.assertNotEqual(opengl, software)
        self.launch()  # the 480x480 window is the program's own choice
        self.expect_frame(opengl, "first frame, OpenGL with its caption")
        time.sleep(0.5)  # the start-up repaints are over
        SCREEN.mark(self.window)
        marked = SCREEN.capture(self.window)
        for name, shift in [("x", False), ("q", True), ("g", True), ("space", False)]:
            SCREEN.key(name, shift)
        time.sleep(0.5)
        cpu = lambda: sum(map(int, read(f"/proc/{self.process.pid}/stat", "r").rsplit(")")[1].split()[11:13]))
        before = cpu()
        time.sleep(1.5)
        self.assertIsNone(self.process.poll(), "the program ended")
        self.assertEqual(cpu(), before, "CPU time used while idle, in clock ticks")
        self.assertEqual(SCREEN.capture(self.window), marked, "a frame drawn without input or for x, Q, G, space")
        SCREEN.key("g")
        self.expect_frame(software, "after g, the software rendering")
        SCREEN.key("g")
        self.expect_frame(opengl, "after a second g, OpenGL again")
        self.window.configure(width=300, height=200)
        self.expect_frame(snapshot(dict(w=300, h=200), True), "OpenGL after a resize to 300x200")
        SCREEN.key("g")
        self.expect_frame(snapshot(dict(w=300, h=200)), "software at 300x200")
        self.window.configure(height=260)  # the width alone stays as it was
        self.expect_frame(snapshot(dict(w=300, h=260)), "software after a resize of the height alone")

    def test_mouse_sets_the_view_exactly(self):
        """A left drag turns by its pixels in degrees, a right drag pans by them, a wheel notch
        (press and release, X's 4 being GLUT's 3, towards the eye) is two zoom steps, and the
        middle button changes nothing."""
        steps = [("left drag", [1], 40, 25, dict(z=40, x=25)), ("right drag", [3], -30, 20, dict(px=-30, py=20)),
                 ("drag with both", [1, 3], 15, -35, dict(z=15, x=-35, px=15, py=-35)),
                 ("notch towards the eye", [4], 0, 0, dict(zoom=2)), ("notch away", [5], 0, 0, dict(zoom=-2)),
                 ("another notch away", [5], 0, 0, dict(zoom=-2)), ("middle drag", [2], 20, 30, {})]
        view = dict(START)
        self.launch("-geometry", "480x480+40+30")  # GLUT's own option, as a user might place the window
        SCREEN.key("g")
        self.expect_frame(snapshot(view), "software start-up view")
        for what, buttons, dx, dy, change in steps:
            SCREEN.mark(self.window)
            self.drag(buttons, dx, dy)
            view = {k: v + change.get(k, 0) for k, v in view.items()}
            self.expect_frame(snapshot(view), what)

    def test_ends_with_the_right_status_and_message(self):
        """q and Escape end the program with status 0 and no OpenGL error; a missing or short
        sphere.raw ends it at start-up with status 1 and its message."""
        for key, size, status, message in [
                ("q", TEXTURE_BYTES, 0, ""), ("Escape", TEXTURE_BYTES, 0, ""),
                (None, None, 1, 'sphaerix: cannot open texture file "sphere.raw": '),
                (None, TEXTURE_BYTES - 1, 1,
                 'sphaerix: texture file "sphere.raw" is too short: 196607 bytes, 196608 needed\n')]:
            self.stop()
            if os.path.exists(os.path.join(self.dir, "sphere.raw")):
                os.remove(os.path.join(self.dir, "sphere.raw"))
            if size is not None:
                write_texture(self.dir, size)
            if key:
                self.launch()
                self.expect_frame(snapshot({}, True), "first frame")
                SCREEN.key(key)
            else:
                self.start()
            out, _ = self.process.communicate(timeout=SECONDS)
            self.assertEqual(self.process.returncode, status, key)
            self.assertIn(message, read(self.errors, "r"), key)
            self.assertEqual(out, b"", "no OpenGL error in a normal run")


class SnapshotWindow(unittest.TestCase):
    # At the tool's default view here the torus crosses the frame's top row, which the
    # presentation must fill too; the OpenGL depth is compared at a view that keeps it whole.
    def run_tool(self, *options, view=("--pan", "5,-40", "--zoom", "4")):
        return subprocess.run([SNAPSHOT, "--size", "96x64", "--angle-z", "-100", *view,
                               "--texture", os.path.join(WORK, "sphere.raw"), *options],
                              capture_output=True, text=True)

    def test_window_frames_are_the_headless_frame(self):
        """The window shows the software buffer point by point: read back, alone or for
        --compare, it is the very image (and depth) the headless path writes; OpenGL's depth
        comes back on the software scale."""
        write_texture(WORK)
        path = lambda name: os.path.join(WORK, name)
        headless = self.run_tool("--depth", path("h.bin"), "-o", path("h.png"))
        window = self.run_tool("--window", "--frames", "2", "--depth", path("w.bin"), "-o", path("w.png"))
        self.assertEqual((headless.returncode, window.returncode), (0, 0), window.stderr)
        self.assertRegex(window.stdout, r"^frames: 2, median: \d+\.\d{3} ms\n$")
        for a, b in [("w.png", "h.png"), ("w.bin", "h.bin")]:
            self.assertEqual(read(path(a)), read(path(b)), a)
        compare = self.run_tool("--compare", path("cmp"))
        self.assertRegex(compare.stdout, r"^differing pixels: [1-9]\d* of 6144 \(")  # the caption differs
        self.assertEqual(read(path("cmp/software.png")), read(path("h.png")))
        whole = ("--pan", "5,3")
        self.assertEqual(self.run_tool("--depth", path("h.bin"), "-o", path("h.png"), view=whole).returncode, 0)
        gl = self.run_tool("--renderer", "opengl", "--depth", path("g.bin"), "-o", path("g.ppm"), view=whole)
        self.assertEqual(gl.returncode, 0, gl.stderr)
        soft, opengl = array.array("f", read(path("h.bin"))), array.array("f", read(path("g.bin")))
        drawn = [abs(s - g) < 1e-3 for s, g in zip(soft, opengl) if s < 1.0]
        self.assertGreater(len(drawn), 500)
        self.assertGreater(sum(drawn), len(drawn) * 9 // 10)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
