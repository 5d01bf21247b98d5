#!/usr/bin/python3
"""The frame and the input that changes it: drags, the wheel, keys, the two modules, every
view, the canvas after another view, and where the frame stands in the window."""
import harness
from harness import (START, VIEWS, ActionChains, By, Keys, PageTest, f32, hash_of, native_pixels, snapshot,
                     work_path)
from selenium.webdriver.common.actions.wheel_input import ScrollOrigin


class FrameTest(PageTest):
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
                for step in steps:
                    if step[0] == "wheel":
                        ActionChains(self.driver).scroll_from_origin(ScrollOrigin.from_element(self.canvas()), 0,
                                                                     step[1]).perform()
                        pending += step[1]
                        while abs(pending) >= 100:  # a notch is two of the program's wheel events
                            sign = 1 if pending < 0 else -1
                            zoom = f32(f32(zoom + sign) + sign)
                            pending += sign * 100
                        continue
                    button, dx, dy = step
                    self.drag(button, dx, dy)
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
                self.assertIsNone(self.drawn("pixel"), "a drag selected a pixel")

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

    def test_every_view_matches_the_snapshot_and_the_colour_view_after_it_is_whole(self):
        """Each view as the snapshot draws it, with its line; and the colour view drawn next at
        the same size, whose canvas is repainted only where the buffers changed, must be the
        new frame in every pixel, after a view, a watched fill or a new texture alike."""
        view = dict(size="300x200", az=33.5, ax=-170.0, pan=(-40.0, 25.0), zoom=3.0)
        color = native_pixels(view)
        self.open(hash_of(view))
        for name in VIEWS[1:]:
            with self.subTest(name):
                self.set_view(view, view=name)
                self.assertEqual(self.page_pixels(), native_pixels(view, name))
                line, _ = snapshot(view, "--view", name, "-o", work_path("v.ppm"))
                self.assertEqual(self.text("view-line"), line.strip())
                self.set_view(view, view="color")
                self.assertEqual((self.canvas_pixels(), self.page_pixels(), self.text("view-line")), (color, color, ""))
        with self.subTest("after a watched fill"):
            self.set_view(view, watch=50)
            self.set_view(view, watch="")
            self.assertEqual(self.canvas_pixels(), color)
        with self.subTest("after the texels view, whose picture has the frame's size here"):
            square = dict(view, size="512x512")
            self.set_view(square, view="texels")
            self.set_view(square, view="color")
            self.assertEqual(self.canvas_pixels(), native_pixels(square))
            self.set_view(view)
        with self.subTest("after a new texture"):
            texture = bytes((i * 7) % 251 for i in range(196608))
            path = self.choose_texture("mine.raw", texture)
            self.assertEqual(self.canvas_pixels(), native_pixels(view, texture=path))

    def test_each_switch_draws_the_snapshots_frame_under_its_rules(self):
        # Clicked in turn: the ladder's steps, then gl off and on, then one rule off gl.
        clicks = [("centres", "centres"), ("snap", "centres,snap"), ("perspective", "centres,snap,perspective"),
                  ("texgen", "centres,snap,perspective,texgen"), ("filter", "centres,snap,perspective,texgen,filter"),
                  ("float-vertex", "centres,snap,perspective,texgen,filter,float-vertex"), ("clip", "gl"),
                  ("gl", "none"), ("gl", "gl"), ("centres", "snap,perspective,texgen,filter,float-vertex,clip")]
        for view in [START, dict(size="300x500", az=60.0, ax=-110.0, pan=(0.0, 0.0), zoom=5.0)]:
            self.open(hash_of(view))
            for switch, rules in clicks:
                with self.subTest(view=view["size"], click=switch):
                    self.click(f"#rule-{switch}")
                    self.wait.until(lambda d: self.drawn("rules") == rules)
                    self.assertEqual(self.page_pixels(), native_pixels(view, "color", "--rules", rules))
                    names = {"none": "", "gl": clicks[5][1] + ",clip"}.get(rules, rules)
                    self.assertEqual((self.canvas_pixels(), ",".join(self.js("return window.sphaerix.rules"))),
                                     (self.page_pixels(), names))
                    self.assertEqual("rules=" + rules in self.address(), rules != "none")

    def test_keys(self):
        view = dict(START, size="240x240")
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
        self.open(hash_of(view))
        for keys, (key, value) in cases:
            with self.subTest(" ".join(map(repr, keys))):
                self.follow(hash_of(view))
                self.click_pixel(100, 100, 240)  # which also gives the frame the focus
                chain = ActionChains(self.driver)
                for k in keys:
                    chain = chain.key_down(k) if k == Keys.SHIFT else chain.send_keys(k)
                if Keys.SHIFT in keys:
                    chain = chain.key_up(Keys.SHIFT)
                chain.perform()
                self.assertEqual(self.drawn(key), value)
                if key == "pixel" and value:  # the history shown is the new pixel's
                    self.assertTrue(self.history_panel()[0].startswith("pixel %d,%d of" % tuple(value)))
        # Typed into the polygon box, the keys are the box's.
        self.open(hash_of(view))
        self.open_watch()
        self.driver.find_element(By.ID, "watch-number").send_keys("g]")
        self.assertEqual((self.drawn("renderer"), self.drawn("watch")), ("software", -1))
        # A checkbox takes no letters: g is the page's there, as with the file input.
        self.js("document.getElementById('grid').focus()")
        self.keys("g")
        self.assertEqual(self.drawn("renderer"), "opengl")
        self.assertTrue(self.js("return document.getElementById('keys').hidden"))
        self.canvas().click()
        self.keys("?")
        self.assertFalse(self.js("return document.getElementById('keys').hidden"))
        # Every control says what it does.
        unlabelled = self.js("""return [...document.querySelectorAll('button, select, input, canvas#frame')]
            .filter(e => !e.title && !e.getAttribute('aria-label') && !e.closest('label[title]')
                    && !(e.matches('button') && e.textContent.trim() && e.closest('[title]')))
            .map(e => e.id || e.outerHTML.slice(0, 60))""")
        self.assertEqual(unlabelled, [])

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

    def test_layout_keeps_the_frame_and_the_inspector_in_view(self):
        pages = [  # (name, link, the pixel a click selects, the magnification fit gives per window)
            ("lecture", "#size=480x480&renderer=opengl&pixel=150,300", None, {(1920, 1080): 2, (1366, 768): 1,
                                                                              (1366, 625): 1}),
            ("lab", hash_of(dict(START, size="320x320", zoom=6.0), pixel="70,214", trace=713), (71, 214), {}),
            ("wide", hash_of(dict(START, size="320x120"), pixel="10,10"), None, {}),
            ("tall", hash_of(dict(START, size="120x320"), pixel="10,10"), None, {}),
            ("full HD frame", hash_of(dict(START, size="1920x1080"), pixel="1900,20"), None, {(1366, 768): 1 / 4}),
            # Not fit: the pane scrolls to the pixel, its ring whole at the frame's corner.
            ("4x, a corner", hash_of(START, scale=4, pixel="479,0"), None, None),
        ]
        try:
            # Each page opened on the first window and taken through the others by resizing it:
            # a laptop's and a projector's screens, the first less a browser's bars, and a phone's.
            for name, link, click, fit in pages:
                for n, (width, height) in enumerate([(1920, 1080), (1366, 768), (1366, 625), (800, 600)]):
                    with self.subTest(f"{name} at {width}x{height}"):
                        self.viewport(width, height)
                        if n == 0:
                            self.open(link)
                        else:
                            self.wait.until(lambda d: self.js("return innerWidth") == width)
                            self.settled()
                        frame, inspector = self.box("frame"), self.box("inspector")
                        w, h = self.drawn("width"), self.drawn("height")
                        scale = self.js("return window.sphaerix.magnification()")
                        # Fit is the largest whole multiple (at most 4) that fits the pane, else
                        # the smallest whole division, which says so.
                        room = self.js("const p = document.getElementById('pane'), s = getComputedStyle(p);"
                                       "const pad = 2 + parseFloat(s.paddingLeft) + parseFloat(s.paddingRight);"
                                       "return [p.clientWidth - pad, matchMedia('(max-width: 800px)').matches ?"
                                       "innerHeight - 60 : p.clientHeight - pad]")
                        fits = lambda s: s * w <= room[0] and s * h <= room[1]
                        larger = scale + 1 if scale >= 1 else 1 / (1 / scale - 1)
                        if fit is not None:
                            self.assertTrue(fits(scale) and (scale == 4 or not fits(larger)), (scale, room))
                            self.assertEqual(scale, fit.get((width, height), scale))
                        self.assertEqual(bool(self.text("scale-note")), scale < 1)
                        self.assertEqual((frame["right"] - frame["left"], frame["bottom"] - frame["top"]),
                                         (w * scale, h * scale))
                        if width > 800:
                            self.assertTrue(self.ring_in_view())
                            self.assertEqual(self.js("const p = document.getElementById('pane');"
                                                     "return p.scrollWidth <= p.clientWidth && p.scrollHeight <= p.clientHeight"),
                                             fit is not None)
                            if fit is not None:
                                self.assertLessEqual(frame["bottom"], height)
                                self.assertLessEqual(frame["right"], inspector["left"])
                            self.assertTrue(self.in_view("pixel-view") and self.in_view("history"))
                            self.assertLessEqual(self.js("return document.documentElement.scrollHeight"), height)
                            # The history whole in its column, nothing cut or scrolled sideways.
                            self.assertTrue(self.js("const t = document.querySelector('#history table'),"
                                                    "i = document.getElementById('inspector');"
                                                    "return !t || t.scrollWidth <= t.parentElement.clientWidth &&"
                                                    "t.getBoundingClientRect().right <= i.getBoundingClientRect().right"))
                        elif fit is not None:  # the frame first; a click brings the inspector into view
                            self.assertLess(frame["bottom"], inspector["top"])
                            self.assertLessEqual(frame["right"], width)
                        if click:
                            self.js("window.scrollTo(0, 0)")
                            self.click_pixel(click[0], click[1], h)
                            self.wait.until(lambda d: self.in_view("pixel-view"))
            # The frame stays put whatever changes beside it: its top left corner and its
            # magnification (a key below a view may make it taller).
            self.viewport(1366, 768)
            self.open(hash_of(dict(START, size="240x240"), pixel="100,100"))
            where = lambda: (self.box("frame")["left"], self.box("frame")["top"],
                             self.js("return window.sphaerix.magnification()"))
            kept = where()
            steps = [
                ("g", lambda: self.keys("g")),
                ("g back", lambda: self.keys("g")),
                ("a view", lambda: self.js("return window.sphaerix.setView({view: 'depth'})")),
                ("a texture", lambda: self.choose_file("texture-file", "mine.raw", bytes(196608))),
                ("a message", lambda: self.js("location.hash += '&az=nan'")),
                ("the watch panel", lambda: self.click("#watch summary")),
                ("a refused compare file", lambda: self.choose_file("compare-file", "notes.txt", b"hello")),
                ("the keys", lambda: self.click("#keys-button")),
            ]
            for what, step in steps:
                with self.subTest(f"the frame after {what}"):
                    step()
                    self.settled()
                    self.assertEqual(where(), kept)
        finally:
            self.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


if __name__ == "__main__":
    harness.main()
