#!/usr/bin/python3
"""The page's OpenGL rendering (WebGL 2 in headless Chromium) against the program's own
OpenGL frame, so run on an X display (tests/app/run_e2e.sh gives one); and the page in a
browser without WebGL."""
import base64
import os
import struct
import sys

import harness
from harness import START, ActionChains, PageTest, hash_of, native_pixels, size_of, snapshot, snapshot_json, work_path

CAPTION = (11, 6, 284, 18)  # x, y (row 0 at the bottom), width, height of the program's caption
NO_WEBGL = "This browser has no WebGL 2, so the page shows the software rendering only."


def native_opengl(view, texture=None):
    out = work_path("opengl.ppm")
    _, status = snapshot(view, "--renderer", "opengl", "-o", out, texture=texture)
    assert status == 0, "sphaerix-snapshot --renderer opengl failed (no X display?)"
    return harness.ppm_pixels(out)


def closeness(page, native, width, height):
    """Share of pixels whose largest channel difference is within 0, 1, 2, 4 and 8 levels,
    and the share of pixels outside the caption's box that both cover or both leave white."""
    within = dict.fromkeys((0, 1, 2, 4, 8), 0)
    same_outline = outside = 0
    x0, y0, cw, ch = CAPTION
    for i in range(width * height):
        a, b = page[3 * i:3 * i + 3], native[3 * i:3 * i + 3]
        d = max(abs(a[c] - b[c]) for c in range(3))
        for level in within:
            within[level] += d <= level
        x, y = i % width, height - 1 - i // width
        if not (x0 <= x < x0 + cw and y0 <= y < y0 + ch):
            outside += 1
            same_outline += (a == b"\xff\xff\xff") == (b == b"\xff\xff\xff")
    n = width * height
    return {level: count / n for level, count in within.items()}, same_outline / max(outside, 1)


def difference(software, opengl, pixels):
    """The snapshot's --compare picture and line, computed here from the two pictures."""
    out, sums, differing = bytearray(len(software)), [0, 0, 0], 0
    for p in range(pixels):
        differs = False
        for c in range(3):
            d = abs(software[3 * p + c] - opengl[3 * p + c])
            sums[c] += d
            differs |= d != 0
            out[3 * p + c] = 0 if d == 0 else min(255, 32 + 8 * d)
        differing += differs
    mean = [s / pixels for s in sums]
    return bytes(out), ("differing pixels: %d of %d (%.2f%%), mean absolute difference: r %.3f, g %.3f, b %.3f"
                        % (differing, pixels, 100 * differing / pixels, *mean))


