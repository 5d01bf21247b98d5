#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/snapshot/against.h"
#include "tools/snapshot/image_file.h"
#include "texture/generate_sphere_map.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path)
{
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

struct ToolRun {
    int status = -1;
    std::string output, errors;
};

// The tool run in `dir`, its output kept.
ToolRun runTool(const fs::path& dir, const std::string& args)
{
    const std::string command =
        "cd '" + dir.string() + "' && '" CONFORMANCE_TOOL "' " + args + " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    return {
        WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(dir / "out.txt"), readFile(dir / "err.txt")};
}

const char* const smallList = "# three views\n"
                              "wide 40x30 -135 -60 0,0 0.25\n"
                              "close 17x23 -135 -80 0,0 8   # through the rim\n"
                              "speck 5x4 -135 -60 0,0 0.25\n";

// Their pixel at window column 3, row 2 from the top of "wide", one level off, as a PPM.
void changePixel(const fs::path& d)
{
    RgbImage image;
    std::string error;
    ASSERT_TRUE(readImageFile((d / "wide.png").string(), image, error)) << error;
    image.rgb[(2 * 40 + 3) * 3 + 1] ^= 1;
    fs::remove(d / "wide.png");
    ASSERT_TRUE(writeImage(image, (d / "wide.ppm").string(), error)) << error;
}

// Value 45 (window 5,1) of "wide", its lowest mantissa bit flipped.
void changeDepth(const fs::path& d)
{
    std::string bytes = readFile(d / "close.depth");
    bytes[45 * 4] ^= 1;
    writeFile(d / "close.depth", bytes);
}

struct ConformanceRun {
    const char* what;
    void (*change)(const fs::path& dir); // on a directory of our reference files
    const char* args;
    int status;
    const char* output; // found in what the tool prints
};

// A directory of our own files, then one fault in it at a time; the three small cases
// keep every run short.
const ConformanceRun runs[] = {
    {"our own files", [](const fs::path&) {}, "--cases list.txt theirs", 0,
        "equal    wide 40x30\nequal    close 17x23\nequal    speck 5x4\n3 passed, 0 failed (0 differ, 0 "
        "missing, 0 unreadable)\n"},
    {"one pixel", changePixel, "--cases list.txt theirs", 3,
        "DIFFERS  wide 40x30: colour: 1 of 1200 pixels differ, first at 3,27 (row 2 from the top): ours 255 255 255, "
     "theirs 255 254 255; depth equal\nequal    close 17x23\nequal    speck 5x4\n2 passed, 1 failed (1 differ, 0 missing, "
     "0 unreadable)\nour history of wide's first difference: sphaerix-snapshot --size 40x30 --angle-z -135 --angle-x "
     "-60 --pan 0,0 --zoom 0.25 --history 3,27\n"},
    {"one depth value", changeDepth, "--cases list.txt theirs", 3,
        "DIFFERS  close 17x23: colour equal; depth: 1 of 391 values differ, first at 11,2 (row 20 from the "
        "top)"},
    {"no depth file", [](const fs::path& d) { fs::remove(d / "speck.depth"); }, "--cases list.txt theirs", 3,
        "MISSING  speck 5x4: no speck.depth; colour equal\n2 passed, 1 failed (0 differ, 1 missing, 0 "
        "unreadable)"},
    {"no files", [](const fs::path& d) { fs::remove(d / "speck.depth"), fs::remove(d / "speck.png"); },
        "--cases list.txt theirs", 3, "MISSING  speck 5x4: no speck.png or speck.ppm; no speck.depth\n"},
    {"another height", [](const fs::path& d) {
         std::string error;
         ASSERT_TRUE(writeImage(RgbImage{5, 3, std::vector<unsigned char>(45)}, (d / "speck.ppm").string(), error));
         fs::remove(d / "speck.png");
     },
     "--cases list.txt theirs", 1, "ERROR    speck 5x4: \"theirs/speck.ppm\" is 5x3; the frame is 5x4"},
    {"not an image", [](const fs::path& d) { writeFile(d / "speck.png", "P6 not really\n"); },
        "--cases list.txt theirs", 1, "ERROR    speck 5x4: \"theirs/speck.png\""},
    {"short depth", [](const fs::path& d) { fs::resize_file(d / "speck.depth", 79); },
        "--cases list.txt theirs", 1, "\"theirs/speck.depth\" has 79 bytes; the frame's depth has 80"},
    {"no texture", [](const fs::path&) {}, "--cases list.txt --texture none.raw theirs", 1,
        "make it with `sphaerix-spheremap generate none.raw`"},
    {"bad list", [](const fs::path& d) { writeFile(d / "../bad.txt", "a 4x4 0 0 0,0 1\nb 4x0 0 0 0,0 1\n"); },
        "--cases bad.txt theirs", 1, "bad.txt line 2: size \"4x0\" is not WxH"},
    {"a case's own texture", [](const fs::path& d) { writeFile(d / "../own.txt", "a 4x4 0 0 0,0 1 maps/none.raw\n"); },
     "--cases own.txt theirs", 1, "\"./maps/none.raw\""},
    {"no directory", [](const fs::path&) {}, "--cases list.txt", 2, "name a DIR to compare"},
    {"ours over theirs", [](const fs::path&) {}, "--cases list.txt --write-reference ./theirs theirs", 2,
     "would overwrite"},
    {"unknown option", [](const fs::path&) {}, "--cases list.txt --colour theirs", 2, "--colour"},
    {"unknown case", [](const fs::path&) {}, "--cases list.txt --only wide,far theirs", 2, "no case \"far\""},
};

