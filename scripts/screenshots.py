#!/usr/bin/python3
"""The README's pictures of the page at three window sizes, taken in headless Chromium:
    scripts/screenshots.py [OUT-DIRECTORY]    (default docs/web)
after web/build.sh and a build in build/ (the tools make the sphere map). Writes
lecture-WxH.png (start-up, OpenGL, a pixel), lab-WxH.png (the rim speckle and its
trace; at 800x600 after a click, which brings the inspector into view) and, at the two
larger sizes, rules-WxH.png (the difference under the ladder's first four rules, a pixel
explained, the ladder run)."""
import os
import sys
import unittest

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(top, "tests", "web"))
import harness  # noqa: E402

OUT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(top, "docs", "web"))
SIZES = [(1920, 1080), (1366, 768), (800, 600)]
PAGES = [  # (name, link, the pixel a click selects, the button then clicked, the sizes)
    ("lecture", "#size=480x480&renderer=opengl&pixel=150,300", None, None, SIZES),
    ("lab", harness.hash_of(dict(harness.START, size="320x320", zoom=6.0), pixel="70,214", trace=713), (71, 214),
     None, SIZES),
    ("rules", "#size=480x480&renderer=difference&rules=centres,snap,perspective,texgen&pixel=315,72", None,
     "ladder-run", SIZES[:2]),
]


class Screenshots(harness.PageTest):
    def runTest(self):
        os.makedirs(OUT, exist_ok=True)
        for width, height in SIZES:
            self.viewport(width, height)
            for name, link, click, button, sizes in PAGES:
                if (width, height) not in sizes:
                    continue
                self.open(link)
                if click:
                    self.js("window.scrollTo(0, 0)")
                    self.click_pixel(click[0], click[1], self.drawn("height"))
                    self.wait.until(lambda d: self.in_view("pixel-view"))
                if button:
                    self.click(f"#{button}")
                    self.settled()
                path = os.path.join(OUT, f"{name}-{width}x{height}.png")
                self.driver.save_screenshot(path)
                print(path)


if __name__ == "__main__":
    build = os.path.join(top, "build", "tools")
    harness.configure(os.path.join(top, "build-web", "site"), os.path.join(build, "sphaerix-snapshot", "sphaerix-snapshot"),
                      os.path.join(build, "sphaerix-spheremap", "sphaerix-spheremap"),
                      os.path.join(top, "build", "screenshots-work"))
    result = unittest.TextTestRunner(verbosity=0).run(unittest.TestSuite([Screenshots()]))
    sys.exit(0 if result.wasSuccessful() else 1)
