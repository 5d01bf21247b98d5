#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "scene/scene.h"
#include "snapshot_test_support.h"
#include "tools/snapshot/frame_timing.h"
#include "tools/snapshot/image_difference.h"
#include "tools/snapshot/image_file.h"
#include "tools/snapshot/options.h"

namespace {

using Args = std::vector<std::string>;

ParseResult parse(Args args, SnapshotOptions& options)
{
    args.insert(args.begin(), "sphaerix-snapshot");
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    std::string message;
    return parseSnapshotOptions(int(argv.size()), argv.data(), options, message);
}

TEST(SnapshotOptions, ReadsEveryOption)
{
    SnapshotOptions o;
    ASSERT_EQ(parse({"--size", "640x360", "--angle-z", "12.5", "--angle-x", "-1e1", "--pan",
                     "-3.5,2", "--zoom", "-4", "--texture", "t.raw", "--depth", "d.bin",
                     "--frames", "7", "-o", "x.ppm"},
                    o),
              ParseResult::run);
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 360);
    EXPECT_EQ(o.angleZ, 12.5f);
    EXPECT_EQ(o.angleX, -10.0f);
    EXPECT_EQ(o.panX, -3.5f);
    EXPECT_EQ(o.panY, 2.0f);
    EXPECT_EQ(o.zoom, -4.0f);
    EXPECT_EQ(o.texture, "t.raw");
    EXPECT_EQ(o.depth, "d.bin");
    EXPECT_EQ(o.frames, 7);
    EXPECT_EQ(o.output, "x.ppm");
    EXPECT_FALSE(o.window);
    EXPECT_FALSE(o.openGL);
}

TEST(SnapshotOptions, OpenGLAndCompareNeedTheWindow)
{
    SnapshotOptions gl;
    ASSERT_EQ(parse({"--renderer", "opengl", "-o", "a.png"}, gl), ParseResult::run);
    EXPECT_TRUE(gl.openGL);
    EXPECT_TRUE(gl.window);
    // The comparison writes its own files, so -o may be left out.
    SnapshotOptions compare;
    ASSERT_EQ(parse({"--compare", "dir"}, compare), ParseResult::run);
    EXPECT_TRUE(compare.window);
    EXPECT_FALSE(compare.openGL);
    SnapshotOptions help;
    EXPECT_EQ(parse({"--zoom", "bad", "--help"}, help), ParseResult::error);
    EXPECT_EQ(parse({"--help", "--zoom", "bad"}, help), ParseResult::help);
}

TEST(SnapshotOptions, RejectsMalformedValues)
{
    const Args bad[] = {
        {},
        {"--size", "0x5", "-o", "a.png"},
        {"--size", "5x0", "-o", "a.png"},
        {"--size", "16385x16", "-o", "a.png"},
        {"--size", "+5x5", "-o", "a.png"},
        {"--size", "5X5", "-o", "a.png"},
        {"--size", "5x5x5", "-o", "a.png"},
        {"--size", "x5", "-o", "a.png"},
        {"--zoom", "nan", "-o", "a.png"},
        {"--zoom", "inf", "-o", "a.png"},
        {"--zoom", "1e39", "-o", "a.png"},
        {"--zoom", "1.5x", "-o", "a.png"},
        {"--zoom", "", "-o", "a.png"},
        {"--angle-z", "-o", "a.png"},
        {"--pan", "1", "-o", "a.png"},
        {"--pan", "1,2,3", "-o", "a.png"},
        {"--pan", ",2", "-o", "a.png"},
        {"--frames", "-1", "-o", "a.png"},
        {"--frames", "1.5", "-o", "a.png"},
        {"--frames", "99999999999", "-o", "a.png"},
        {"--renderer", "vulkan", "-o", "a.png"},
        {"-o", "a.jpg"},
        {"-o", ".png"},
        {"-o", "a.png", "--bogus"},
        {"-o", "a.png", "--zoom"},
        {"--texture", "", "-o", "a.png"},
    };
    for (const Args& args : bad) {
        SnapshotOptions o;
        std::string joined;
        for (const std::string& a : args)
            joined += "[" + a + "] ";
        EXPECT_EQ(parse(args, o), ParseResult::error) << joined;
    }
}

