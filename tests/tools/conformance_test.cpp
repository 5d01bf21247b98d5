#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <nlohmann/json.hpp>

#include "inspect/exact_number.h"
#include "files/image_file.h"
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

// The list --random 8 --seed 20261207 gives, recorded.
const char* const randomList =
    "speck             5x4        -135      -60       0,0         0.25\n"
    "random-20261207-1 262x762    790957.5  465949    -165,71.75  -34.25\n"
    "random-20261207-2 679x983    199.875   -118.375  934,29.75   3.625\n"
    "random-20261207-3 96x424     24965.25  -275.625  -159.75,118.75 -36.75\n"
    "random-20261207-4 633x588    -125.125  -55.125   -92,153.25  7\n"
    "random-20261207-5 820x143    -740507.75 -197997.75 137.5,-117  8.25\n"
    "random-20261207-6 17x1011    104.875   -275.625  -178.75,-191 -15.75\n"
    "random-20261207-7 2x174      243.5     653931    82.5,-69.5  14.875\n"
    "random-20261207-8 11x11      -2.625    -109.75   -39.75,101.25 14.25\n";

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
    {"unreadable, then a difference", [](const fs::path& d) { writeFile(d / "wide.png", "P6 not really\n"), changeDepth(d); },
        "--cases list.txt theirs", 1, "2 failed (1 differ, 0 missing, 1 unreadable)"},
    {"our own files again", [](const fs::path&) {}, "--cases list.txt --write-reference theirs", 0, "wrote 3 cases"},
    {"one of ours changed since", changeDepth, "--cases list.txt --write-reference theirs", 2,
        "files in \"theirs\" that it did not write: close.depth (--replace"},
    {"no texture", [](const fs::path&) {}, "--cases list.txt --texture none.raw theirs", 1,
        "make it with `sphaerix-spheremap generate none.raw`"},
    {"bad list", [](const fs::path& d) { writeFile(d / "../bad.txt", "a 4x4 0 0 0,0 1\nb 4x0 0 0 0,0 1\n"); },
        "--cases bad.txt theirs", 1, "bad.txt line 2: size \"4x0\" is not WxH"},
    {"a case's own texture", [](const fs::path& d) { writeFile(d / "../own.txt", "a 4x4 0 0 0,0 1 maps/none.raw\n"); },
     "--cases own.txt theirs", 1, "\"./maps/none.raw\""},
    {"a case's own texture, black", [](const fs::path& d) {
         writeFile(d / "../black.txt", "close 17x23 -135 -80 0,0 8 black.raw\n");
         writeFile(d / "../black.raw", std::string(196608, '\0'));
     },
     "--cases black.txt theirs", 3, "DIFFERS  close 17x23: colour:"},
    {"no directory", [](const fs::path&) {}, "--cases list.txt", 2, "name a DIR to compare"},
    {"ours over theirs", [](const fs::path&) {}, "--cases list.txt --write-reference ./theirs theirs", 2,
     "would overwrite"},
    {"unknown option", [](const fs::path&) {}, "--cases list.txt --colour theirs", 2, "--colour"},
    {"unknown case", [](const fs::path&) {}, "--cases list.txt --only wide,far theirs", 2, "no case \"far\""},
    {"run and DIR", [](const fs::path&) {}, "--cases list.txt --run './r {color} {depth}' theirs", 2,
        "no DIR beside it"},
    {"no colour placeholder", [](const fs::path&) {}, "--cases list.txt --run './r {colour} {depth}'", 2,
        "--run: the command has no {color} placeholder"},
    {"no depth placeholder", [](const fs::path&) {}, "--cases list.txt --run './r {color}'", 2, "no {depth}"},
    {"keep without run", [](const fs::path&) {}, "--cases list.txt --keep k theirs", 2, "--keep keeps"},
    {"no jobs", [](const fs::path&) {}, "--cases list.txt --jobs 0 theirs", 2, "--jobs 0: at least 1"},
    {"no time", [](const fs::path&) {}, "--cases list.txt --timeout 0 theirs", 2, "--timeout: a number of"},
    {"seed alone", [](const fs::path&) {}, "--cases list.txt --seed 4 theirs", 2, "--seed needs --random N"},
    {"json without file", [](const fs::path&) {}, "--cases list.txt theirs --json", 2, "--json needs a FILE"},
    {"junit without run", [](const fs::path&) {}, "--cases list.txt --write-reference r --junit j.xml", 2,
        "need a DIR or --run"},
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

