// The window mode of sphaerix-snapshot; needs an X display: run_e2e.sh gives it one.
#include <gtest/gtest.h>

#include <cmath>

#include "snapshot_test_support.h"
#include "tools/snapshot/image_difference.h"

namespace {

using Bytes = std::vector<unsigned char>;
const int w = 96, h = 64;

class SnapshotWindow : public SnapshotFixture {
protected:
    ToolRun show(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--size", "96x64", "--angle-z", "-100", "--pan", "5,3"});
        return run(args, true);
    }
};

// The window shows the software buffer point by point: read back, alone or for --compare,
// it must be the very image (and depth) the headless path writes. Timing follows it.
TEST_F(SnapshotWindow, SoftwareWindowAndCompareHoldTheHeadlessFrame)
{
    ASSERT_EQ(show({"--depth", path("h.bin"), "-o", path("h.png")}).status, 0);
    const Bytes headless = pngPixels(path("h.png"), w, h);
    ASSERT_EQ(headless.size(), std::size_t(w * h * 3));
    EXPECT_NE(headless, Bytes(headless.size(), 255));

    const ToolRun window = show({"--window", "--frames", "2", "--depth", path("w.bin"), "-o", path("w.png")});
    ASSERT_EQ(window.status, 0) << window.errors;
    EXPECT_TRUE(isTimingLine(window.output, 2)) << window.output;
    EXPECT_TRUE(pngPixels(path("w.png"), w, h) == headless);
    EXPECT_EQ(readFile(path("w.bin")), readFile(path("h.bin")));

    // The line and the difference image describe the two images written.
    const ToolRun compare = show({"--compare", path("cmp")});
    ASSERT_EQ(compare.status, 0) << compare.errors;
    const RgbImage software{w, h, pngPixels(path("cmp/software.png"), w, h)};
    const RgbImage openGL{w, h, pngPixels(path("cmp/opengl.png"), w, h)};
    ASSERT_TRUE(software.rgb == headless);
    ASSERT_EQ(openGL.rgb.size(), headless.size());
    const ImageDifference expected = compareImages(software, openGL);
    EXPECT_GT(expected.differingPixels, 0); // the caption alone differs
    EXPECT_EQ(compare.output, describeDifference(expected) + "\n");
    EXPECT_TRUE(pngPixels(path("cmp/difference.png"), w, h) == expected.amplified.rgb);
}

// GL depth comes back on the software scale: where both renderers drew, nearly equal.
TEST_F(SnapshotWindow, OpenGLFrameAndDepthMatchTheSoftwareView)
{
    const ToolRun gl = show({"--renderer", "opengl", "--frames", "0", "--depth", path("g.bin"), "-o", path("g.png")});
    ASSERT_EQ(gl.status, 0) << gl.errors;
    EXPECT_EQ(gl.output, "");
    const Bytes image = pngPixels(path("g.png"), w, h);
    ASSERT_EQ(image.size(), std::size_t(w * h * 3));
    EXPECT_NE(image, Bytes(image.size(), 255));

    ASSERT_EQ(show({"--depth", path("s.bin"), "-o", path("s.png")}).status, 0);
    const std::vector<float> glDepth = readFloats(path("g.bin")), swDepth = readFloats(path("s.bin"));
    ASSERT_EQ(glDepth.size(), std::size_t(w * h));
    ASSERT_EQ(swDepth.size(), glDepth.size());
    int drawn = 0, agreeing = 0;
    for (std::size_t i = 0; i < swDepth.size(); ++i)
        if (swDepth[i] < 1.0f)
            ++drawn, agreeing += std::fabs(glDepth[i] - swDepth[i]) < 1e-3f;
    ASSERT_GT(drawn, 500);
    EXPECT_GT(agreeing, drawn * 9 / 10) << agreeing << " of " << drawn;
}

} // namespace
