#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <nlohmann/json.hpp>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "scene/scene.h"
#include "tools/snapshot/frame_timing.h"
#include "tools/snapshot/image_difference.h"
#include "tools/snapshot/image_file.h"

namespace {

// A fresh directory a test, holding a texture whose texels all differ; the built tool run
// there with no DISPLAY, so any X access fails.
struct ToolRun {
    int status = -1; // -1 if the tool did not exit normally
    std::string output, errors;
};

std::string readFile(const std::string& path)
{
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

class SnapshotTool : public ::testing::Test {
protected:
    std::string dir, texture;

    void SetUp() override
    {
        char name[] = "/tmp/snapshot_test_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        texture = path("distinct.raw");
        std::ofstream out(texture, std::ios::binary);
        for (int row = 0; row < 256; ++row)
            for (int column = 0; column < 256; ++column)
                out << char(column) << char(row) << char((column * 7 + row * 13) & 255);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    // The tool on that texture (a later --texture wins) and `args`.
    ToolRun run(std::vector<std::string> args) const
    {
        std::string command = "env -u DISPLAY '" SNAPSHOT_TOOL "' --texture " + texture;
        for (const std::string& arg : args)
            command += " '" + arg + "'";
        const int status = std::system((command + " >" + path("out.txt") + " 2>" + path("err.txt")).c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(path("out.txt")), readFile(path("err.txt"))};
    }
};

// The pixels, top row first, of an 8-bit RGB PNG of the size given; empty for anything else.
std::vector<unsigned char> pngPixels(const std::string& path, int width, int height)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return {};
    const bool rgb8 = png.format == PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr) || !rgb8 ||
        png.width != png_uint_32(width) || png.height != png_uint_32(height))
        return {};
    return pixels;
}

// True for exactly "frames: N, median: X ms\n", X with three decimals.
bool isTimingLine(const std::string& text, int frames)
{
    double median = -1;
    char line[96];
    if (std::sscanf(text.c_str(), "frames: %*d, median: %lf ms", &median) != 1 || median < 0)
        return false;
    std::snprintf(line, sizeof line, "frames: %d, median: %.3f ms\n", frames, median);
    return text == line;
}

using Args = std::vector<std::string>;
using Bytes = std::vector<unsigned char>;

// Worked out by hand on a tiny case: what --compare and --frames print.
TEST(SnapshotReports, DifferenceAndTiming)
{
    const RgbImage a{3, 2, Bytes(18, 100)};
    RgbImage b = a;
    b.rgb[4] = 101; // pixel 1, green, one level
    b.rgb[15] = 0;  // pixel 5, red, 100 levels
    const ImageDifference d = compareImages(a, b);
    EXPECT_EQ(d.amplified.rgb[4], 40);
    EXPECT_EQ(d.amplified.rgb[15], 255);
    EXPECT_EQ(d.amplified.rgb[3], 0);
    EXPECT_EQ(describeDifference(d), "differing pixels: 2 of 6 (33.33%), mean absolute difference: "
                                     "r 16.667, g 0.167, b 0.000");
    EXPECT_EQ(describeTiming({9.0, 1.0, 4.0, 2.0}), "frames: 4, median: 3.000 ms");
}