// A fake rasterizer around our snapshot: it draws every case right, but "speck" the
// way its first argument says.
const char* const fakeRasterizer = R"sh(#!/bin/sh
kind=$1 name=$2 w=$3 h=$4 az=$5 ax=$6 px=$7 py=$8 zoom=$9 tex=${10} color=${11} depth=${12}
snap() { "$SNAPSHOT" --angle-z "$az" --angle-x "$ax" --pan "$px,$py" --zoom "$zoom" --texture "$tex" "$@"; }
# One byte of a file changed in place.
poke() { printf "$2" | dd of="$1" bs=1 seek="$3" conv=notrunc 2>/dev/null; }
header=$(printf 'P6\n%s %s\n255\n' "$w" "$h" | wc -c)
[ "$name" = speck ] || kind=equal
case $kind in
equal) snap --size ${w}x$h -o "$color" --depth "$depth" ;;
pixel) snap --size ${w}x$h -o "$color.ppm" --depth "$depth" && mv "$color.ppm" "$color" &&
       poke "$color" '\007' $((header + 1)) ;; # the top left pixel's green
depth) snap --size ${w}x$h -o "$color" --depth "$depth" && poke "$depth" '\001' 0 ;; # window 0,0
both) snap --size ${w}x$h -o "$color.ppm" --depth "$depth" && mv "$color.ppm" "$color" &&
      poke "$color" '\007' $((header + 1)) && poke "$depth" '\001' 0 ;;
no-depth) snap --size ${w}x$h -o "$color" ;;
no-color) snap --size ${w}x$h -o "$color.elsewhere.png" --depth "$depth" ;;
nothing) ;;
fails) echo "fake: the scene is gone" >&2; exit 2 ;;
garbled) printf 'fake: \377 in UTF-8 \303( \300\257 \301\277\n' >&2; exit 3 ;; # bad bytes, overlong forms
crash) echo "fake: drawing" >&2; echo "fake: about to crash" >&2; kill -SEGV $$ ;;
hang) echo "fake: waiting" >&2; sleep 30 & echo $! >sleeper.pid; wait ;;
size) snap --size $((w + 1))x$h -o "$color" --depth "$depth" ;;
text) snap --size ${w}x$h -o "$color" --depth "$depth" && echo "a picture, honestly" >"$color" ;;
esac
)sh";

const char* const fakeArgs = " {name} {width} {height} {az} {ax} {panx} {pany} {zoom} {texture} {color} {depth}";

struct FakeRun {
    const char* command; // the kind of fake, or a whole command
    int status;
    const char* line;    // speck's, whole; the other two cases stay equal
    const char* junit;   // speck's test case in the JUnit file, its time cut out
    const char* counts;  // of the summary line, from "failed"
    const char* first;   // speck's first difference in the JSON
};

const char* const commandFailed = "1 failed (0 differ, 0 missing, 0 unreadable, 1 command failed)";

