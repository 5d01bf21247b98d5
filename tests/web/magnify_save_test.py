#!/usr/bin/python3
"""Magnification, the grid and the pictures the page saves (Save PNG, Copy, the mask, the
one file from disk), each against what sphaerix-snapshot writes with --scale and --grid."""
import os
import shutil
import tempfile

import harness
from harness import START, PageTest, enlarged, hash_of, native_pixels, native_png, read_png, snapshot_json


class MagnifySaveTest(PageTest):
    def test_magnification_and_grid_as_the_snapshot_draws_them(self):
        view = dict(START, size="64x48", zoom=4.0)
        composite = """
            const f = document.getElementById('frame'), o = document.getElementById('overlay');
            const margin = -parseFloat(o.style.left);  // the overlay reaches past the frame
            const c = document.createElement('canvas'); c.width = o.width - 2 * margin; c.height = o.height - 2 * margin;
            const g = c.getContext('2d'); g.imageSmoothingEnabled = false;
            g.drawImage(f, 0, 0, c.width, c.height); g.drawImage(o, -margin, -margin);
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
                self.assertEqual(self.bytes_of(f"(() => {{ {composite} }})()"), native_pixels(view, name, *extra))
                self.assertIn(f"&scale={scale}" + ("&grid=on" if grid else ""), self.address())
                for x, y in [(0, 0), (63, 47), (31, 20)]:  # the corners and one inside
                    self.click_pixel(x, y, 48)
                # The marker rings the selected pixel at this magnification: black just above it.
                above = self.js("return [...document.getElementById('overlay').getContext('2d')"
                                ".getImageData(arguments[0], arguments[1], 1, 1).data]", 31 * scale + scale // 2 + 4,
                                (47 - 20) * scale - 3 + 4)
                self.assertEqual(above, [0, 0, 0, 255])
                # The ring of 63,47 went with its selection, past the frame's corner too.
                self.assertEqual(self.js("const o = document.getElementById('overlay');"
                                         "return o.getContext('2d').getImageData(o.width - 1, 0, 1, 1).data[3]"), 0)

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
                self.assert_picture(self.saved_png(scale=scale, grid=grid), native_png(
                    view, "--view", name, "--scale", str(scale), *(["--grid"] if grid else [])))

    def test_save_button_downloads_the_picture_shown(self):
        view = dict(size="96x64", az=-100.0, ax=-50.0, pan=(0.0, 3.0), zoom=2.0)
        cases = [  # (address fields, watch the fill up to polygon 0, file name)
            (dict(view="color", scale=3, grid="on"), False, "sphaerix-96x64-color-x3-grid.png"),
            (dict(view="color", scale=2, grid="on"), False, "sphaerix-96x64-color-x2.png"),  # no grid below 3x
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
                    self.open_watch()
                    self.click("#watch-next")
                    self.settled()
                shutil.rmtree(self.downloads, ignore_errors=True)
                self.click("#save-png")
                path = os.path.join(self.downloads, name)
                self.wait.until(lambda d: os.path.exists(path))
                self.assertEqual(self.text("controls-line"), f"Saved {name}")
                with open(path, "rb") as f:
                    saved = f.read()
                self.assertEqual(saved, self.saved_png())
                if "-x1" not in name:  # the magnification and grid on screen, as --scale N [--grid]
                    self.assert_picture(saved, native_png(view, "--scale", str(fields["scale"]), "--grid"))
                    continue
                shown = (*self.js("return window.sphaerix.size()"), self.page_pixels())
                self.assertEqual(self.js("return window.sphaerix.renderer"), fields.get("renderer", "software"))
                self.assert_picture(saved, shown)
                if name.endswith(("color-x1.png", "depth-x1.png")):
                    self.assert_picture(saved, native_png(view, "--view", fields["view"]))
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
        for what, permission, script, expected in cases:
            with self.subTest(what):
                self.open("#size=40x30&view=depth&renderer=software&scale=1")
                for name, setting in [("clipboard-write", permission), ("clipboard-read", "granted")]:
                    self.driver.execute_cdp_cmd("Browser.setPermission", {
                        "origin": origin, "permission": {"name": name}, "setting": setting})
                self.js(script)
                self.click("#copy-png")
                self.wait.until(lambda d: self.text("controls-line"))
                self.assertEqual(self.text("controls-line"), expected)
                if what == "allowed":  # the browser's own PNG of the same pixels
                    self.assert_picture(self.bytes_of(
                        "navigator.clipboard.read().then(i => i[0].getType('image/png')).then(b => b.arrayBuffer())"
                        ".then(a => new Uint8Array(a))"), read_png(self.saved_png()))
        self.driver.execute_cdp_cmd("Browser.resetPermissions", {})

    def test_the_one_file_opens_from_disk(self):
        # Alone in a folder of its own, so that nothing beside it can be what it loads.
        alone = tempfile.mkdtemp(prefix="sphaerix-one-file-")
        shutil.copy(os.path.join(os.path.dirname(harness.SITE), "sphaerix.html"), alone)
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
                         snapshot_json(view, "--history", "100,80"))
        self.assert_picture(self.saved_png(scale=3, grid=True),
                            native_png(view, "--view", "depth", "--scale", "3", "--grid"))
        shutil.rmtree(alone)


if __name__ == "__main__":
    harness.main()