// Each case but the first follows a good "-o a.png", so that it alone is at fault. One
// line, no image: bad options exit 2 with the usage, a file or the display 1 naming it
// (the texture is checked before any window is asked for).
TEST_F(SnapshotTool, ProblemsExitWithOneLineAndTheirStatus)
{
    auto expectFailure = [this](Args args, int status, const std::string& words) {
        if (!args.empty())
            args.insert(args.begin(), {"-o", path("a.png")});
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, status) << ::testing::PrintToString(args);
        EXPECT_NE(r.errors.find(words), std::string::npos) << r.errors;
        EXPECT_EQ(r.errors.find('\n'), r.errors.size() - 1) << r.errors;
        EXPECT_FALSE(std::filesystem::exists(path("a.png")));
    };
    const Args badOptions[] = {
        {},
        {"-o", "a.gif"}, {"-o", ".png"}, {"--unknown"}, {"--pan"}, {"--zoom", "bad", "--help"},
        {"--size", "10x"}, {"--size", "0x5"}, {"--size", "16385x16"}, {"--size", "+5x5"},
        {"--size", "5X5"}, {"--size", "5x5x5"}, {"--zoom", "nan"}, {"--zoom", "1e39"},
        {"--zoom", "1.5x"}, {"--zoom", ""}, {"--angle-x", "-o"}, {"--pan", "1"},
        {"--pan", ",2"}, {"--pan", "1,2,3"}, {"--frames", "-1"}, {"--frames", "1.5"},
        {"--frames", "2147483648"}, {"--renderer", "vulkan"}, {"--texture", ""},
        {"--history", "480,0"}, {"--history", "0,480"}, {"--history", "-1,0"}, {"--history", "1"},
        {"--view", "wire"}, {"--view", "depth", "--window"}, {"--trace-polygon", "2304"},
        {"--json"}, {"--json", "--history", "1,1", "--trace-polygon", "1"}, {"--mask", "m.png"},
        {"--unknown", "--help"},
    };
    for (const Args& args : badOptions)
        expectFailure(args, 2, "; usage: sphaerix-snapshot");
    std::ofstream(path("short.raw")) << std::string(1000, '\7');
    expectFailure({"--texture", path("none.raw")}, 1, "none.raw");
    expectFailure({"--texture", path("short.raw")}, 1, "too short");
    std::ofstream(path("small.ppm")) << "P6\n2 2\n255\n" << std::string(12, '\7');
    expectFailure({"--against", path("small.ppm")}, 1, "small.ppm\" is 2x2; the frame is 480x480");
    expectFailure({"--against", path("none.png")}, 1, "none.png");
    expectFailure({"--against-depth", path("short.raw")}, 1, "short.raw\" has 1000 bytes");
    expectFailure({"--renderer", "opengl", "--texture", path("none.raw")}, 1, "none.raw");
    expectFailure({"--window"}, 1, "display");
    expectFailure({"-o", path("no/dir/a.ppm")}, 1, "no/dir/a.ppm");
    const ToolRun help = run({"--help", "--zoom", "bad"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("--compare DIR"), std::string::npos);
    EXPECT_NE(help.output.find("overdraw   fragments tested per pixel"), std::string::npos);
}

// The frame the program's own camera and pipeline compute for a view, top row first.
Bytes programFrame(const std::string& texture, int width, int height, const float view[5])
{
    buildScene(theScene, texture.c_str());
    angleZ = view[0], angleX = view[1], panX = view[2], panY = view[3], zoom = view[4];
    setupCamera(theScene, width, height);
    renderSoftwareFrame(theScene, width, height);
    Bytes rgb;
    auto byte = [](float c) { return static_cast<unsigned char>(std::clamp(std::lround(c * 255.0), 0L, 255L)); };
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x) {
            const Color4& c = ColorBuffer[std::size_t(y) * width + x];
            rgb.insert(rgb.end(), {byte(c.r), byte(c.g), byte(c.b)});
        }
    return rgb;
}

// Exact pixels (PPM and PNG) and depth, bit for bit, for a view the options give, for
// the start-up view of the defaults, and for empty frames (the scene behind the eye, where
// its device depth lies beyond 1, or off to the side). Timed frames leave the image alone.
TEST_F(SnapshotTool, FilesHoldTheProgramsFrame)
{
    const int w = 72, h = 56;
    const std::pair<Args, std::vector<float>> views[] = {
        {{"--angle-z", "-120", "--angle-x", "-50", "--pan", "6,-4", "--zoom", "1.5"}, {-120, -50, 6, -4, 1.5f}},
        {{}, {-135, -60, 0, 0, 0.25f}},
        {{"--zoom", "20"}, {-135, -60, 0, 0, 20}},
        {{"--pan", "100000,0"}, {-135, -60, 100000, 0, 0.25f}},
    };
    for (const auto& [options, view] : views) {
        Args args = options;
        args.insert(args.end(), {"--size", "72x56", "--depth", path("d.bin"), "--frames", "0", "-o", path("a.ppm")});
        const ToolRun ppm = run(args);
        args.back() = path("a.png");
        args[args.size() - 3] = "3";
        const ToolRun png = run(args);
        ASSERT_EQ(ppm.status, 0) << ppm.errors;
        ASSERT_EQ(png.status, 0) << png.errors;
        EXPECT_EQ(ppm.output, "");
        EXPECT_TRUE(isTimingLine(png.output, 3)) << png.output;

        const Bytes expected = programFrame(texture, w, h, view.data());
        const std::vector<float> depth(DepthBuffer.begin(), DepthBuffer.begin() + w * h);
        EXPECT_TRUE(readFile(path("a.ppm")) == "P6\n72 56\n255\n" + std::string(expected.begin(), expected.end()));
        EXPECT_TRUE(pngPixels(path("a.png"), w, h) == expected);
        // Bottom row first, as the buffer holds it.
        EXPECT_TRUE(readFile(path("d.bin")) == std::string(reinterpret_cast<const char*>(depth.data()), w * h * 4));
    }
}