const FakeRun fakes[] = {
    {"equal", 0, "equal    speck 5x4", "<testcase classname=\"sphaerix-conformance\" name=\"speck\"/>",
        "0 failed (0 differ, 0 missing, 0 unreadable, 0 command failed)", "null"},
    {"pixel", 3,
        "DIFFERS  speck 5x4: colour: 1 of 20 pixels differ, first at 0,3 (row 0 from the top): ours 255 255 255, "
        "theirs 255 7 255; depth equal",
        "<failure type=\"differs\" message=\"speck 5x4: colour: 1 of 20 pixels differ, first at 0,3 (row 0 from the "
        "top): ours 255 255 255, theirs 255 7 255; depth equal\">",
        "1 failed (1 differ, 0 missing, 0 unreadable, 0 command failed)",
        R"({"x":0,"y":3,"row_from_top":0,"ours":{"color":[255,255,255],"depth":1.0},"theirs":{"color":[255,7,255],"depth":1.0}})"},
    {"depth", 3,
        "DIFFERS  speck 5x4: colour equal; depth: 1 of 20 values differ, first at 0,0 (row 3 from the top): ours 1, "
        "theirs 1.0000001",
        "<failure type=\"differs\" message=\"speck 5x4: colour equal; depth: 1 of 20 values differ",
        "1 failed (1 differ, 0 missing, 0 unreadable, 0 command failed)",
        R"({"x":0,"y":0,"row_from_top":3,"ours":{"color":[255,255,255],"depth":1.0},"theirs":{"color":[255,255,255],"depth":1.0000001}})"},
    {"no-depth", 1, "ERROR    speck 5x4: the command exited with status 0; no speck.depth; colour equal",
        "<error type=\"command failed\" message=\"speck 5x4: the command exited with status 0; no speck.depth; "
        "colour equal\">",
        commandFailed, "null"},
    {"no-color", 1, "ERROR    speck 5x4: the command exited with status 0; no speck.png or speck.ppm; depth equal",
        "<error type=\"command failed\"", commandFailed, "null"},
    {"nothing", 1, "ERROR    speck 5x4: the command exited with status 0; no speck.png or speck.ppm; no speck.depth",
        "<error type=\"command failed\"", commandFailed, "null"},
    {"fails", 1, "ERROR    speck 5x4: the command exited with status 2; its standard error ends: fake: the scene is gone",
        "<error type=\"command failed\" message=\"speck 5x4: the command exited with status 2; its standard error "
        "ends: fake: the scene is gone\">",
        commandFailed, "null"},
    {"garbled", 1,
        "ERROR    speck 5x4: the command exited with status 3; its standard error ends: fake: \xff in UTF-8 \xc3( "
        "\xc0\xaf \xc1\xbf",
        "message=\"speck 5x4: the command exited with status 3; its standard error ends: fake: \xEF\xBF\xBD in UTF-8 "
        "\xEF\xBF\xBD( \xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\">",
        commandFailed, "null"},
    {"crash", 1,
        "ERROR    speck 5x4: the command exited with status 139 (signal 11, Segmentation fault); its standard error "
        "ends: fake: drawing / fake: about to crash / Segmentation fault", // the last, the shell's
        "<error type=\"command failed\"", commandFailed, "null"},
    {"hang", 1,
        "ERROR    speck 5x4: the command did not finish within 4 s and was stopped; its standard error ends: fake: "
        "waiting",
        "<error type=\"command failed\"", commandFailed, "null"},
    {"size", 1, "ERROR    speck 5x4: \"Bob's work/speck.png\" is 6x4; the frame is 5x4",
        "<error type=\"unreadable\" message=\"speck 5x4: &quot;Bob's work/speck.png&quot; is 6x4",
        "1 failed (0 differ, 0 missing, 1 unreadable, 0 command failed)", "null"},
    {"text", 1, "ERROR    speck 5x4: \"Bob's work/speck.png\" is not a PNG file (no PNG signature)",
        "<error type=\"unreadable\"", "1 failed (0 differ, 0 missing, 1 unreadable, 0 command failed)", "null"},
    {"'case {name} in speck) ./none {color} {depth} ;; *) ./fake.sh equal {name} {width} {height} {az} {ax} {panx} "
     "{pany} {zoom} {texture} {color} {depth} ;; esac'",
        1,
        "ERROR    speck 5x4: the command exited with status 127 (not found); its standard error ends: /bin/sh: 1: "
        "./none: not found",
        "<error type=\"command failed\"", commandFailed, "null"},
    // Every command sees how many are running: never more than --jobs.
    {"'touch {name}.on; sleep 1; [ $(ls *.on | wc -l) -le 2 ] || exit 9; rm {name}.on; ./fake.sh equal {name} {width} "
     "{height} {az} {ax} {panx} {pany} {zoom} {texture} {color} {depth}'",
        0, "equal    speck 5x4", "<testcase classname=\"sphaerix-conformance\" name=\"speck\"/>",
        "0 failed (0 differ, 0 missing, 0 unreadable, 0 command failed)", "null"},
};

