#!/usr/bin/python3
"""The address: a link opens on what was shown, in a fresh browser as in the same tab; the
texture's name travels with it; the start-up view undoes everything."""
import base64
import urllib.parse

import harness
from harness import START, PageTest, hash_of, native_pixels, snapshot, snapshot_json, work_path, write


class LinksTest(PageTest):
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
        self.assertIn("&az=0.1&ax=-59.9&pan=0.5,-0.25&zoom=2.3&", self.address())

    def test_a_link_opens_on_its_view_and_pixel(self):
        view = dict(size="320x320", az=-135.0, ax=-60.0, pan=(0.0, 0.0), zoom=6.0)
        self.open(hash_of(view, view="polygons", pixel="70,214"))
        self.assertEqual(self.page_pixels(), native_pixels(view, "polygons"))
        self.assertTrue(self.history_panel()[0].startswith("pixel 70,214 of 320x320"))
        self.click("#trace-winner")
        self.wait.until(lambda d: self.js("return document.querySelector('#trace pre')"))
        text, _ = snapshot(view, "--trace-polygon", "713")
        self.assertEqual(self.js("return document.querySelector('#trace pre').textContent"), text)
        self.assertEqual(self.js("return window.sphaerix.trace(713)"), snapshot_json(view, "--trace-polygon", "713"))
        self.assertEqual(self.address(),
                         "#size=320x320&az=-135&ax=-60&pan=0,0&zoom=6&view=polygons&renderer=software&pixel=70,214"
                         "&scale=fit&trace=713")

    def test_links_reproduce_what_is_shown(self):
        close = dict(START, size="320x320", zoom=6.0)
        cases = [  # (what, the view and the fields set on the page)
            ("a debug view and size", close, dict(view="normals")),
            ("the OpenGL rendering", START, dict(renderer="opengl", pixel="200,200")),
            ("the difference", dict(START, size="240x240"), dict(renderer="difference")),
            ("magnified with the grid", dict(START, size="64x48", zoom=4.0), dict(scale=3, grid=True, pixel="5,6")),
            ("a pixel and a trace", close, dict(pixel="70,214", trace=713)),
            ("the watched fill", close, dict(view="polygons", watch=1214, pixel="70,214")),
            ("the watched fill at its first polygon", close, dict(watch=0)),
            ("the watched fill and a trace not drawn yet", close, dict(watch=700, trace=713)),
            ("rules, the difference and a pixel explained", START,
             dict(rules="texgen,filter", renderer="difference", pixel="315,72")),
        ]
        inspector = """return window.sphaerix.settled().then(() => ['history', 'reason', 'trace', 'watch-line',
            'pixel-note', 'commands', 'renderer-line', 'rules-line', 'explain'].map(id => document.getElementById(id)
            .innerText).concat([...document.querySelectorAll('#rule-switches input')].map(i => i.checked)))"""
        shown = lambda: (self.page_pixels(), self.js(inspector), self.js("return window.sphaerix.magnification()"))
        made = []
        self.open()
        for what, view, fields in cases:
            self.follow(hash_of(view))
            self.set_view(view, **fields)
            made.append((what, self.address(), shown()))
        self.restart_browser()  # the page keeps nothing outside its address: one fresh browser for all
        for what, link, before in made:
            with self.subTest(what):
                self.open(link)
                self.assertEqual(self.address(), link)
                self.assertEqual(shown(), before)
        # One after another in the same tab: every key a link leaves out takes its start-up value.
        for what, link, before in made[-2::-1]:
            with self.subTest(f"{what}, in the same tab"):
                self.follow(link)
                self.assertEqual((self.address(), shown()), (link, before))

    def test_start_up_view_resets_everything(self):
        self.open(hash_of(dict(START, size="240x240", az=3.0), pixel="100,100", trace=205, watch=300, scale=3,
                          grid="on", view="depth"))
        self.choose_texture("mine.raw", bytes(196608))
        self.click("#reset")
        self.settled()
        self.assertEqual(self.address(), "#size=480x480&az=-135&ax=-60&pan=0,0&zoom=0.25&view=color&renderer=opengl&scale=fit")
        self.assertIn("start-up view", self.text("controls-line"))
        self.assertEqual(self.text("texture-line"), "generated sphere map")
        self.assertEqual(self.js("return window.sphaerix.setRenderer('software')"), [])
        self.assertEqual(self.page_pixels(), native_pixels(START))

    def test_a_dropped_texture_is_named_and_its_name_travels_with_the_link(self):
        view = dict(START, size="160x120")
        data = bytes((i * 7) % 251 for i in range(196608))
        path = write(work_path("mine.raw"), data)
        for name in ["mine.raw", "a&b #c=d%e+f.raw"]:  # the address's own characters in a name
            with self.subTest(name):
                self.open(hash_of(view))
                self.js("""const [name, b64] = arguments; const bytes = Uint8Array.from(atob(b64), c => c.charCodeAt(0));
                           const t = new DataTransfer(); t.items.add(new File([bytes], name));
                           document.getElementById('frame').dispatchEvent(new DragEvent('drop', {dataTransfer: t, bubbles: true}));""",
                        name, base64.b64encode(data).decode())
                self.wait.until(lambda d: "dropped" in self.text("texture-line"))
                self.settled()
                self.assertTrue(self.js("return document.getElementById('texture').open"))
                self.assertIn(f'"{name}"', self.text("texture-note"))
                if name == "mine.raw":
                    self.assertIn("--texture mine.raw", self.text("commands"))
                self.assertEqual(self.page_pixels(), native_pixels(view, texture=path))
                link = self.address()
                self.assertTrue(link.endswith("&texture=" + urllib.parse.quote(name, safe="")), link)
                # A link without the texture, in the same tab: the generated sphere map's frame.
                self.follow(hash_of(view))
                self.assertEqual((self.page_pixels(), self.text("texture-line")), (native_pixels(view), "generated sphere map"))
                self.open(link)
                self.assertIn(f'texture file "{name}"', self.message())


if __name__ == "__main__":
    harness.main()
