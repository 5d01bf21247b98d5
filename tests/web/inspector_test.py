#!/usr/bin/python3
"""The inspector: a pixel's history, its reason, the magnifier, a polygon's trace, the
watched fill and the native commands that show the same, each against the snapshot."""
import json
import subprocess

import harness
from harness import START, By, Keys, PageTest, hash_of, native_pixels, snapshot, snapshot_json, work_path


def covered(view, polygons):
    """The window pixels the spans of these polygons cover, from the snapshot's traces."""
    pixels = set()
    for n in polygons:
        for row in snapshot_json(view, "--trace-polygon", str(n))["rows"]:
            for span in row["spans"]:
                pixels.update((x, row["y"]) for x in range(*span["columns"]))
    return pixels


class InspectorTest(PageTest):
    def test_history_and_table_match_the_snapshot(self):
        close = dict(size="320x320", az=-135.0, ax=-60.0, pan=(0.0, 0.0), zoom=6.0)
        start = dict(START, size="240x240")
        cases = [  # (what, view, pixel)
            ("rim speckle", close, (70, 214)),
            ("the same pixel, turned", dict(close, az=-100.0), (70, 214)),  # a new view of the same size
            ("beside it", close, (71, 214)),
            ("frame corner", close, (0, 0)),
            ("top right corner", close, (319, 319)),
            ("ring seam", start, (120, 60)),
            ("nothing reached", start, (3, 236)),
            ("rim speckle under gl", close, (70, 214), "gl"),
            ("the filter alone", close, (70, 214), "filter"),
            ("centres and perspective at the seam", start, (120, 60), "centres,perspective"),
            ("texgen without the filter", start, (120, 60), "texgen"),
        ]
        self.open()
        for what, view, (x, y), *rules in cases:
            with self.subTest(what):
                view = dict(view, rules=rules[0] if rules else "none")
                self.set_view(view)
                self.click_pixel(x, y, int(view["size"].split("x")[1]))
                text, _ = snapshot(view, "--history", f"{x},{y}")
                self.assertEqual(self.js("return window.sphaerix.history(arguments[0], arguments[1])", x, y),
                                 snapshot_json(view, "--history", f"{x},{y}"))
                native = [" ".join(line.split()) for line in text.splitlines()]
                why = native.index("why:")
                self.assertEqual(self.history_panel(), [line for line in native[:why] if not line.startswith("# mesh")])
                self.assertEqual(self.js("return [...document.querySelectorAll('#reason p')].map(p => p.textContent)"),
                                 native[why + 1:])

    def test_watch_the_fill_steps_through_the_drawing_order(self):
        view = dict(START, size="160x160")
        self.open(hash_of(view))
        line = lambda: self.js("return window.sphaerix.settled().then(() => "
                               "document.getElementById('watch-line').textContent)")
        self.open_watch()
        for _ in range(2):
            self.click("#watch-next")
        self.assertTrue(line().startswith("Polygon 1 (ring 0, side 1) just drawn"), line())
        # Polygons 0 and 1 drawn, nothing else: polygon 1 and its marks as the snapshot's
        # --trace-polygon 1 draws them, polygon 0 where its spans reach, white elsewhere.
        page, traced, whole = self.page_pixels(), native_pixels(view, "color", "--trace-polygon", "1"), native_pixels(view)
        first, second = covered(view, [0]), covered(view, [1])
        at = lambda b, i: b[3 * i:3 * i + 3]
        for i in range(160 * 160):
            p = (i % 160, 159 - i // 160)
            if p in second or at(traced, i) != at(whole, i):
                self.assertEqual(at(page, i), at(traced, i), p)
            else:
                self.assertEqual(at(page, i) != b"\xff\xff\xff", p in first, p)
        self.driver.find_element(By.ID, "watch-slider").send_keys(Keys.END)
        self.assertTrue(line().startswith("Polygon 2303 (ring 47, side 47) just drawn"), line())
        # The last polygon watched: the whole frame, that polygon coloured as the snapshot does.
        self.assertEqual(self.page_pixels(), native_pixels(view, "color", "--trace-polygon", "2303"))
        trace = snapshot_json(view, "--trace-polygon", "2303")
        self.assertIn(f"{trace['passed']} pixels passed the depth test (green), {trace['failed']} failed", line())
        # A one-pixel frame: the polygon that reached it first passed there alone.
        self.set_view(dict(START, size="1x1", pan=(0.0, -60.0), zoom=4.0))
        first = self.js("return window.sphaerix.history(0, 0)")["fragments"][0]["polygon"]
        self.set_view(dict(START, size="1x1", pan=(0.0, -60.0), zoom=4.0), watch=first)
        self.assertIn(": 1 pixel passed the depth test", line())

    def test_watch_the_fill_from_the_number_the_history_and_the_trace(self):
        view = dict(START, size="240x240")
        self.open(hash_of(view, pixel="150,40", trace=205))
        trace_text = lambda: self.js("return window.sphaerix.settled().then(() => "
                                     "document.querySelector('#trace pre').textContent)")
        whole = trace_text()
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
                    self.type_into("watch-number", how.split(":")[1])
                elif how == "slider":
                    self.driver.find_element(By.ID, "watch-slider").send_keys(Keys.END)
                else:
                    self.click(how)
                self.wait.until(lambda d: self.drawn("watch") == n)
                self.assertTrue(self.js("return document.getElementById('watch').open"))
                self.assertIn(f"&watch={n}", self.address())
                # The trace of polygon 205 stays as it was, drawn or not yet.
                self.assertEqual(trace_text(), whole)
                self.assertEqual("not drawn yet" in self.text("trace"), n < 205)
                # The history stops at the watched polygon and says so.
                self.assertIn(f"stops after polygon {n}", self.text("pixel-note"))

    def test_the_inspector_belongs_to_the_software_frame(self):
        view = dict(START, size="240x240")
        self.open(hash_of(view, renderer="opengl", pixel="150,40"))
        self.assertIn("software frame's", self.text("pixel-note"))
        # The magnifier's centre is the history's final colour, not the OpenGL pixel.
        history = self.js("return window.sphaerix.history(150, 40)")
        centre = self.js("return [...document.getElementById('magnifier').getContext('2d')"
                         ".getImageData(120, 120, 1, 1).data].slice(0, 3)")
        self.assertEqual(centre, [min(255, max(0, round(c * 255))) for c in history["final"]["color"][:3]])
        # The button names the fragment that won: the last of the two that passed.
        self.assertEqual([f["polygon"] for f in history["fragments"] if f["passed"]], [165, 205])
        self.assertEqual(self.driver.find_element(By.ID, "trace-winner").text, "Trace polygon 205, which won the pixel")
        # Watching the fill with OpenGL chosen shows the software frame up to that polygon and says so;
        # the history is that frame's, the whole frame's fragments up to the polygon watched.
        self.set_view(view, watch=180)
        self.assertEqual(self.js("return window.sphaerix.renderer"), "software")
        self.assertIn("watched fill", self.text("renderer-line"))
        self.assertEqual(self.js("return window.sphaerix.history(150, 40)")["fragments"],
                         [f for f in history["fragments"] if f["polygon"] <= 180])
        watched = self.page_pixels()
        self.assertEqual(self.js("return window.sphaerix.setRenderer('software')"), [])
        self.assertEqual(watched, self.page_pixels())

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
             [f"{base} --renderer opengl -o frame.png", f"{base} --history 150,40", f"{base} --trace-polygon 205",
              f"{base} --explain 150,40"]),
            (dict(renderer="software", watch=300, scale=2, pixel="150,40"),
             [f"{base} --trace-polygon 300 --scale 2 -o watch.png", f"{base} --history 150,40"]),
            (dict(renderer="opengl", rules="gl"), [f"{base} --renderer opengl -o frame.png"]),  # OpenGL's own rules
            (dict(renderer="difference", rules="texgen,filter", pixel="150,40"),
             [f"{base} --rules texgen,filter --compare DIR", f"{base} --rules texgen,filter --history 150,40",
              f"{base} --explain 150,40"]),
        ]
        self.open(hash_of(view))
        for fields, commands in cases:
            with self.subTest(json.dumps(fields)):
                self.set_view(view, **dict(dict(pixel="", trace="", watch="", view="color", grid=False, scale=1,
                                                rules="none"), **fields))
                self.assertEqual(self.js("return [...document.querySelectorAll('#commands code')].map(c => c.textContent)"),
                                 commands)
                for command in commands:  # the software ones run as shown
                    if not any(o in command for o in ["--renderer", "--compare", "--explain"]):
                        args = command.replace("frame.png", "c.png").replace("watch.png", "c.png").split()[1:]
                        run = subprocess.run([harness.SNAPSHOT, *args, "--texture", work_path("sphere.raw")],
                                             capture_output=True, cwd=harness.WORK)
                        self.assertEqual(run.returncode, 0, run.stderr)


if __name__ == "__main__":
    harness.main()