// Whether process `pid` still runs; a zombie left to an init that does not reap it has
// stopped all the same.
bool stillRunning(pid_t pid)
{
    for (int wait = 0; wait < 100; ++wait, usleep(10000)) {
        const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
        const std::size_t paren = stat.rfind(')');
        if (kill(pid, 0) != 0 || (paren != std::string::npos && stat.compare(paren + 2, 1, "Z") == 0))
            return false;
    }
    return true;
}

// The test case of `name` in a JUnit file, without its time.
std::string junitCase(const std::string& xml, const std::string& name)
{
    const std::size_t start = xml.find("<testcase classname=\"sphaerix-conformance\" name=\"" + name + "\"");
    if (start == std::string::npos)
        return "";
    std::size_t end = xml.find("<testcase", start + 1);
    std::string element = xml.substr(start, end == std::string::npos ? std::string::npos : end - start);
    element.erase(element.find_last_not_of(" \n") + 1);
    const std::size_t time = element.find(" time=\"");
    if (time != std::string::npos)
        element.erase(time, element.find('"', time + 7) + 1 - time);
    return element;
}

class ConformanceRunner : public ConformanceTool {
protected:
    void SetUp() override
    {
        ConformanceTool::SetUp();
        writeFile(dir / "fake.sh", std::string("#!/bin/sh\nSNAPSHOT='" SNAPSHOT_TOOL "'\n") + (fakeRasterizer + 10));
        fs::permissions(dir / "fake.sh", fs::perms::owner_all, fs::perm_options::add);
    }
    // The time limit leaves a loaded machine's snapshots time enough; the hang's is short.
    ToolRun runFake(const std::string& command, const std::string& more, const char* timeout = "30")
    {
        const std::string run = command[0] == '\'' ? command : "'./fake.sh " + command + fakeArgs + "'";
        // A view of each value a placeholder gives, and a folder whose name needs quoting
        // and holds a quote.
        writeFile(dir / "views.txt", "wide 40x30 -135.5 -60.25 3,-2 0.5\nclose 17x23 -135 -80 0,0 8\n"
                                     "speck 5x4 -135 -60 0,0 0.25\n");
        return runTool(dir, std::string("--cases views.txt --jobs 2 --timeout ") + timeout + " --keep \"Bob's work\" --run " + run + " " + more);
    }
};

// Each fake: speck's line, its JUnit entry and the exit status; the other cases equal.
TEST_F(ConformanceRunner, FakeRasterizers)
{
    for (const FakeRun& fake : fakes) {
        const bool hang = std::string(fake.command) == "hang";
        const ToolRun r = runFake(fake.command, "--junit junit.xml --json results.json", hang ? "4" : "30");
        EXPECT_EQ(r.status, fake.status) << fake.command << "\n" << r.output << r.errors;
        EXPECT_NE(r.output.find(fake.line + std::string("\n") + (fake.status ? "2" : "3") + " passed, " + fake.counts),
            std::string::npos)
            << fake.command << "\n"
            << r.output;
        EXPECT_EQ(Json::parse(readFile(dir / "results.json"))["cases"][2]["first_difference"].dump(), fake.first);
        EXPECT_EQ(r.output.find("equal    wide 40x30\nequal    close 17x23\n"), 0u) << fake.command << "\n" << r.output;
        const std::string xml = readFile(dir / "junit.xml");
        EXPECT_NE(junitCase(xml, "speck").find(fake.junit), std::string::npos) << fake.command << "\n" << xml;
        EXPECT_EQ(junitCase(xml, "wide"), "<testcase classname=\"sphaerix-conformance\" name=\"wide\"/>");
        if (fs::exists(dir / "sleeper.pid")) { // the hang's child, stopped with it
            EXPECT_FALSE(stillRunning(std::stoi(readFile(dir / "sleeper.pid")))) << "the hang's sleep";
            fs::remove(dir / "sleeper.pid");
        }
        EXPECT_NE(xml.find(std::string("tests=\"3\" failures=\"") + (fake.status == 3 ? "1" : "0") +
                      "\" errors=\"" + (fake.status == 1 ? "1" : "0") + "\""),
            std::string::npos)
            << xml;
    }
}

