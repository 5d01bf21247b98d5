// sphaerix-conformance: our software frames of a list of views, compared with another
// rasterizer's files for the same views. --help describes the options and files.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <set>
#include <sstream>

#include "scene/scene.h"
#include "texture/texture.h"
#include "tools/conformance/case_list.h"
#include "tools/conformance/conformance_run.h"
#include "tools/conformance/report.h"
#include "tools/snapshot/image_file.h"
#include "texture/generate_sphere_map.h"

namespace {

const char* const usage = "usage: sphaerix-conformance [DIR] [--cases FILE] [--texture FILE] "
                          "[--report FILE] [--write-reference OUTDIR] [--only NAME,...]; --help for more";

const char* const footer = R"text(
Each case is a view: NAME WxH ANGLE-Z ANGLE-X PANX,PANY ZOOM [TEXTURE], the values of
sphaerix-snapshot's --size, --angle-z, --angle-x, --pan and --zoom. For every case the
run draws our software frame and compares it with DIR/NAME.png (else DIR/NAME.ppm, P6
or P3, maxval 255) and DIR/NAME.depth (W*H little-endian 32-bit floats, bottom row first,
as sphaerix-snapshot --depth writes them). It prints one line per case:
  equal    NAME WxH
  DIFFERS  NAME WxH: colour: N of T pixels differ, first at X,Y (row R from the top):
           ours r g b, theirs r g b; depth: ... values differ, first at ...
  MISSING  NAME WxH: no NAME.depth; colour equal
  ERROR    NAME WxH: what could not be read
and then "N passed, M failed (D differ, M missing, U unreadable)". X,Y are window
coordinates (row 0 at the bottom); the first difference is the lowest row's leftmost.
The last line gives the snapshot command for our history of the first difference found.

Exit status: 0 every case equal, 3 some case differs or misses a file, 1 a file that
cannot be read or has another size (the line names it), a bad case list or texture,
2 usage error.

Make the sphere map first: sphaerix-spheremap generate sphere.raw
)text";

int fail(const std::string& message)
{
    std::fprintf(stderr, "sphaerix-conformance: %s\n", message.c_str());
    return 1;
}

struct Options {
    std::string dir, cases, texture = "sphere.raw", report, reference;
    std::vector<std::string> only;
};

bool readText(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    text = out.str();
    return in.good() || in.eof();
}

// The list, narrowed to --only; 0, or the exit status.
int loadCases(const Options& o, std::vector<ConformanceCase>& cases)
{
    std::string text = builtInCaseList, error;
    if (!o.cases.empty() && (!std::filesystem::is_regular_file(o.cases) || !readText(o.cases, text)))
        return fail("cannot read the case list \"" + o.cases + "\"");
    const std::string base = o.cases.empty() ? "." : std::filesystem::path(o.cases).parent_path().string();
    if (!parseCaseList(text, o.cases.empty() ? "the built-in case list" : o.cases, base.empty() ? "." : base,
            cases, error))
        return fail(error);
    if (o.only.empty())
        return 0;
    for (const std::string& name : o.only)
        if (std::none_of(cases.begin(), cases.end(), [&](const auto& c) { return c.name == name; })) {
            std::fprintf(stderr, "sphaerix-conformance: --only: no case \"%s\"; %s\n", name.c_str(), usage);
            return 2;
        }
    std::vector<ConformanceCase> chosen;
    for (const ConformanceCase& c : cases)
        if (std::find(o.only.begin(), o.only.end(), c.name) != o.only.end())
            chosen.push_back(c);
    cases = chosen;
    return 0;
}

// Every texture is read before anything is drawn: buildScene ends the process on a bad one.
int checkTextures(const Options& o, const std::vector<ConformanceCase>& cases)
{
    std::set<std::string> paths{o.texture};
    for (const ConformanceCase& c : cases)
        if (!c.texture.empty())
            paths.insert(c.texture);
    for (const std::string& path : paths) {
        Texture texture;
        std::string error;
        if (!readTextureFile(texture, path.c_str(), error))
            return fail(error +
                (path == o.texture ? "; make it with `sphaerix-spheremap generate " + path + "`" : ""));
        if (path == o.texture && texture.data != generateSphereMap())
            std::printf("note: %s is not the sphere map `sphaerix-spheremap generate` makes; the frames are "
                        "drawn on it all the same\n",
                path.c_str());
    }
    return 0;
}

int writeReference(const std::string& dir, const ConformanceCase& c, const ReferenceFrame& ours)
{
    std::string error;
    const std::string base = (std::filesystem::path(dir) / c.name).string();
    if (!writeImage(ours.image, base + ".png", error) ||
        !writeDepthFile(ours.depth.data(), c.width, c.height, base + ".depth", error))
        return fail(error);
    return 0;
}

const char* outcomeWord(Outcome outcome)
{
    switch (outcome) {
    case Outcome::equal:
        return "equal   ";
    case Outcome::differs:
        return "DIFFERS ";
    case Outcome::missing:
        return "MISSING ";
    case Outcome::unreadable:
        break;
    }
    return "ERROR   ";
}