class ConformanceTool : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override
    {
        char name[] = "/tmp/conformance_test_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        const std::vector<unsigned char> map = generateSphereMap();
        writeFile(dir / "sphere.raw", std::string(map.begin(), map.end()));
        writeFile(dir / "list.txt", smallList);
    }
    void TearDown() override { fs::remove_all(dir); }
};

TEST_F(ConformanceTool, StatusesAndLines)
{
    const ToolRun made = runTool(dir, "--cases list.txt --write-reference ours");
    ASSERT_EQ(made.status, 0) << made.errors;
    for (const ConformanceRun& run : runs) {
        fs::remove_all(dir / "theirs");
        fs::copy(dir / "ours", dir / "theirs");
        run.change(dir / "theirs");
        const ToolRun r = runTool(dir, run.args);
        EXPECT_EQ(r.status, run.status) << run.what << "\n" << r.output << r.errors;
        EXPECT_NE((r.output + r.errors).find(run.output), std::string::npos) << run.what << "\n"
                                                                             << r.output << r.errors;
    }
}

// The report holds the failing case's mask as an embedded PNG and our history of its
// first differing pixel; and the list built into the tool passes on our own frames.
TEST_F(ConformanceTool, ReportAndBuiltInList)
{
    ASSERT_EQ(runTool(dir, "--cases list.txt --write-reference theirs").status, 0);
    changePixel(dir / "theirs");
    ASSERT_EQ(runTool(dir, "--cases list.txt --report report.html theirs").status, 3);
    const std::string page = readFile(dir / "report.html");
    EXPECT_NE(page.find("<section class=\"differs\" id=\"wide\">"), std::string::npos);
    EXPECT_NE(page.find("src=\"data:image/png;base64,iVBORw0KGgo"), std::string::npos); // the PNG signature
    EXPECT_NE(page.find("pixel 3,27 of 40x30 (row 2 counted from the top)"), std::string::npos) << page;
    EXPECT_EQ(page.find("src=\"theirs"), std::string::npos);

    ASSERT_EQ(runTool(dir, "--write-reference all").status, 0);
    const ToolRun all = runTool(dir, "all");
    EXPECT_EQ(all.status, 0) << all.output;
    EXPECT_NE(all.output.find(" passed, 0 failed (0 differ, 0 missing, 0 unreadable)"), std::string::npos)
        << all.output;
}

} // namespace