// Colour and depth both differ: the first difference is the earlier in buffer order
// (the depth at 0,0, not the colour at 0,3), in the terminal, the JSON and the report,
// whose ring sits on that pixel's row from the top, not on the mirrored row.
TEST_F(ConformanceRunner, FirstDifferenceOfBoth)
{
    const ToolRun r = runFake("both", "--json results.json --report report.html");
    EXPECT_EQ(r.status, 3) << r.output << r.errors;
    EXPECT_NE(r.output.find("our history of speck's first difference: sphaerix-snapshot --size 5x4 --angle-z -135 "
                            "--angle-x -60 --pan 0,0 --zoom 0.25 --history 0,0\n"),
        std::string::npos)
        << r.output;
    const Json json = Json::parse(readFile(dir / "results.json"));
    EXPECT_EQ(json["cases"][2]["first_difference"].dump(),
        R"({"x":0,"y":0,"row_from_top":3,"ours":{"color":[255,255,255],"depth":1.0},"theirs":{"color":[255,255,255],"depth":1.0000001}})");
    EXPECT_EQ(json["counts"].dump(), R"({"equal":2,"differs":1,"missing":0,"unreadable":0,"command failed":0})");
    const std::string page = readFile(dir / "report.html");
    EXPECT_NE(page.find("<div class=\"ring\" data-pixel=\"0,0\" style=\"left:10.0000%;top:87.5000%\">"),
        std::string::npos)
        << page;
    EXPECT_NE(page.find("pixel 0,0 of 5x4 (row 3 counted from the top)"), std::string::npos);
    // Failures first, the equal ones folded after them.
    EXPECT_LT(page.find("id=\"speck\""), page.find("<details class=\"equal\"><summary>2 equal cases"));
    EXPECT_LT(page.find("<details"), page.find("<li id=\"wide\">"));
}

// Random views: the same seed gives the same views everywhere, as recorded here; the
// list reads back as a case list, a texture a case names (from the list's folder) too.
TEST_F(ConformanceTool, RandomViewsOfASeed)
{
    const ToolRun r = runTool(dir, "--cases list.txt --list --random 8 --seed 20261207 --only speck,"
                                   "random-20261207-1,random-20261207-2,random-20261207-3,random-20261207-4,"
                                   "random-20261207-5,random-20261207-6,random-20261207-7,random-20261207-8");
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.output, randomList);
    writeFile(dir / "again.txt", r.output);
    EXPECT_EQ(runTool(dir, "--cases again.txt --list").output, r.output);
    fs::create_directories(dir / "lists");
    writeFile(dir / "lists/own.txt", "own 5x4 -135 -60 0,0 0.25 ../map.raw\n");
    writeFile(dir / "map.raw", "");
    writeFile(dir / "own.txt", runTool(dir, "--cases lists/own.txt --list").output);
    EXPECT_TRUE(fs::equivalent(dir / Json::parse(runTool(dir, "--cases own.txt --list --json").output)[0]["texture"]
                                   .get<std::string>(), dir / "map.raw"));
    const ToolRun json = runTool(dir, "--cases list.txt --list --json --only close");
    EXPECT_EQ(json.output, "[{\"name\":\"close\",\"width\":17,\"height\":23,\"angle_z\":-135.0,\"angle_x\":-80.0,"
                           "\"pan_x\":0.0,\"pan_y\":0.0,\"zoom\":8.0,\"texture\":\"sphere.raw\",\"snapshot\":"
                           "\"sphaerix-snapshot --size 17x23 --angle-z -135 --angle-x -80 --pan 0,0 --zoom 8\"}]\n");
}

