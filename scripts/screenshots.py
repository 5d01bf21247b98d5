#!/usr/bin/python3
"""The README's pictures of the page at three window sizes, taken in headless Chromium:
    scripts/screenshots.py [OUT-DIRECTORY]    (default docs/web)
after web/build.sh and a build in build/ (the tools make the sphere map). Writes
lecture-WxH.png (start-up, OpenGL, a pixel) and lab-WxH.png (the rim speckle and its
trace; at 800x600 after a click, which brings the inspector into view)."""
import os
import sys
import unittest

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(top, "tests", "web"))
import harness  # noqa: E402

OUT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(top, "docs", "web"))
PAGES = [  # (name, link, the pixel a click selects)
    ("lecture", "#size=480x480&renderer=opengl&pixel=150,300", None),
    ("lab", harness.hash_of(dict(harness.START, size="320x320", zoom=6.0), pixel="70,214", trace=713), (71, 214)),
]
SIZES = [(1920, 1080), (1366, 768), (800, 600)]


class Screenshots(harness.PageTest):
    def runTest(self):
        os.makedirs(OUT, exist_ok=True)
        for width, height in SIZES:
            self.viewport(width, height)
            for name, link, click in PAGES:
                self.open(link)
                if click:
                    self.js("window.scrollTo(0, 0)")
                    self.click_pixel(click[0], click[1], self.drawn("height"))
                    self.wait.until(lambda d: self.in_view("pixel-view"))
                path = os.path.join(OUT, f"{name}-{width}x{height}.png")
                self.driver.save_screenshot(path)
                print(path)


if __name__ == "__main__":
    build = os.path.join(top, "build", "tools")
    harness.configure(os.path.join(top, "build-web", "site"), os.path.join(build, "snapshot", "sphaerix-snapshot"),
                      os.path.join(build, "spheremap", "sphaerix-spheremap"),
                      os.path.join(top, "build", "screenshots-work"))
    result = unittest.TextTestRunner(verbosity=0).run(unittest.TestSuite([Screenshots()]))
    sys.exit(0 if result.wasSuccessful() else 1)
