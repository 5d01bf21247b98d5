#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "tests/support/recorded_table.h"
#include "tools/snapshot/against.h"
#include "tools/snapshot/frame_timing.h"
#include "tools/snapshot/image_difference.h"
#include "tools/snapshot/md5.h"
#include "tools/png/png_io.h"

namespace {

using Args = std::vector<std::string>;
using Bytes = std::vector<unsigned char>;

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

// A fresh directory a test, holding a texture whose texels all differ; the built tool run
// there with no DISPLAY, so any X access fails.
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
    // The tool in that directory, on that texture (a later --texture wins), and `args`.
    ToolRun run(const Args& args) const
    {
        std::string command = "cd " + dir + " && env -u DISPLAY '" SNAPSHOT_TOOL "' --texture distinct.raw";
        for (const std::string& arg : args)
            command += " '" + arg + "'";
        const int status = std::system((command + " >../" + name() + ".out 2>../" + name() + ".err").c_str());
        const std::string out = dir + "/../" + name() + ".out", err = dir + "/../" + name() + ".err";
        ToolRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
        std::filesystem::remove(out), std::filesystem::remove(err);
        return r;
    }
    std::string name() const { return dir.substr(dir.rfind('/') + 1); }
    Bytes picture(const std::string& name) const
    {
        RgbImage image;
        std::string error;
        return readImageFile(path(name), image, error) ? image.rgb : Bytes{};
    }
};

// Worked out by hand on a tiny case: what --compare and --frames print.
TEST(SnapshotReports, DifferenceAndTiming)
{
    const RgbImage a{3, 2, Bytes(18, 100)};
    RgbImage b = a;
    b.rgb[4] = 101; // pixel 1, green, one level
    b.rgb[15] = 0;  // pixel 5, red, 100 levels
    const ImageDifference d = compareImages(a, b);
    EXPECT_TRUE(d.amplified.rgb[4] == 40 && d.amplified.rgb[15] == 255 && d.amplified.rgb[3] == 0);
    EXPECT_EQ(describeDifference(d), "differing pixels: 2 of 6 (33.33%), mean absolute difference: "
                                     "r 16.667, g 0.167, b 0.000");
    EXPECT_EQ(describeTiming({9.0, 1.0, 4.0, 2.0}), "frames: 4, median: 3.000 ms");
    EXPECT_EQ(channelByte(100.6f / 255.0f), 101); // rounded, not truncated
}

// Recorded runs (snapshot_cases.txt, one JSON object a line): the exit status, standard
// output and error, and the pixels of every file written, for bad options (status 2 and
// the usage), unreadable files (1), histories, traces and every view. A bad run leaves
// no file. SPHAERIX_RECORD_CASES=FILE writes the table anew from this build's runs.
TEST_F(SnapshotTool, RecordedRunsGiveTheRecordedOutputs)
{
    using Json = nlohmann::ordered_json;
    std::ofstream(path("short.raw")) << std::string(1000, '\7');
    std::ofstream(path("small.ppm")) << "P6\n2 2\n255\n" << std::string(12, '\7');
    const std::set<std::string> given = {"distinct.raw", "short.raw", "small.ppm"};
    RecordedTable table(SNAPSHOT_CASES, "SPHAERIX_RECORD_CASES");
    ASSERT_TRUE(table.in) << SNAPSHOT_CASES;
    int cases = 0;
    for (std::string line; std::getline(table.in, line); ++cases) {
        Json expected = Json::parse(line), actual = expected;
        ToolRun r = run(expected["args"].get<Args>());
        for (std::string* text : {&r.output, &r.errors}) // free of where the tool was built
            for (std::size_t at; (at = text->find(SNAPSHOT_TOOL)) != std::string::npos;)
                text->replace(at, std::strlen(SNAPSHOT_TOOL), "sphaerix-snapshot");
        actual["status"] = r.status, actual["out"] = r.output, actual["err"] = r.errors, actual["files"] = Json::object();
        for (const auto& file : std::filesystem::directory_iterator(dir)) {
            const std::string name = file.path().filename();
            if (given.count(name) == 0) {
                Bytes bytes = picture(name); // pictures by their pixels, other files whole
                if (bytes.empty()) {
                    const std::string raw = readFile(file.path());
                    bytes.assign(raw.begin(), raw.end());
                }
                actual["files"][name] = md5Hex(bytes.data(), bytes.size());
                std::filesystem::remove(file.path());
            }
        }
        table.out << actual.dump() << '\n';
        EXPECT_EQ(actual.dump(2), expected.dump(2)) << "case " << cases + 1 << " of snapshot_cases.txt";
    }
    EXPECT_GE(cases, 50);
}

// Exact pixels (PPM and PNG, top row first) and depth (bottom row first, as the buffer),
// bit for bit, for a view the options give, for the start-up view of the defaults, and
// for empty frames: the scene behind the eye, where its device depth lies beyond 1, or
// off to the side. Timed frames follow the image and leave it alone.
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
        ASSERT_TRUE(ppm.status == 0 && png.status == 0) << ppm.errors << png.errors;
        EXPECT_EQ(ppm.output, "");
        double median = -1;
        char line[96];
        std::sscanf(png.output.c_str(), "frames: 3, median: %lf ms", &median);
        EXPECT_EQ(png.output, (std::snprintf(line, sizeof line, "frames: 3, median: %.3f ms\n", median), line));

        buildScene(theScene, texture.c_str());
        angleZ = view[0], angleX = view[1], panX = view[2], panY = view[3], zoom = view[4];
        setupCamera(theScene, w, h);
        renderSoftwareFrame(theScene, w, h);
        Bytes expected;
        auto byte = [](float c) { return static_cast<unsigned char>(std::clamp(std::lround(c * 255.0), 0L, 255L)); };
        for (int y = h - 1; y >= 0; --y)
            for (int x = 0; x < w; ++x) {
                const Color4& c = ColorBuffer[std::size_t(y) * w + x];
                expected.insert(expected.end(), {byte(c.r), byte(c.g), byte(c.b)});
            }
        EXPECT_TRUE(readFile(path("a.ppm")) == "P6\n72 56\n255\n" + std::string(expected.begin(), expected.end()));
        EXPECT_TRUE(picture("a.png") == expected);
        EXPECT_TRUE(readFile(path("d.bin")) == std::string(reinterpret_cast<const char*>(DepthBuffer.data()), w * h * 4));
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
        for (const char* name : {"theirs.ppm", "theirs.png", "theirs16.png"}) {
            PngData sixteen{72, 56, PNG_COLOR_TYPE_RGB, 16, false, {}, {}, {}};
            for (unsigned char b : theirs.rgb) { // 0.39 below b * 257, which rounds to b, not to b - 1
                const int level = b ? b * 257 - 100 : 0;
                sixteen.pixels.insert(sixteen.pixels.end(), {static_cast<unsigned char>(level >> 8),
                                                             static_cast<unsigned char>(level & 255)});
            }
            const bool deep = std::string(name) == "theirs16.png";
            ASSERT_TRUE(deep ? writePng(path(name).c_str(), sixteen, error) : writeImage(theirs, path(name), error));
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
            const Bytes mask = picture("mask.png");
            ASSERT_EQ(mask.size(), theirs.rgb.size());
            for (std::size_t p = 0; p < mask.size() / 3; ++p)
                EXPECT_EQ(mask[p * 3] == 255 && mask[p * 3 + 1] == 0, changed && (p == 20 * 72 + 30 || p == 45 * 72 + 5)) << p;
        }
    }
}

} // namespace