// Two recorded runs as baselines: what regressed, what was fixed, the exit status; a
// run's own --json reads back; files that are not such JSON are refused with status 1.
TEST_F(ConformanceRunner, Baseline)
{
    const std::string closeDiffered =
        R"({"tool": "sphaerix-conformance", "cases": [{"name": "wide", "outcome": "equal"},)"
        R"( {"name": "close", "outcome": "differs"}, {"name": "speck", "outcome": "equal"}]})";
    const std::string allEqualNoWide =
        R"({"tool": "sphaerix-conformance", "cases": [{"name": "close", "outcome": "equal"},)"
        R"( {"name": "speck", "outcome": "command failed"}]})";
    writeFile(dir / "a.json", closeDiffered);
    writeFile(dir / "b.json", allEqualNoWide);
    struct {
        const char* kind;
        const char* more;
        int status;
        const char* output;
    } const runs[] = {
        {"pixel", "--baseline a.json", 3, "against a.json: 1: speck regressed (equal there, not now); 1: close fixed\n"},
        {"equal", "--baseline a.json", 0, "against a.json: 0 regressed (equal there, not now); 1: close fixed\n"},
        {"crash", "--baseline b.json", 0,
            "against b.json: 0 regressed (equal there, not now); 0 fixed; 1: wide not in it\n"},
        {"equal", "--baseline b.json --json c.json", 0, "against b.json: 0 regressed (equal there, not now); 1: speck fixed; 1: wide not in it\n"},
        {"depth", "--baseline c.json", 3, "against c.json: 1: speck regressed (equal there, not now); 0 fixed\n"},
    };
    for (const auto& run : runs) {
        const ToolRun r = runFake(run.kind, run.more);
        EXPECT_EQ(r.status, run.status) << run.kind << " " << run.more << "\n" << r.output << r.errors;
        EXPECT_NE(r.output.find(run.output), std::string::npos) << run.kind << " " << run.more << "\n" << r.output;
    }
    const std::pair<const char*, const char*> bad[] = {
        {"[1, 2", "is not JSON"},
        {R"({"tool": "other", "cases": []})", "is not the JSON of sphaerix-conformance --json"},
        {R"({"tool": "sphaerix-conformance", "cases": {}})", "is not the JSON of sphaerix-conformance --json"},
        {R"({"tool": "sphaerix-conformance", "cases": [{"name": "wide"}]})", "has a case without a name or an outcome"},
        {R"({"tool": "sphaerix-conformance", "cases": [{"name": 3, "outcome": "equal"}]})", "has a case without"},
    };
    for (const auto& [text, message] : bad) {
        writeFile(dir / "bad.json", text);
        const ToolRun r = runFake("equal", "--baseline bad.json");
        EXPECT_EQ(r.status, 1) << text;
        EXPECT_NE(r.errors.find(std::string("the baseline \"bad.json\" ") + message), std::string::npos) << r.errors;
        EXPECT_EQ(r.output, "") << text; // refused before anything runs
    }
    EXPECT_EQ(runFake("equal", "--baseline none.json").status, 1);
}

