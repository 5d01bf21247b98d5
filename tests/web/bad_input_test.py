#!/usr/bin/python3
"""Bad input: every refused value and file named beside its cause with nothing changed; the
limits of a side (16384) in the address, in PPM headers and in PNG files, as the native
tools take them; a frame too large for the module's memory."""
import hashlib
import subprocess

import harness
from harness import START, PageTest, hash_of, native_pixels, png, ppm, work_path, write


class BadInputTest(PageTest):
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
            ("unknown rule", "hash", "rules=texgen,shade", "message",
             'bad value "texgen,shade" for rules (--rules): unknown rule "shade"'),
            ("a rule twice", "hash", "rules=gl,snap", "message", 'rule "snap" repeats a rule already in "gl,snap"'),
            ("every bad key named", "hash", "view=shiny&scale=9&trace=99999", "message",
             ['"shiny" for view', '"9" for scale', '"99999" for trace: the frame has 2304 polygons']),
            ("short sphere.raw", "texture-file", ("sphere.raw", b"\1" * 1000), "texture-message", "1000"),
            ("empty sphere.raw", "texture-file", ("empty.raw", b""), "texture-message",
             '"empty.raw": texture file is too short: 0 bytes'),  # no path of the page's own
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
        self.open(hash_of(view))
        before, address, state = self.page_pixels(), self.address(), self.drawn()
        last_of_its_kind = {how: what for what, how, *_ in cases}
        for what, how, given, place, names in cases:
            with self.subTest(what):
                if how == "hash":
                    self.js("location.hash = arguments[0]", hash_of(view) + "&" + given)
                elif how == "compare-file":  # a result shown before: the refused file must clear it
                    self.choose_file(how, *good)
                    self.wait.until(lambda d: "good.ppm" in self.text("compare-line"))
                    self.choose_file(how, *given)
                elif how == "watch-number":
                    self.open_watch()
                    self.type_into("watch-number", given)
                else:
                    self.choose_file(how, *given)
                self.wait.until(lambda d: self.text(place))
                for name in [names] if isinstance(names, str) else names:
                    self.assertIn(name, self.text(place))
                if place != "message":
                    self.assertEqual(self.message(), "", "a panel's message went to the top")
                if how == "compare-file":
                    self.assertEqual(self.text("compare-line"), "")
                    self.assertTrue(self.js("return document.getElementById('mask').hidden"))
                self.settled()
                self.assertEqual((self.page_pixels(), self.drawn(), self.address()), (before, state, address))
                if last_of_its_kind[how] != what:
                    continue
                # After refusals from each source, the page still takes a drag, a click and g.
                self.drag("left", 7, 0)
                self.wait.until(lambda d: self.js("return window.sphaerix.drawn().az") == 17.0)
                self.click_pixel(20, 30, 240)
                self.keys("g")
                self.wait.until(lambda d: self.js("return window.sphaerix.drawn().renderer") == "opengl")
                self.set_view(view, pixel="", renderer="software")
                self.assertEqual(self.page_pixels(), before)

    def test_a_frame_too_large_is_refused_and_the_rest_is_kept(self):
        # A link opened on it: the rest of its view at the start-up size, and the address says so.
        self.open("#size=16384x16384&view=depth&az=-100&renderer=software&pixel=70,214")
        self.assertIn("needs more memory", self.message())
        self.assertEqual(self.page_pixels(), native_pixels(dict(START, az=-100.0), "depth"))
        self.assertTrue(self.address().startswith("#size=480x480&az=-100&ax=-60&pan=0,0&zoom=0.25&view=depth"))
        self.assertEqual(self.drawn("pixel"), [70, 214])  # it fits the start-up size
        # On a page in use: the view it had stays, not the start-up view.
        self.drag("left", 11, -4)
        self.wait.until(lambda d: self.js("return window.sphaerix.drawn().az") == -89.0)
        kept, address = self.page_pixels(), self.address()
        problems = self.js("return window.sphaerix.setView({size: '16384x16384', view: 'color'})")
        self.assertIn("needs more memory", problems[0])
        self.assertEqual([self.drawn("az"), self.drawn("view")], [-89.0, "depth"])
        self.assertEqual((self.page_pixels(), self.address()), (kept, address))

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

    def native_read(self, path, w, h):
        """What sphaerix-snapshot --against makes of a file: (stdout, stderr)."""
        run = subprocess.run([harness.SNAPSHOT, "--size", f"{w}x{h}", "--pan", "100000,0", "--against", path],
                             capture_output=True, text=True, cwd=harness.WORK)
        return run.stdout, run.stderr

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
                path = write(work_path(f"header{n}.ppm"), data)
                page = self.js("const r = window.sphaerix.module().decodePicture('h.ppm', new Uint8Array(arguments[0]));"
                               "return r.error || [r.width, r.height, r.max, Array.from(r.samples)];", list(data))
                out, err = self.native_read(path, *(page[:2] if isinstance(page, list) else (2, 1)))
                if isinstance(page, str):
                    self.assertEqual(err, f'sphaerix-snapshot: "{path}" {page}\n')
                    continue
                rgb = bytes(round(s * 255 / page[2]) for s in page[3])
                self.assertIn("theirs " + hashlib.md5(rgb).hexdigest(), out)

    def test_png_sides_at_the_limit(self):
        self.open()
        for w, h in [(16384, 1), (1, 16384), (16385, 1), (1, 16385)]:
            with self.subTest(f"{w}x{h}"):
                data = png(w, h, [[(x * 7 + y) % 256 for x in range(w) for _ in range(3)] for y in range(h)])
                path = write(work_path("side.png"), data)
                page = self.js("return import('./png.js').then(m => m.decodePng(new Uint8Array(arguments[0])))"
                               ".then(r => r.error || Array.from(r.samples))", list(data))
                out, err = self.native_read(path, min(w, 16384), min(h, 16384))
                taken = w <= 16384 and h <= 16384
                self.assertEqual((isinstance(page, list), "not a valid PNG" not in err), (taken, taken), (page, err))
                if taken:
                    self.assertIn("theirs " + hashlib.md5(bytes(page)).hexdigest(), out)


if __name__ == "__main__":
    harness.main()
