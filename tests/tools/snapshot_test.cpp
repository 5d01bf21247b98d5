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
#include <map>
#include <set>
#include <sstream>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "tests/support/recorded_table.h"
#include "files/depth_file.h"
#include "files/image_file.h"
#include "inspect/comparison.h"
#include "inspect/exact_number.h"
#include "tools/sphaerix-snapshot/frame_timing.h"
#include "inspect/difference_picture.h"
#include "inspect/md5.h"
#include "files/png_file.h"

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
    // The snapshot in that directory, on that texture (a later --texture wins), and `args`;
    // or another of the tools, by name.
    ToolRun run(const Args& args, const std::string& tool = "") const
    {
        std::string command = "cd " + dir + " && env -u DISPLAY " +
                              (tool == "sphaerix-spheremap"     ? "'" SPHEREMAP_TOOL "'"
                               : tool == "sphaerix-conformance" ? "'" CONFORMANCE_TOOL "'"
                                                                : "'" SNAPSHOT_TOOL "' --texture distinct.raw");
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

// Worked out by hand on a tiny case: what --compare and --frames print. Digests are
// MD5's (RFC 1321's examples, one- and two-block padding); floats print to read back.
TEST(SnapshotReports, DifferenceAndTiming)
{
    const RgbImage a{3, 2, Bytes(18, 100)};
    RgbImage b = a;
    b.rgb[4] = 101; // pixel 1, green, one level
    b.rgb[15] = 0;  // pixel 5, red, 100 levels
    const DifferencePicture d = differencePicture(a, b);
    EXPECT_TRUE(d.amplified.rgb[4] == 40 && d.amplified.rgb[15] == 255 && d.amplified.rgb[3] == 0);
    EXPECT_EQ(describeDifferencePicture(d), "differing pixels: 2 of 6 (33.33%), mean absolute difference: "
                                     "r 16.667, g 0.167, b 0.000");
    EXPECT_EQ(describeTiming({9.0, 1.0, 4.0, 2.0}), "frames: 4, median: 3.000 ms");
    EXPECT_EQ(channelByte(100.6f / 255.0f), 101); // rounded, not truncated
    EXPECT_EQ(compareDepths({NAN, -0.0f, 0.5f}, {NAN, 0.0f, 0.25f}, 3, 1).count, 1); // only 0.5 differs
    for (const auto& [text, digest] : {std::pair<std::string, std::string>{"abc", "900150983cd24fb0d6963f7d28e17f72"},
                                       {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"}})
        EXPECT_EQ(md5Hex(reinterpret_cast<const unsigned char*>(text.data()), text.size()), digest);
    for (float f : {0.1f, -2.5e-7f, 3.4028235e38f, 1e-45f, 16777217.0f})
        EXPECT_EQ(std::strtof(exactJson(f).dump().c_str(), nullptr), f) << exactText(f);
}

// Recorded runs (recorded_runs.txt, one JSON object a line): the exit status, standard
// output and error, and every file written or changed, for frames of views the options
// give (PPM, PNG, depth; the defaults; empty frames, the scene behind the eye or off to
// the side), bad options (status 2 and the usage), unreadable files (1), histories,
// traces and every view; and the sphere-map tool's commands, files and failures. A bad
// run leaves no file. The last rows pair every option of each tool that writes a file
// with every option that reads one, and with the other writers, each pair naming one
// file in another spelling (a link, a hard link, "sub/..", "./"): refused, status 2,
// nothing written. The frames were first checked pixel for pixel against the program's
// own pipeline. SPHAERIX_RECORD_CASES=FILE writes the table anew.
TEST_F(SnapshotTool, RecordedRunsGiveTheRecordedOutputs)
{
    using Json = nlohmann::ordered_json;
    std::ofstream(path("short.raw")) << std::string(1000, '\7');
    std::ofstream(path("long.raw")) << std::string(196609, '\7');
    std::ofstream(path("small.ppm")) << "P6\n2 2\n255\n" << std::string(12, '\7');
    std::ofstream(path("text.png")) << "just some text, long enough to have a signature's worth\n";
    std::string error;
    ASSERT_TRUE(writeImage(RgbImage{64, 64, Bytes(64 * 64 * 3, 90)}, path("whole.png"), error)) << error;
    std::filesystem::copy_file(path("whole.png"), path("cut.png"));
    std::filesystem::resize_file(path("cut.png"), std::filesystem::file_size(path("whole.png")) / 2);
    // Files of an empty 8x6 frame (all white) in the forms another rasterizer may write:
    // white at alpha 0, 16-bit samples that round up to 255, a depth file 4 bytes long.
    std::ofstream(path("empty.ppm")).flush();
    std::ofstream(path("text.ppm")) << "a text file named like a picture\n";
    PngData clear{8, 6, PNG_COLOR_TYPE_RGBA, 8, false, {}, {}, {}};
    for (int i = 0; i < 48; ++i)
        clear.pixels.insert(clear.pixels.end(), {255, 255, 255, 0});
    ASSERT_TRUE(writePng(path("clear.png").c_str(), clear, error)) << error;
    std::string wide = "P6\n8 6\n65535\n", samples = "P3 8 6 65535\n";
    for (int i = 0; i < 144; ++i)
        wide += "\xff\x7f", samples += "65407 "; // 254.502 levels of 255: rounds to 255
    std::ofstream(path("deep.ppm"), std::ios::binary) << wide;
    std::ofstream(path("samples.ppm")) << samples;
    std::ofstream(path("odd.ppm")) << "P3 8 6 1000\n";
    std::ofstream(path("longer.depth"), std::ios::binary) << std::string(8 * 6 * 4 + 4, '\0');
    // A picture smaller than the texture, each pixel different: the upscaling's edges.
    PngData tiny{3, 2, PNG_COLOR_TYPE_RGB, 8, false, {}, {}, {}};
    for (int i = 0; i < 18; ++i)
        tiny.pixels.push_back(static_cast<unsigned char>(i * 14 + 3));
    ASSERT_TRUE(writePng(path("tiny.png").c_str(), tiny, error)) << error;
    std::set<std::string> given = {"distinct.raw", "short.raw",   "long.raw",    "small.ppm", "text.png",
                                   "whole.png",    "cut.png",     "empty.ppm",   "text.ppm",  "clear.png",
                                   "deep.ppm",     "samples.ppm", "odd.ppm",     "longer.depth", "tiny.png"};
    std::ofstream(path("longest.raw")) << std::string(300000, '\7'); // its size, not the bytes read
    std::ofstream(path("zeros.depth")) << std::string(8 * 6 * 4, '\0');  // a depth-only difference
    // Other names of given files; a case list; a tester's picture where our reference goes.
    std::filesystem::create_directories(path("mine"));
    std::filesystem::create_symlink("whole.png", path("link.png"));
    std::filesystem::create_hard_link(path("whole.png"), path("hard.png"));
    std::filesystem::create_symlink("nowhere.png", path("gone.png"));
    std::ofstream(path("one.txt")) << "speck 5x4 -135 -60 0,0 0.25\n";
    std::ofstream(path("own.txt")) << "speck 5x4 -135 -60 0,0 0.25 mine/speck.png\n";
    std::filesystem::copy_file(path("tiny.png"), path("mine/speck.png"));
    given.insert({"longest.raw", "zeros.depth", "link.png", "hard.png", "gone.png", "one.txt", "own.txt", "mine", "mine/speck.png"});
    // A 2x1 picture behind every header form: blanks of each kind, comments straight after
    // any token (the one after maxval ends with the blank that starts the pixels).
    const char* headers[] = {"P6\n2 1\n255\n", "P6\t2\v1\f255\r", "P6#a\n2 1 255\n", "P6 2#b\n1 255\n",
                             "P6 2 1#c 7\n255\n", "P6 2 1 255#d\n", "P6\n#e\n\n#f\n2 1\n255 ", "P3 2 1 255 65 66 67#g\n68\t69 70",
                             "P6 2 1 255#h", "P6 2 1#i", "P6 2x1 255 ", "P3 2 1 255 65 66 67 68 69"};
    for (int n = 0; const char* header : headers) {
        const std::string name = "header" + std::to_string(n++) + ".ppm";
        std::ofstream(path(name), std::ios::binary) << header << (header[1] == '6' ? "ABCDEF" : "");
        given.insert(name);
    }
    std::map<std::string, std::string> givenBytes;
    for (const std::string& name : given)
        givenBytes[name] = readFile(path(name));
    RecordedTable table(RECORDED_RUNS, "SPHAERIX_RECORD_CASES");
    ASSERT_TRUE(table.in) << RECORDED_RUNS;
    int cases = 0;
    for (std::string line; std::getline(table.in, line); ++cases) {
        Json expected = Json::parse(line), actual = expected;
        ToolRun r = run(expected["args"].get<Args>(), expected.value("tool", ""));
        for (std::string* text : {&r.output, &r.errors}) // free of where the tools were built
            for (const char* tool : {SNAPSHOT_TOOL, SPHEREMAP_TOOL, CONFORMANCE_TOOL, " " SPHAERIX_VERSION "\n"})
                for (std::size_t at; (at = text->find(tool)) != std::string::npos;)
                    text->replace(at, std::strlen(tool), tool[0] == ' ' ? " VERSION\n" : std::filesystem::path(tool).filename());
        // The timing line's median varies: "\nframes: N, median: T ms".
        if (const std::size_t line = r.output.find("\nframes: "); line != std::string::npos) {
            const std::size_t from = r.output.find(", median: ", line) + 10;
            r.output.replace(from, r.output.find_first_not_of("0123456789.", from) - from, "T");
        }
        actual["status"] = r.status, actual["out"] = r.output, actual["err"] = r.errors, actual["files"] = Json::object();
        // Files made or changed, listed and then removed or restored for the next run.
        std::vector<std::string> made;
        for (const auto& file : std::filesystem::recursive_directory_iterator(dir)) {
            const std::string name = std::filesystem::relative(file.path(), dir);
            if (file.is_directory() && given.count(name) == 0)
                made.push_back(name);
            if (file.is_directory() || (given.count(name) && readFile(file.path()) == givenBytes[name]))
                continue;
            // PNGs by their pixels (the encoder's choices aside), other files whole.
            const std::string raw = readFile(file.path());
            const Bytes bytes = name.ends_with(".png") ? picture(name) : Bytes(raw.begin(), raw.end());
            actual["files"][name] = md5Hex(bytes.data(), bytes.size());
            made.push_back(name);
        }
        for (const std::string& name : made)
            if (given.count(name))
                std::ofstream(path(name), std::ios::binary) << givenBytes[name];
            else
                std::filesystem::remove_all(path(name));
        table.out << actual.dump() << '\n';
        EXPECT_EQ(actual.dump(2), expected.dump(2)) << "case " << cases + 1 << " of recorded_runs.txt";
    }
    EXPECT_GE(cases, 50);
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
            // The colour difference red, the depth difference blue, each ringed in yellow.
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
            for (std::size_t p = 0; p < mask.size() / 3; ++p) {
                const int x = int(p % 72), row = int(p / 72);
                const bool nearColor = std::max(std::abs(x - 30), std::abs(row - 20)) == 3;
                const bool nearDepth = std::max(std::abs(x - 5), std::abs(row - 45)) == 3;
                const unsigned char* m = &mask[p * 3];
                EXPECT_EQ(m[0] == 255 && m[1] == 0 && m[2] == 0, changed && p == 20 * 72 + 30) << p;
                EXPECT_EQ(m[0] == 40 && m[1] == 90 && m[2] == 255, changed && p == 45 * 72 + 5) << p;
                EXPECT_EQ(m[0] == 255 && m[1] == 220 && m[2] == 0, changed && (nearColor || nearDepth)) << p;
            }
        }
    }
}

} // namespace