// Our own frame compares equal, as PPM and PNG; one changed pixel and one changed depth
// are reported where they are, and the mask is red exactly there.
TEST_F(SnapshotTool, AgainstFindsExactlyTheChangedPixels)
{
    ASSERT_EQ(run({"--size", "72x56", "-o", path("ours.ppm"), "--depth", path("theirs.depth")}).status, 0);
    const std::string ppm = readFile(path("ours.ppm"));
    RgbImage theirs{72, 56, Bytes(ppm.end() - 72 * 56 * 3, ppm.end())};
    std::string error, depth = readFile(path("theirs.depth"));
    for (bool changed : {false, true}) {
        if (changed) {
            theirs.rgb[(20 * 72 + 30) * 3 + 1] += 5; // column 30, row 20 from the top: green 164
            depth[(10 * 72 + 5) * 4] ^= 1;             // column 5, row 10: 1.0 becomes 1.0000001
            std::ofstream(path("theirs.depth"), std::ios::binary) << depth;
        }
        for (const char* name : {"theirs.ppm", "theirs.png"}) {
            ASSERT_TRUE(writeImage(theirs, path(name), error)) << error;
            const ToolRun r = run({"--size", "72x56", "--against", path(name), "--against-depth",
                                   path("theirs.depth"), "--mask", path("mask.png")});
            EXPECT_EQ(r.status, changed ? 3 : 0) << r.errors;
            for (const char* words :
                 {changed ? "1 of 4032 pixels differ (0.0248%), largest channel difference 5, first at 30,35 (row 20 from the top)"
                          : "0 of 4032 pixels differ (0%), largest channel difference 0; md5",
                  changed ? "1 of 4032 values differ (0.0248%), largest difference 1.1920929e-07, first at "
                            "5,10 (row 45 from the top): ours 1, theirs 1.0000001; md5"
                          : "0 of 4032 values differ (0%), largest difference 0; md5"})
                EXPECT_NE(r.output.find(words), std::string::npos) << words << "\n" << r.output;
            const Bytes mask = pngPixels(path("mask.png"), 72, 56);
            for (std::size_t p = 0; p < mask.size() / 3; ++p) {
                const bool red = mask[p * 3] == 255 && mask[p * 3 + 1] == 0;
                EXPECT_EQ(red, changed && (p == 20 * 72 + 30 || p == 45 * 72 + 5)) << p;
            }
        }
    }
}

// The JSON history has exactly the documented keys, in order; a pixel nothing reached has
// no fragments and the cleared colour and depth.
TEST_F(SnapshotTool, HistoryJsonKeysAndAnEmptyPixel)
{
    using Json = nlohmann::ordered_json;
    const ToolRun empty = run({"--size", "72x56", "--history", "0,0", "--json"});
    ASSERT_EQ(empty.status, 0) << empty.errors;
    EXPECT_EQ(Json::parse(empty.output), Json::parse(R"({"pixel": [0, 0], "size": [72, 56], "fragments": [],
                                                       "final": {"depth": 1.0, "color": [1.0, 1.0, 1.0, 1.0]}})"));
    const Json h = Json::parse(run({"--size", "72x56", "--history", "20,28", "--json"}).output);
    auto keys = [](const Json& object, std::string names = "") {
        for (const auto& item : object.items())
            names += item.key() + " ";
        return names;
    };
    EXPECT_EQ(keys(h), "pixel size fragments final ");
    ASSERT_EQ(h["fragments"].size(), 2u);
    EXPECT_EQ(keys(h["fragments"][0]), "mesh polygon ring side span depth stored passed normal lookup ");
    EXPECT_EQ(keys(h["fragments"][1]), "mesh polygon ring side span depth stored passed normal ");
    EXPECT_EQ(keys(h["fragments"][0]["span"]), "left right columns ");
    EXPECT_EQ(keys(h["fragments"][0]["lookup"]), "unit_normal eye texel bytes color ");
    EXPECT_EQ(h["fragments"][0]["lookup"]["color"], h["final"]["color"]);
}

// Every view writes its picture; overdraw and texels print a line.
TEST_F(SnapshotTool, EveryViewWritesItsPicture)
{
    for (const std::string view : {"color", "depth", "normals", "polygons", "edges", "overdraw", "texels"}) {
        const ToolRun r = run({"--size", "72x56", "--view", view, "-o", path(view + ".png")});
        const std::string line = view == "overdraw" ? "overdraw: " : view == "texels" ? "texels read: " : "";
        EXPECT_EQ(r.status, 0) << view << r.errors;
        EXPECT_TRUE(line.empty() ? r.output.empty() : r.output.rfind(line, 0) == 0) << view << r.output;
        const int side = view == "texels" ? 512 : 0;
        EXPECT_FALSE(pngPixels(path(view + ".png"), side ? side : 72, side ? side : 56).empty()) << view;
    }
}

} // namespace