class OpenGLTest(PageTest):
    def show(self, view, renderer, texture=None):
        self.open(hash_of(view, renderer=renderer))
        if texture:
            with open(texture, "rb") as f:
                self.choose_texture(os.path.basename(texture), f.read())
        self.assertEqual(self.js("return window.sphaerix.renderer"), renderer)
        return self.page_pixels()

    def test_closeness_to_the_programs_opengl(self):
        # Bright to the image's edge, so that GL_CLAMP's black border shows on the silhouette,
        # and squares that make nearest and linear filtering plainly different.
        squares = work_path("squares.raw")
        with open(squares, "wb") as f:
            f.write(bytes(v for y in range(256) for x in range(256)
                          for v in (x, y, 255 - 200 * ((x // 8 + y // 8) % 2))))
        cases = [  # (what, view[, texture])
            ("start-up", START),
            ("squares texture", START, squares),
            ("over the caption", dict(START, size="300x80")),
            ("close-up", dict(START, size="320x320", zoom=6.0)),
            ("closer, panned", dict(START, size="400x300", az=20.0, ax=-40.0, pan=(-60.0, 35.0), zoom=8.5)),
            ("grazing, nearly edge on", dict(START, size="360x360", ax=-88.0)),
            ("grazing from below", dict(START, size="300x300", az=71.0, ax=-95.5, zoom=2.0)),
            ("tall", dict(START, size="200x440", az=-10.0, ax=-30.0)),
            ("wide", dict(START, size="640x200", az=145.0, ax=-120.0, zoom=-1.5)),
        ]
        for what, view, *texture in cases:
            with self.subTest(what):
                w, h = size_of(view)
                shares, outline = closeness(self.show(view, "opengl", *texture), native_opengl(view, *texture), w, h)
                print(f"{what:24} {view['size']:>8}  " + "  ".join(f"<={k}: {100 * v:6.2f}%" for k, v in shares.items())
                      + f"  outline: {100 * outline:7.3f}%", file=sys.stderr)
                self.assertGreaterEqual(shares[4], 0.98)
                self.assertGreaterEqual(outline, 0.999)
                # Measured: 99.98% within one level. Held to 99.9% as well, since a filtering or
                # interpolation fault can stay inside the 4-level target.
                self.assertGreaterEqual(shares[1], 0.999)

    def test_caption_where_the_program_puts_it(self):
        away = dict(START, pan=(100000.0, 100000.0))  # the torus far outside the frame
        cases = ["400x60", "200x15", "10x10", "9x40", "40x9"]  # whole, clipped, corner, none, none
        for size in cases:
            with self.subTest(size):
                view = dict(away, size=size)
                self.assertEqual(self.show(view, "opengl"), native_opengl(view))

    def test_g_switches_and_the_address_follows(self):
        view = dict(START, size="240x240")
        self.open(hash_of(view).replace("&renderer=software", ""))
        self.assertEqual(self.js("return window.sphaerix.renderer"), "opengl")  # as the program starts
        # Shown on its own canvas, the OpenGL frame is read back only when its pixels are asked for.
        self.js("window.reads = 0; const read = WebGL2RenderingContext.prototype.readPixels;"
                "WebGL2RenderingContext.prototype.readPixels = function (...a) { ++window.reads; return read.apply(this, a); }")
        self.drag("left", 5, 3)
        self.wait.until(lambda d: self.drawn("az") == -130)
        self.assertEqual(self.js("return window.reads"), 0)
        self.page_pixels()
        self.assertEqual(self.js("return window.reads"), 1)
        self.js("return window.sphaerix.setView({az: -135, ax: -60})")
        for renderer, expected in [("software", native_pixels(view)), ("opengl", native_opengl(view))]:
            ActionChains(self.driver).send_keys("g").perform()
            self.wait.until(lambda d: self.js("return window.sphaerix.renderer") == renderer)
            self.js("return window.sphaerix.settled()")
            self.assertIn(f"renderer={renderer}", self.js("return location.hash").lstrip("#").split("&"))
            if renderer == "software":
                self.assertEqual(self.page_pixels(), expected)
            else:
                self.assertGreaterEqual(closeness(self.page_pixels(), expected, 240, 240)[0][4], 0.98)

    def test_difference_is_the_snapshots_formula(self):
        view = dict(START, size="160x120", zoom=3.0)
        software, opengl = self.show(view, "software"), self.show(view, "opengl")
        picture, line = difference(software, opengl, 160 * 120)
        self.assertEqual(self.show(view, "difference"), picture)
        self.assertTrue(self.js("return document.getElementById('renderer-line').textContent").startswith(line + ". "))

    def test_the_black_border_shows_on_the_silhouette(self):
        # A bright texture, and a view whose silhouettes reflect level: GL_CLAMP blends the
        # edge texels there with the black border, and the page must darken the same pixels.
        bright = work_path("bright.raw")
        with open(bright, "wb") as f:
            f.write(bytes([250, 200, 100]) * 65536)
        view = dict(START, ax=-30.0, zoom=6.0)
        native, page = native_opengl(view, bright), self.show(view, "opengl", bright)
        darkened = [i for i in range(0, len(native), 3) if 0 < native[i] < 245]
        self.assertGreater(len(darkened), 20)
        alike = sum(max(abs(page[i + c] - native[i + c]) for c in range(3)) <= 8 for i in darkened)
        self.assertGreaterEqual(alike, 0.8 * len(darkened))
        self.assertEqual(self.canvas_pixels("gl-frame"), page)  # the canvas shows the picture as it is


    def test_ladder_and_explain_against_the_page_and_the_program(self):
        w, h, pixel = 480, 480, "315,72"
        self.show(START, "opengl")
        at = 3 * ((h - 1 - 72) * w + 315)
        webgl = list(self.page_pixels()[at:at + 3])
        self.click("#ladder-run")
        self.wait.until(lambda d: self.text("ladder-result"))
        self.click_pixel(315, 72, h)
        native_explain = snapshot_json(START, "--explain", pixel)
        page_explain = self.js("return window.sphaerix.explain(315, 72)")
        self.assertEqual([s["color"] for s in page_explain["steps"]], [s["color"] for s in native_explain["steps"]])
        self.assertEqual(page_explain["opengl"], webgl)  # the sentences are of the page's own frame
        self.assertIn(page_explain["text"], self.text("explain"))
        # The page's own ladder: the software side is the snapshot's (the frames above and in
        # frame_test); the WebGL side plausible, as near OpenGL as the program's window is.
        steps = self.js("return window.sphaerix.ladder()")["steps"]
        self.assertEqual(self.text("ladder-table"), self.js("return window.sphaerix.ladder()")["text"])
        self.assertEqual(steps[0]["pixels"] + steps[0]["caption"], w * h)
        self.assertTrue(all(s["coverage_differs"] <= 20 for s in steps[1:]), steps)
        self.assertTrue(steps[0]["differ"] > 0.4 * w * h > 4 * steps[4]["differ"] > 400 * steps[7]["differ"], steps)
        # A step of the strip is one click from the frame, with its row of the table as the count.
        self.click('.ladder-step[data-step="4"]')
        self.wait.until(lambda d: self.drawn("rules") == "centres,snap,perspective,texgen")
        self.assertEqual((self.drawn("renderer"), self.text("rules-line").split(": ", 1)[1]),
                         ("difference", steps[4]["line"] + "."))
        # Given the program's own OpenGL frame, the module's ladder, slide and explanation are
        # the snapshot's, to the byte.
        table = snapshot_json(START, "--ladder", work_path("ladder"))
        rgb = native_opengl(START)
        self.assertEqual(snapshot(START, "--renderer", "opengl", "-o", work_path("o.ppm"), "--depth", work_path("o.depth"))[1], 0)
        with open(work_path("o.depth"), "rb") as f:
            covered = bytes(d < 1.0 for (d,) in struct.iter_unpack("<f", f.read()))
        self.assertEqual(self.js("""const m = window.sphaerix.module(), b = s => Uint8Array.from(atob(s), c => c.charCodeAt(0));
            return m.keepOpenGLFrame(b(arguments[0]), b(arguments[1]), 480, 480)""",
            base64.b64encode(rgb).decode(), base64.b64encode(covered).decode()), "")
        page = self.js("return JSON.parse(window.sphaerix.module().ladder('the OpenGL frame drawn in the window'))")
        self.assertEqual([{k: v for k, v in s.items() if k != "line"} for s in page["steps"]], table["steps"])
        self.assert_picture(self.bytes_of("window.sphaerix.ladderPng()"), work_path("ladder", "ladder.png"))
        page = self.js("return JSON.parse(window.sphaerix.module().explain(315, 72))")
        self.assertEqual({k: v for k, v in page.items() if k != "text"}, native_explain)
        # The explained row is left as the frame's rules drew it, for what reads the frame next.
        rgb = native_pixels(START, "color", "--rules", "centres,snap,perspective,texgen")
        self.assertEqual(self.js("""const b = Uint8Array.from(atob(arguments[0]), c => c.charCodeAt(0));
            return JSON.parse(window.sphaerix.module().compareImage(b, 480, 480)).count""",
            base64.b64encode(rgb).decode()), 0)


class WithoutWebGLTest(PageTest):
    browser_flags = ["--disable-webgl", "--disable-3d-apis"]

    def test_says_so_and_goes_on_in_software(self):
        view = dict(START, size="320x320", zoom=6.0)
        self.open(hash_of(view, pixel="70,214"))
        self.assertEqual(self.js("return document.getElementById('renderer-line').textContent"), NO_WEBGL)
        self.assertEqual(self.js("return window.sphaerix.renderer"), "software")
        self.assertEqual(self.page_pixels(), native_pixels(view))
        self.assertEqual(self.js("return window.sphaerix.history(70, 214)"),
                         snapshot_json(view, "--history", "70,214"))


if __name__ == "__main__":
    harness.main()