int run(const Options& o)
{
    std::vector<ConformanceCase> cases;
    if (const int status = loadCases(o, cases))
        return status;
    if (const int status = checkTextures(o, cases))
        return status;
    std::error_code ignored;
    if (!o.dir.empty() && !std::filesystem::is_directory(o.dir, ignored))
        return fail("\"" + o.dir + "\" is not a directory");
    if (!o.reference.empty()) {
        std::filesystem::create_directories(o.reference, ignored);
        if (!std::filesystem::is_directory(o.reference, ignored))
            return fail("cannot make the directory \"" + o.reference + "\"");
    }

    int counts[4] = {0, 0, 0, 0};
    std::string failedSections, equalSections, loaded, closer;
    for (const ConformanceCase& c : cases) {
        const std::string& texture = c.texture.empty() ? o.texture : c.texture;
        if (texture != loaded)
            buildScene(theScene, (loaded = texture).c_str());
        const ReferenceFrame ours = renderReference(c);
        if (!o.reference.empty())
            if (const int status = writeReference(o.reference, c, ours))
                return status;
        if (o.dir.empty())
            continue;
        const CaseResult r = compareCase(c, ours, o.dir);
        ++counts[int(r.outcome)];
        const bool equal = r.outcome == Outcome::equal;
        std::printf("%s %s%s%s\n", outcomeWord(r.outcome), caseTitle(c).c_str(), equal ? "" : ": ",
            equal ? "" : r.line.c_str());
        std::fflush(stdout);
        if (closer.empty() && r.firstPixel >= 0)
            closer = "our history of " + c.name + "'s first difference: " + snapshotCommand(c) + " --history " +
                std::to_string(r.firstPixel % c.width) + "," + std::to_string(r.firstPixel / c.width);
        if (!o.report.empty()) {
            std::string error;
            const std::string history = r.firstPixel < 0
                ? ""
                : pixelHistoryText(c, int(r.firstPixel % c.width), int(r.firstPixel / c.width));
            (r.outcome == Outcome::equal ? equalSections : failedSections) +=
                reportSection(c, r, history, error);
            if (!error.empty())
                return fail(error);
        }
    }
    if (o.dir.empty()) {
        std::printf("wrote %zu cases to %s\n", cases.size(), o.reference.c_str());
        return 0;
    }
    const int failed = counts[1] + counts[2] + counts[3];
    const std::string summary = std::to_string(counts[0]) + " passed, " + std::to_string(failed) +
        " failed (" + std::to_string(counts[1]) + " differ, " + std::to_string(counts[2]) + " missing, " +
        std::to_string(counts[3]) + " unreadable)";
    std::printf("%s\n", summary.c_str());
    if (!closer.empty())
        std::printf("%s\n", closer.c_str());
    std::string error;
    if (!o.report.empty() && !writeReport(o.report, summary, failedSections + equalSections, error))
        return fail(error);
    return counts[3] ? 1 : failed ? 3 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    CLI::App app{"Compares another rasterizer's frames of a list of views with Sphaerix's software frames.",
        "sphaerix-conformance"};
    app.footer(footer);
    app.add_option("DIR", o.dir, "the directory of files to compare: NAME.png or NAME.ppm, and NAME.depth")
        ->type_name("DIR");
    app.add_option(
           "--cases", o.cases, "the case list, default the one built in (tools/conformance/cases.txt)")
        ->type_name("FILE");
    app.add_option("--texture", o.texture, "the sphere-map file, default sphere.raw")->type_name("FILE");
    app.add_option("--report", o.report,
           "write an HTML page: each failing case's error mask and our history "
           "of its first differing pixel")
        ->type_name("FILE");
    app.add_option("--write-reference", o.reference, "write our NAME.png and NAME.depth of every case there")
        ->type_name("OUTDIR");
    std::string only;
    app.add_option("--only", only, "only these cases, by name, as NAME,NAME...")->type_name("NAMES");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "sphaerix-conformance: %s; %s\n", e.what(), usage);
        return 2;
    }
    for (std::size_t from = 0; !only.empty() && from <= only.size();) {
        const std::size_t comma = std::min(only.find(',', from), only.size());
        o.only.push_back(only.substr(from, comma - from));
        from = comma + 1;
    }
    if (o.dir.empty() && o.reference.empty()) {
        std::fprintf(
            stderr, "sphaerix-conformance: name a DIR to compare or --write-reference OUTDIR; %s\n", usage);
        return 2;
    }
    std::error_code ignored;
    if (!o.dir.empty() && !o.reference.empty() && std::filesystem::equivalent(o.dir, o.reference, ignored)) {
        std::fprintf(stderr, "sphaerix-conformance: --write-reference %s would overwrite the files compared; %s\n",
                     o.reference.c_str(), usage);
        return 2;
    }
    if (!o.report.empty() && o.dir.empty()) {
        std::fprintf(stderr, "sphaerix-conformance: --report needs a DIR to compare; %s\n", usage);
        return 2;
    }
    try {
        return run(o);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for the frames of this case list");
    }
}
