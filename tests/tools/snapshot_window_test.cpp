// The window mode of sphaerix-snapshot; needs an X display (run under xvfb-run).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "snapshot_test_support.h"
#include "tools/snapshot/image_difference.h"

namespace {

using Args = std::vector<std::string>;

class SnapshotWindow : public ::testing::Test {
protected:
    std::string dir;
    std::string texture;

    void SetUp() override
    {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "no X display: run this under xvfb-run";
        dir = makeTestDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        texture = dir + "/distinct.raw";
        writeDistinctTexture(texture);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    ToolRun run(Args args) const
    {
        args.insert(args.begin(), {"--texture", texture, "--size", "96x64", "--angle-z", "-100",
                                   "--pan", "5,3"});
        return runSnapshot(args, dir, true);
    }
    std::string path(const char* name) const { return dir + "/" + name; }
};

bool isWhite(const RgbImage& image)
{
    return image.rgb == std::vector<unsigned char>(image.rgb.size(), 255);
}

// The window shows the software buffer point by point: read back, it must be the very
// image and depth the headless path writes, in the same orientation and exact size.
TEST_F(SnapshotWindow, SoftwareWindowFrameEqualsTheHeadlessOne)
{
    const ToolRun window = run({"--window", "--depth", path("w.bin"), "-o", path("w.ppm")});
    ASSERT_EQ(window.status, 0) << window.errors;
    ASSERT_EQ(run({"--depth", path("h.bin"), "-o", path("h.ppm")}).status, 0);
    RgbImage windowImage, headlessImage;
    ASSERT_TRUE(readPpm(path("w.ppm"), windowImage));
    ASSERT_TRUE(readPpm(path("h.ppm"), headlessImage));
    EXPECT_EQ(windowImage.width, 96);
    EXPECT_EQ(windowImage.height, 64);
    EXPECT_FALSE(isWhite(headlessImage));
    EXPECT_TRUE(windowImage.rgb == headlessImage.rgb)
        << describeDifference(compareImages(windowImage, headlessImage));
    EXPECT_EQ(readBytes(path("w.bin")), readBytes(path("h.bin")));
}

// GL depth comes back on the software scale: where both renderers drew, nearly equal.
TEST_F(SnapshotWindow, OpenGLFrameAndDepthMatchTheSoftwareView)
{
    const ToolRun gl = run({"--renderer", "opengl", "--depth", path("g.bin"), "-o", path("g.png")});
    ASSERT_EQ(gl.status, 0) << gl.errors;
    ASSERT_EQ(run({"--depth", path("s.bin"), "-o", path("s.png")}).status, 0);
    RgbImage image;
    ASSERT_TRUE(readPng(path("g.png"), image));
    EXPECT_EQ(image.width, 96);
    EXPECT_EQ(image.height, 64);
    EXPECT_FALSE(isWhite(image));

    const std::vector<float> glDepth = readFloats(path("g.bin"));
    const std::vector<float> swDepth = readFloats(path("s.bin"));
    ASSERT_EQ(glDepth.size(), std::size_t(96 * 64));
    ASSERT_EQ(swDepth.size(), glDepth.size());
    int drawn = 0, agreeing = 0;
    for (std::size_t i = 0; i < swDepth.size(); ++i) {
        EXPECT_GE(glDepth[i], -1.0f);
        EXPECT_LE(glDepth[i], 1.0f);
        if (swDepth[i] < 1.0f) {
            ++drawn;
            agreeing += std::fabs(glDepth[i] - swDepth[i]) < 1e-3f;
        }
    }
    ASSERT_GT(drawn, 500);
    EXPECT_GT(agreeing, drawn * 9 / 10) << agreeing << " of " << drawn;
}

TEST_F(SnapshotWindow, CompareWritesThreeImagesAndTheirCount)
{
    const ToolRun compare = run({"--compare", path("cmp")});
    ASSERT_EQ(compare.status, 0) << compare.errors;
    RgbImage software, openGL, difference;
    ASSERT_TRUE(readPng(path("cmp/software.png"), software));
    ASSERT_TRUE(readPng(path("cmp/opengl.png"), openGL));
    ASSERT_TRUE(readPng(path("cmp/difference.png"), difference));
    for (const RgbImage* image : {&software, &openGL, &difference}) {
        EXPECT_EQ(image->width, 96);
        EXPECT_EQ(image->height, 64);
    }
    ASSERT_EQ(run({"-o", path("h.ppm")}).status, 0);
    RgbImage headless;
    ASSERT_TRUE(readPpm(path("h.ppm"), headless));
    EXPECT_TRUE(software.rgb == headless.rgb);

    // The line and the difference image must describe these two files.
    const ImageDifference expected = compareImages(software, openGL);
    EXPECT_GT(expected.differingPixels, 0); // the caption alone differs
    EXPECT_EQ(compare.output, describeDifference(expected) + "\n");
    EXPECT_TRUE(difference.rgb == expected.amplified.rgb);
}

TEST_F(SnapshotWindow, FramesTimeWholeWindowFrames)
{
    const ToolRun timed = run({"--window", "--frames", "2", "-o", path("a.png")});
    ASSERT_EQ(timed.status, 0) << timed.errors;
    EXPECT_TRUE(isTimingLine(timed.output, 2)) << timed.output;
    const ToolRun none = run({"--renderer", "opengl", "--frames", "0", "-o", path("b.png")});
    ASSERT_EQ(none.status, 0) << none.errors;
    EXPECT_EQ(none.output, "");
}

} // namespace