// Under rules, our snapshot under the same ones (the {rules} placeholder) is equal, its
// depth in the device scale under float-vertex too; a rung apart, every view differs and
// the history to look at is of our frame under our rules.
TEST_F(ConformanceTool, UnderRules)
{
    const std::string snapshot = "--cases list.txt --run '\"" SNAPSHOT_TOOL "\" --size {width}x{height} --angle-z {az} "
        "--angle-x {ax} --pan {panx},{pany} --zoom {zoom} --texture {texture} -o {color} --depth {depth} ";
    const struct {
        const char *ours, *theirs;
        int status;
        const char* found;
    } rungs[] = {
        {"--rules gl", "--rules {rules}", 0, "\n3 passed, 0 failed (0 differ, 0 missing, 0 unreadable, 0 command "
            "failed); under the rules gl\ntime: "},
        {"--rules texgen,float-vertex", "--rules {rules}", 0, "3 passed, 0 failed"},
        {"", "--rules gl", 3, "DIFFERS  close 17x23: colour: "},
        {"--rules centres", "", 3, "DIFFERS  wide 40x30: colour: 399 of 1200 pixels differ, first at 18,3 (row 26 "
            "from the top): ours 255 255 255, theirs 56 117 155; depth: 416 of 1200 values differ"},
    };
    for (const auto& rung : rungs) {
        const ToolRun r = runTool(dir, snapshot + rung.theirs + "' " + rung.ours + " --json r.json --junit r.xml --report r.html");
        EXPECT_EQ(r.status, rung.status) << rung.ours << r.output << r.errors;
        EXPECT_NE(r.output.find(rung.found), std::string::npos) << rung.ours << "\n" << r.output;
    }
    // The last: the report's history and the first difference's command are of our frame
    // under centres; the JSON and JUnit name the rules.
    const ToolRun listed = runTool(dir, "--cases list.txt --list --rules centres --only wide");
    EXPECT_EQ(listed.output.substr(0, 32), "# under the rules centres\nwide  ");
    EXPECT_NE(readFile(dir / "r.html").find(" --rules centres --history 18,3</code> prints it:</p>\n<pre>pixel 18,3 of "
        "40x30 (row 26 counted from the top): 0 fragments tested\nunder the rules centres\n"), std::string::npos);
    EXPECT_EQ(Json::parse(readFile(dir / "r.json"))["rules"], "centres");
    EXPECT_NE(readFile(dir / "r.xml").find("<properties>\n   <property name=\"rules\" value=\"centres\"/>"),
        std::string::npos);
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> found;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        found.push_back(line);
    return found;
}

// Every case in exactly one shard, at its place in the list: shard K of N holds places
// K - 1, K - 1 + N, ...; with more shards than cases some are empty.
TEST_F(ConformanceTool, ShardsPartitionTheList)
{
    const std::string list = "--cases list.txt --random 3 --seed 5 --list";
    const std::vector<std::string> all = lines(runTool(dir, list).output);
    ASSERT_EQ(all.size(), 6u);
    for (int n : {1, 4, 7}) {
        std::vector<std::string> placed(all.size());
        for (int k = 1; k <= n; ++k) {
            const std::vector<std::string> shard =
                lines(runTool(dir, list + " --shard " + std::to_string(k) + "/" + std::to_string(n)).output);
            for (std::size_t j = 0, at = std::size_t(k - 1); j < shard.size(); ++j, at += std::size_t(n))
                if (at < placed.size() && placed[at].empty())
                    placed[at] = shard[j];
                else
                    ADD_FAILURE() << "shard " << k << "/" << n << " line " << j << ": " << shard[j];
        }
        EXPECT_EQ(placed, all) << n << " shards";
    }
}