TEST(SnapshotOptions, SingleValueLimits)
{
    int w = 0, h = 0;
    EXPECT_TRUE(parseSize("16384x1", w, h));
    EXPECT_EQ(w, 16384);
    EXPECT_EQ(h, 1);
    float f = 0.0f;
    EXPECT_TRUE(parseFloat("1e-45", f)); // underflows to a subnormal: still finite
    EXPECT_GT(f, 0.0f);
    EXPECT_TRUE(parseFloat("-0x1p3", f));
    EXPECT_EQ(f, -8.0f);
    int n = -1;
    EXPECT_TRUE(parseCount("2147483647", n));
    EXPECT_FALSE(parseCount("2147483648", n));
    EXPECT_TRUE(parseCount("0", n));
    EXPECT_EQ(n, 0);
}

TEST(SnapshotImage, ChannelRoundsAndClamps)
{
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(channelByte(b * 0.003921569f), b) << b;
    EXPECT_EQ(channelByte(0.5f), 128);   // 127.5 rounds away from zero
    EXPECT_EQ(channelByte(0.499f), 127);
    EXPECT_EQ(channelByte(-0.25f), 0);
    EXPECT_EQ(channelByte(1.75f), 255);
    EXPECT_EQ(channelByte(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(channelByte(std::numeric_limits<float>::infinity()), 255);
    EXPECT_EQ(channelByte(-std::numeric_limits<float>::infinity()), 0);
}

TEST(SnapshotImage, DifferenceCountsAndAmplifies)
{
    RgbImage a{3, 2, std::vector<unsigned char>(18, 100)};
    RgbImage b = a;
    EXPECT_EQ(compareImages(a, b).differingPixels, 0);
    b.rgb[4] = 101;  // pixel 1, green, one level
    b.rgb[15] = 0;   // pixel 5, red, 100 levels
    const ImageDifference d = compareImages(a, b);
    EXPECT_EQ(d.differingPixels, 2);
    EXPECT_EQ(d.pixels, 6);
    EXPECT_DOUBLE_EQ(d.meanAbsolute[0], 100.0 / 6);
    EXPECT_DOUBLE_EQ(d.meanAbsolute[1], 1.0 / 6);
    EXPECT_DOUBLE_EQ(d.meanAbsolute[2], 0.0);
    EXPECT_EQ(d.amplified.rgb[4], 40);
    EXPECT_EQ(d.amplified.rgb[15], 255);
    EXPECT_EQ(d.amplified.rgb[3], 0);
    EXPECT_EQ(describeDifference(d),
              "differing pixels: 2 of 6 (33.33%), mean absolute difference: "
              "r 16.667, g 0.167, b 0.000");
}

TEST(SnapshotTiming, MedianOfSamples)
{
    EXPECT_EQ(medianMilliseconds({}), 0.0);
    EXPECT_EQ(medianMilliseconds({5.0, 1.0, 3.0}), 3.0);
    EXPECT_EQ(medianMilliseconds({9.0, 1.0, 4.0, 2.0}), 3.0);
    EXPECT_EQ(describeTiming({2.0, 1.0}), "frames: 2, median: 1.500 ms");
}

// The built tool, run with no DISPLAY: the headless path must not need X.
class SnapshotTool : public ::testing::Test {
protected:
    std::string dir;
    std::string texture;

    void SetUp() override
    {
        dir = makeTestDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        texture = dir + "/distinct.raw";
        writeDistinctTexture(texture);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    ToolRun run(Args args) const
    {
        args.insert(args.begin(), {"--texture", texture});
        return runSnapshot(args, dir, false);
    }
    std::string path(const char* name) const { return dir + "/" + name; }
};

// The same frame computed in this process through the program's camera and pipeline.
void renderInProcess(const std::string& texture, int width, int height, float z, float x,
                     float px, float py, float wheel)
{
    buildScene(theScene, texture.c_str());
    angleZ = z;
    angleX = x;
    panX = px;
    panY = py;
    zoom = wheel;
    setupCamera(theScene, width, height);
    renderSoftwareFrame(theScene, width, height);
}

// The colour buffer as a file holds it: top row first, independent of the tool's code.
std::vector<unsigned char> expectedRgb(int width, int height)
{
    std::vector<unsigned char> rgb;
    auto byte = [](float c) {
        const long v = std::lround(double(c) * 255.0);
        return static_cast<unsigned char>(v < 0 ? 0 : v > 255 ? 255 : v);
    };
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x) {
            const Color4& c = ColorBuffer[std::size_t(y) * width + x];
            rgb.insert(rgb.end(), {byte(c.r), byte(c.g), byte(c.b)});
        }
    return rgb;
}

// Rows of `rowLength` entries in the opposite order.
template <typename T>
std::vector<T> flippedRows(const std::vector<T>& values, int rowLength, int rows)
{
    std::vector<T> out;
    for (int row = rows - 1; row >= 0; --row)
        out.insert(out.end(), values.begin() + std::ptrdiff_t(row) * rowLength,
                   values.begin() + std::ptrdiff_t(row + 1) * rowLength);
    return out;
}

bool isOneUsageLine(const std::string& errors)
{
    return errors.rfind("sphaerix-snapshot: ", 0) == 0 &&
           errors.find("usage: sphaerix-snapshot") != std::string::npos &&
           errors.find('\n') == errors.size() - 1;
}

TEST_F(SnapshotTool, BadOptionsExitTwoWithUsage)
{
    const Args bad[] = {{"-o", path("a.png"), "--size", "10x"},
                        {"-o", path("a.png"), "--zoom", "nan"},
                        {"-o", path("a.gif")},
                        {"--frames", "3"},
                        {"-o", path("a.png"), "--unknown"},
                        {"-o", path("a.png"), "--pan"}};
    for (const Args& args : bad) {
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_TRUE(isOneUsageLine(r.errors)) << r.errors;
        EXPECT_FALSE(std::filesystem::exists(path("a.png")));
    }
    const ToolRun help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("--compare DIR"), std::string::npos);
}

TEST_F(SnapshotTool, TextureProblemsExitOneNamingTheFile)
{
    const ToolRun missing = runSnapshot({"--texture", path("none.raw"), "-o", path("a.png")}, dir, false);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.errors.find("none.raw"), std::string::npos) << missing.errors;
    EXPECT_EQ(missing.errors.find('\n'), missing.errors.size() - 1) << missing.errors;

    std::vector<unsigned char> shortData(1000, 7);
    FILE* f = std::fopen(path("short.raw").c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(shortData.data(), 1, shortData.size(), f);
    std::fclose(f);
    const ToolRun tooShort = runSnapshot({"--texture", path("short.raw"), "-o", path("a.png")}, dir, false);
    EXPECT_EQ(tooShort.status, 1);
    EXPECT_NE(tooShort.errors.find("too short"), std::string::npos) << tooShort.errors;
    EXPECT_FALSE(std::filesystem::exists(path("a.png")));
}

// The texture is checked before any window is asked for; with no display, the window
// modes then fail with one line rather than a crash.
TEST_F(SnapshotTool, WindowModesCheckTheTextureFirst)
{
    const ToolRun texture = runSnapshot(
        {"--renderer", "opengl", "--texture", path("none.raw"), "-o", path("a.png")}, dir, false);
    EXPECT_EQ(texture.status, 1);
    EXPECT_NE(texture.errors.find("none.raw"), std::string::npos) << texture.errors;
    const ToolRun noDisplay = run({"--window", "-o", path("a.png")});
    EXPECT_NE(noDisplay.status, 0);
    EXPECT_NE(noDisplay.errors.find("display"), std::string::npos) << noDisplay.errors;
    EXPECT_FALSE(std::filesystem::exists(path("a.png")));
}

TEST_F(SnapshotTool, UnwritableOutputExitsOne)
{
    const ToolRun r = run({"--size", "8x8", "-o", path("missing/dir/a.ppm")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find("missing/dir/a.ppm"), std::string::npos) << r.errors;
}

// Exact pixels, top row first, for the view the options describe; PNG equal to PPM.
TEST_F(SnapshotTool, ImagesHoldTheProgramsFrameTopRowFirst)
{
    const int w = 72, h = 56;
    const Args view = {"--size", "72x56", "--angle-z", "-120", "--angle-x", "-50",
                       "--pan", "6,-4", "--zoom", "1.5"};
    Args ppmArgs = view, pngArgs = view;
    ppmArgs.insert(ppmArgs.end(), {"-o", path("a.ppm")});
    pngArgs.insert(pngArgs.end(), {"-o", path("a.png")});
    ASSERT_EQ(run(ppmArgs).status, 0);
    ASSERT_EQ(run(pngArgs).status, 0);

    renderInProcess(texture, w, h, -120.0f, -50.0f, 6.0f, -4.0f, 1.5f);
    const std::vector<unsigned char> expected = expectedRgb(w, h);
    ASSERT_NE(expected, flippedRows(expected, w * 3, h)) << "the view must not be symmetric";

    RgbImage ppm, png;
    ASSERT_TRUE(readPpm(path("a.ppm"), ppm));
    EXPECT_EQ(ppm.width, w);
    EXPECT_EQ(ppm.height, h);
    EXPECT_TRUE(ppm.rgb == expected);
    ASSERT_TRUE(readPng(path("a.png"), png));
    EXPECT_EQ(png.width, w);
    EXPECT_EQ(png.height, h);
    EXPECT_TRUE(png.rgb == ppm.rgb);
}

TEST_F(SnapshotTool, DefaultsAreTheStartUpView)
{
    ASSERT_EQ(run({"--size", "40x30", "-o", path("a.ppm")}).status, 0);
    renderInProcess(texture, 40, 30, -135.0f, -60.0f, 0.0f, 0.0f, 0.25f);
    RgbImage ppm;
    ASSERT_TRUE(readPpm(path("a.ppm"), ppm));
    EXPECT_TRUE(ppm.rgb == expectedRgb(40, 30));
}

TEST_F(SnapshotTool, DepthFileIsTheDepthBufferBottomRowFirst)
{
    const int w = 50, h = 34;
    ASSERT_EQ(run({"--size", "50x34", "--pan", "0,-5", "--depth", path("d.bin"), "-o",
                   path("a.png")})
                  .status,
              0);
    EXPECT_EQ(readBytes(path("d.bin")).size(), std::size_t(w) * h * 4);
    const std::vector<float> depth = readFloats(path("d.bin"));
    renderInProcess(texture, w, h, -135.0f, -60.0f, 0.0f, -5.0f, 0.25f);
    const std::vector<float> expected(DepthBuffer.begin(), DepthBuffer.begin() + w * h);
    ASSERT_EQ(depth.size(), expected.size());
    EXPECT_TRUE(std::memcmp(depth.data(), expected.data(), depth.size() * 4) == 0);
    EXPECT_NE(expected, flippedRows(expected, w, h)) << "the view must not be symmetric";
}

TEST_F(SnapshotTool, FramesPrintTheMedianAndLeaveTheImage)
{
    ASSERT_EQ(run({"--size", "32x32", "-o", path("once.ppm")}).status, 0);
    const ToolRun timed = run({"--size", "32x32", "--frames", "3", "-o", path("timed.ppm")});
    ASSERT_EQ(timed.status, 0) << timed.errors;
    EXPECT_TRUE(isTimingLine(timed.output, 3)) << timed.output;
    EXPECT_EQ(readBytes(path("once.ppm")), readBytes(path("timed.ppm")));

    const ToolRun none = run({"--size", "32x32", "--frames", "0", "-o", path("none.ppm")});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.output, "");
}

// Nothing drawn must read as white and empty depth, whether the scene is behind the eye
// (no clipping: its device depth lies beyond 1) or off to the side.
TEST_F(SnapshotTool, EmptyFramesAreWhite)
{
    for (const Args& view : {Args{"--zoom", "20"}, Args{"--pan", "100000,0"}}) {
        Args args = view;
        args.insert(args.end(), {"--size", "48x40", "--depth", path("d.bin"), "-o", path("e.png")});
        ASSERT_EQ(run(args).status, 0) << view[0];
        RgbImage png;
        ASSERT_TRUE(readPng(path("e.png"), png));
        EXPECT_EQ(png.rgb, std::vector<unsigned char>(48 * 40 * 3, 255)) << view[0];
        EXPECT_EQ(readFloats(path("d.bin")), std::vector<float>(48 * 40, 1.0f)) << view[0];
    }
}

} // namespace
