#!/usr/bin/python3
"""The panels that take the user's files: Texture (every PNG form and sphere.raw against
sphaerix-spheremap import), Compare (the line and the mask of sphaerix-snapshot --against)
and Conformance (the lines of sphaerix-conformance on a tester's folder)."""
import json
import os
import re
import shutil
import subprocess

import harness
from harness import (START, By, PageTest, WebDriverWait, hash_of, native_pixels, png, ppm, ppm_pixels, read_png,
                     rgb_rows, snapshot, snapshot_json, work_path, write)


class PanelsTest(PageTest):
    def test_textures_match_the_native_import(self):
        side = 16
        rgb = [(x * 16 + y) % 256 for y in range(side) for x in range(side) for _ in range(3)]
        grey2 = [[(x + y) % 4 for x in range(side)] for y in range(side)]
        cases = [  # (file name, bytes); a name the shell must be given in quotes
            ("my texture 300x200's.png", png(side, side, rgb_rows(rgb, side, side))),
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
        self.open(hash_of(view, scale=1))
        tools = os.pathsep.join([os.path.dirname(harness.SNAPSHOT), os.path.dirname(harness.SPHEREMAP), os.environ["PATH"]])
        for name, data in cases:
            with self.subTest(name):
                path = self.choose_texture(name, data)
                self.assertEqual(self.message(), "")
                # Same natively, pasted into a shell beside the file: the import step for a
                # picture, then the frame, as the page shows it.
                for command in self.js("return [...document.querySelectorAll('#commands code')].map(c => c.textContent)"):
                    subprocess.run(command, shell=True, check=True, capture_output=True, cwd=os.path.dirname(path),
                                   env=dict(os.environ, PATH=tools))
                with open(os.path.join(os.path.dirname(path), "frame.png"), "rb") as f:
                    self.assertEqual(read_png(f.read())[2], self.page_pixels())

    def test_compare_counts_masks_and_saves_as_the_snapshot_does(self):
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
        self.assertEqual(self.js("return window.sphaerix.savedPng({subject: 'mask'}).then(() => '', e => e.message)"),
                         "nothing has been compared")
        for name, data in cases:
            with self.subTest(name):
                path = self.choose_file("compare-file", name, data)
                line, status = snapshot(view, "--against", path, "--mask", work_path("mask.ppm"))
                self.wait.until(lambda d: name in self.text("compare-line"))
                self.assertIn(line.strip().replace(path, name), self.text("compare-line"))
                first = re.search(r"first at (\d+),(\d+)", line)
                self.assertEqual(status, 3 if first else 0)
                # The snapshot's mask, with three pixels of ground round it where the ring of a
                # pixel on the edge goes on whole (pixel 5 is in the top row).
                shown_mask, g = self.canvas_pixels("mask"), 3
                rows = [shown_mask[3 * (w + 2 * g) * y:3 * (w + 2 * g) * (y + 1)] for y in range(h + 2 * g)]
                self.assertEqual(b"".join(r[3 * g:3 * (g + w)] for r in rows[g:g + h]), ppm_pixels(work_path("mask.ppm")))
                self.assertEqual(b"\xff\xdc\x00" in rows[0], bool(first))
                self.assertEqual(bool(self.driver.find_elements(By.ID, "compare-first")), bool(first))
                # The mask at a whole multiple of its size, never a fraction.
                shown, side = self.js("const m = document.getElementById('mask');"
                                      "return [m.getBoundingClientRect().width - 2, m.width]")
                self.assertEqual(shown % side, 0)
                if name == "mine.ppm":  # Save PNG's mask, as --mask writes it with --scale and --grid
                    for scale, grid in [(1, False), (4, True)]:
                        self.assertEqual(snapshot(view, "--against", path, "--mask", work_path("mask.png"), "--scale",
                                                  str(scale), *["--grid"] * grid)[1], 3)
                        self.assert_picture(self.saved_png(subject="mask", scale=scale, grid=grid), work_path("mask.png"))
                if first:  # the first difference is a click away from its history, in view
                    self.js("document.getElementById('inspector').scrollTop = 1e6")
                    self.click("#compare-first")
                    self.wait.until(lambda d: self.drawn("pixel") == [int(first[1]), int(first[2])])
                    self.wait.until(lambda d: self.in_view("history"))

    def test_conformance_panel_gives_the_native_lines(self):
        """The tester's folder with a fault of each kind: the page's line for every case equals
        that of the panel's sphaerix-conformance command, on the texture the tool would use
        whatever the page shows, on another as its --texture and under the Rules panel's rules
        as its --rules; a failing case is one click from its view, under those rules, its mask
        and the history of its first difference."""
        folder = work_path("conformance")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        texture = work_path("sphere.raw")
        subprocess.run([harness.CONFORMANCE, "--texture", texture, "--write-reference", folder], check=True,
                       capture_output=True)
        path = lambda name: os.path.join(folder, name)

        def rewrite(name, change):
            with open(path(name), "rb") as f:
                data = bytearray(f.read())
            change(data)
            write(path(name), data)

        # One fault of each kind, a case each; the other cases stay equal. In wide-close
        # (700x301) one pixel differs, at a column past the frame's height.
        wide = dict(size="700x301", az=-200.0, ax=45.0, pan=(-130.0, 80.0), zoom=2.0)
        snapshot(wide, "-o", path("wide-close.ppm"))
        os.remove(path("wide-close.png"))
        rewrite("wide-close.ppm", lambda d: d.__setitem__(len(d) - 3 * 1000, d[len(d) - 3 * 1000] ^ 1))
        rewrite("start.depth", lambda d: d.__setitem__(4 * 57000 + 1, d[4 * 57000 + 1] ^ 0x10))
        os.remove(path("tiny.depth"))
        os.remove(path("seam-front.png"))
        write(path("wide.ppm"), ppm(7, 5, [9] * 105))
        os.remove(path("wide.png"))
        write(path("tall.png"), b"not a picture")
        rewrite("close-7.depth", lambda d: d.__delitem__(slice(len(d) - 4, None)))
        write(path("nomatch.png"), ppm(2, 2, [0] * 12))
        for own in ("start.out", "start.err"):  # the tool's record of a command's output, not the tester's
            write(path(own), b"")
        theirs_bytes = bytes((i * 5) % 249 for i in range(196608))
        write(work_path("theirs.raw"), theirs_bytes)

        def judged(ending):
            """The page's lines and count, once shown, against those of the panel's command run
            in the folder of sphere.raw and theirs.raw; the page's rows."""
            WebDriverWait(self.driver, 120).until(lambda d: self.text("conformance-summary"))
            rows = self.js("return [...document.querySelectorAll('#conformance-cases tr')]"
                           ".map(r => [r.dataset.case, r.querySelector('code').textContent])")
            command = self.js("return document.querySelector('#conformance-texture-line code').textContent")
            run = subprocess.run(command.replace(" DIR", " " + folder), shell=True, capture_output=True, text=True,
                                 cwd=harness.WORK, env=dict(os.environ, PATH=os.path.dirname(harness.CONFORMANCE)))
            self.assertEqual(run.returncode, 1, command + run.stdout + run.stderr)
            lines = [line.replace(folder + "/", "") for line in run.stdout.splitlines()]
            self.assertEqual(dict(rows), {line.split()[1]: line for line in lines
                                          if re.match(r"(equal|DIFFERS|MISSING|ERROR) ", line)})
            shown, summary = self.text("conformance-summary"), next(line for line in lines if " passed, " in line)
            self.assertTrue(shown.startswith(summary) and shown.endswith(ending), shown)
            return rows

        self.maxDiff = None
        self.open()
        self.choose_texture("theirs.raw", theirs_bytes)  # what the page shows is no matter
        panel = self.driver.find_element(By.ID, "conformance")
        self.js("arguments[0].open = true; arguments[0].scrollIntoView()", panel)
        listed = lambda: self.js("return document.querySelector('#conformance-cases code').textContent")
        for on in (True, False):  # before any file, each case's options under the rules it will be judged by
            self.click("#rule-centres")
            self.wait.until(lambda d: listed().endswith(" --zoom 0.25 --rules centres") == on)
        self.driver.find_element(By.ID, "conformance-files").send_keys("\n".join(path(n) for n in sorted(os.listdir(folder))))
        rows = judged("on the generated sphere map)")
        self.assertEqual(self.text("conformance-message"), "not used (no case of that name): nomatch.png")
        outcomes = [line.split()[0] for _, line in rows]
        self.assertEqual(outcomes, sorted(outcomes, key=lambda o: o == "equal"), "failures first")

        first = re.search(r"first at (\d+),(\d+)", dict(rows)["wide-close"])
        x, y = int(first[1]), int(first[2])
        self.assertGreaterEqual(x, 301)  # where x and y taken one for the other would differ
        self.driver.find_element(By.XPATH, "//button[text()='Show wide-close']").click()
        self.wait.until(lambda d: self.js("return window.sphaerix.drawn().pixel") == [x, y])
        drawn = self.drawn()
        self.assertEqual([drawn["width"], drawn["height"], drawn["az"], drawn["ax"], drawn["panX"], drawn["panY"],
                          drawn["zoom"]], [700, 301, -200, 45, -130, 80, 2])
        self.assertTrue(self.in_view("history"))
        self.assertFalse(self.driver.find_element(By.ID, "conformance-mask").get_attribute("hidden"))
        self.assertEqual(self.js("return window.sphaerix.history(arguments[0], arguments[1])", x, y),
                         snapshot_json(wide, "--history", f"{x},{y}"))
        listed = subprocess.run([harness.CONFORMANCE, "--list", "--json"], capture_output=True, text=True).stdout
        command = next(c["snapshot"] for c in json.loads(listed) if c["name"] == "wide-close")
        self.assertTrue(self.text("conformance-mask-line").endswith(f"natively: {command} --history {x},{y}"),
                        self.text("conformance-mask-line"))
        self.assertTrue(self.ring_in_view())

        # Another texture for every case, as --texture gives: the files are judged again on it.
        self.js("document.getElementById('conformance-summary').textContent = ''")
        self.choose_file("conformance-texture", "theirs.raw", theirs_bytes)
        judged('on "theirs.raw")')

        # Rules switched on in the Rules panel: the files are judged again under them.
        self.js("document.getElementById('conformance-summary').textContent = '';"
                "for (const r of ['centres', 'snap']) document.getElementById(`rule-${r}`).click()")
        rows = judged('on "theirs.raw")')
        self.assertIn("; under the rules centres,snap (", self.text("conformance-summary"))
        name, line = next((n, line) for n, line in rows if "first at" in line and n != "wide-close")
        first = [int(v) for v in re.search(r"first at (\d+),(\d+)", line).groups()]
        self.driver.find_element(By.XPATH, f"//button[text()='Show {name}']").click()
        self.wait.until(lambda d: self.drawn("pixel") == first)
        self.assertEqual(self.drawn("rules"), "centres,snap")


if __name__ == "__main__":
    harness.main()