// A run in shards merged is the whole run: its lines and closing lines, exit status, JSON
// (times aside) and JUnit; a baseline reads against it. Shards that are not all of one
// run are refused, naming the file.
TEST_F(ConformanceTool, MergedShardsAreTheWholeRun)
{
    ASSERT_EQ(runTool(dir, "--cases list.txt --rules gl --write-reference ours").status, 0);
    fs::copy(dir / "ours", dir / "theirs");
    changePixel(dir / "theirs");
    fs::remove(dir / "theirs/speck.depth");
    const std::string run = "--cases list.txt --rules gl theirs";
    const ToolRun whole = runTool(dir, run + " --json whole.json --junit whole.xml");
    ASSERT_EQ(whole.status, 3) << whole.errors;
    ASSERT_EQ(runTool(dir, "--cases list.txt --rules gl ours --json ours.json").status, 0);
    auto withoutTimes = [](Json json) {
        for (Json& c : json["cases"])
            c.erase("seconds"), c.erase("command_seconds");
        json.erase("seconds");
        return json.dump(1);
    };
    auto xmlWithoutTimes = [](std::string xml) {
        for (std::size_t at; (at = xml.find(" time=\"")) != std::string::npos;)
            xml.erase(at, xml.find('"', at + 7) + 1 - at);
        return xml;
    };
    for (int n : {2, 4}) {
        std::string files;
        for (int k = 1; k <= n; ++k) {
            const std::string shard = std::to_string(k) + "/" + std::to_string(n);
            const std::string file = std::to_string(k) + "-" + std::to_string(n) + ".json";
            const ToolRun r = runTool(dir, run + " --shard " + shard + " --json " + file);
            EXPECT_NE(r.output.find("shard " + shard + ": "), std::string::npos) << r.output << r.errors;
            files += " " + file;
        }
        const ToolRun merged = runTool(dir, "--merge" + files + " --json merged.json --junit merged.xml");
        EXPECT_EQ(merged.status, whole.status) << merged.errors;
        EXPECT_EQ(merged.output, whole.output);
        EXPECT_EQ(withoutTimes(Json::parse(readFile(dir / "merged.json"))), withoutTimes(Json::parse(readFile(dir / "whole.json"))));
        EXPECT_EQ(xmlWithoutTimes(readFile(dir / "merged.xml")), xmlWithoutTimes(readFile(dir / "whole.xml")));
    }
    Json oneShort = Json::parse(readFile(dir / "1-2.json"));
    oneShort["cases"].erase(0);
    writeFile(dir / "short.json", oneShort.dump());
    runTool(dir, "--cases list.txt theirs --shard 2/2 --json plain.json");
    runTool(dir, run + " --random 1 --seed 1 --only wide,close,random-1-1 --shard 2/2 --json other.json");
    const struct {
        const char* files;
        int status;
        const char* message;
    } merges[] = {
        {"1-2.json 2-2.json --baseline ours.json", 3, "against ours.json: 2: wide, speck regressed (equal there, not now); 0 fixed\n"},
        {"1-2.json", 1, "shard 2/2 is missing"},
        {"1-2.json 2-2.json ./2-2.json", 1, "\"./2-2.json\" and \"2-2.json\" are both shard 2/2"},
        {"1-2.json 2-4.json", 1, "\"2-4.json\" is shard 2/4 and \"1-2.json\" shard 1/2: not shards of one run"},
        {"1-2.json other.json", 1, "\"other.json\" and \"1-2.json\" are shards of different case lists"},
        {"1-2.json plain.json", 1, "\"plain.json\" is under the rules none and \"1-2.json\" under gl"},
        {"short.json 2-2.json", 1, "\"short.json\" holds 1 cases; shard 1/2 of 3 holds 2"},
        {"whole.json", 1, "\"whole.json\" is not the JSON of a shard (--shard K/N --json FILE)"},
        {"1-2.json 2-2.json --junit 2-2.json", 2, "--junit \"2-2.json\" would overwrite --merge \"2-2.json\""},
    };
    for (const auto& merge : merges) {
        const ToolRun r = runTool(dir, std::string("--merge ") + merge.files);
        EXPECT_EQ(r.status, merge.status) << merge.files << "\n" << r.errors;
        EXPECT_NE((r.output + r.errors).find(merge.message), std::string::npos) << merge.files << "\n" << r.output << r.errors;
    }
}

// An interrupted run stops the commands it started (each in a process group of its own,
// out of the terminal's reach), removes its work folder and exits with 130.
TEST_F(ConformanceRunner, InterruptStopsTheCommands)
{
    const std::string command = std::string("cd '") + dir.string() + "' && { '" CONFORMANCE_TOOL
        "' --cases views.txt --only speck --run './fake.sh hang" + fakeArgs +
        "' 2>err.txt & tool=$!; n=0; while [ ! -s sleeper.pid ] && [ $n -lt 200 ]; do sleep 0.05; n=$((n+1)); done; kill -INT $tool; wait $tool; }";
    writeFile(dir / "views.txt", "speck 5x4 -135 -60 0,0 0.25\n");
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 130) << readFile(dir / "err.txt");
    EXPECT_NE(readFile(dir / "err.txt").find("interrupted"), std::string::npos);
    EXPECT_FALSE(stillRunning(std::stoi(readFile(dir / "sleeper.pid")))) << "the hang's sleep";
}

} // namespace
