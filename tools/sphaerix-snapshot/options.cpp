#include "tools/sphaerix-snapshot/options.h"

#include "files/file_guard.h"
#include "files/image_file.h"
#include "inspect/ladder.h"
#include "raster/frame_limits.h"
#include "tools/rules_option.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>

// Single values: the whole text must be read. Finite numbers only.
static bool parseFloat(const std::string& text, float& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const float parsed = std::strtof(text.c_str(), &end);
    // ERANGE on underflow still gives a usable tiny value; overflow shows as infinity.
    if (end != text.c_str() + text.size() || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

static bool parseCount(const std::string& text, int& value)
{
    // Digits only: strtol would also take signs, blanks and hexadecimal.
    if (text.empty() || text.size() > 10)
        return false;
    long long parsed = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        parsed = parsed * 10 + (c - '0');
    }
    if (parsed > INT_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

// "A<separator>B", each half read by `parse`; the outputs change only when both are good.
template <typename T>
static bool parseTwo(const std::string& text, char separator, bool (*parse)(const std::string&, T&),
                     T& first, T& second)
{
    const std::size_t at = text.find(separator);
    T a{}, b{};
    if (at == std::string::npos || !parse(text.substr(0, at), a) || !parse(text.substr(at + 1), b))
        return false;
    first = a;
    second = b;
    return true;
}

static bool parseSide(const std::string& text, int& side)
{
    return parseCount(text, side) && side >= 1 && side <= largestSide;
}

static bool parseSize(const std::string& text, int& width, int& height)
{
    return parseTwo(text, 'x', parseSide, width, height);
}

static bool parsePair(const std::string& text, float& x, float& y)
{
    return parseTwo(text, ',', parseFloat, x, y);
}

static bool parsePixel(const std::string& text, int& x, int& y)
{
    return parseTwo(text, ',', parseCount, x, y);
}

static bool imagePath(const std::string& text)
{
    return text.size() > 4 && (imageFormat(text) == ImageFormat::png || imageFormat(text) == ImageFormat::ppm);
}

static bool parseCrop(const std::string& text, SlideLayout& slide)
{
    int numbers[4];
    std::size_t from = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t to = i < 3 ? text.find(',', from) : text.size();
        if (to == std::string::npos || !parseCount(text.substr(from, to - from), numbers[i]))
            return false;
        from = to + 1;
    }
    if (numbers[2] < 1 || numbers[3] < 1)
        return false;
    slide.crop = true;
    slide.cropX = numbers[0], slide.cropY = numbers[1], slide.cropWidth = numbers[2], slide.cropHeight = numbers[3];
    return true;
}

namespace {

const char* const helpFooter =
    "Views (--view NAME, written by -o; white is where nothing was drawn unless said):\n"
    "  color      the frame as the program shows it\n"
    "  depth      grey levels from black at the nearest to white at the farthest depth\n"
    "             drawn in this frame; steel blue (64,128,192) where nothing was drawn.\n"
    "             Prints both depths; the key under the frame shows them\n"
    "  normals    the eye-space unit normal that indexed the sphere map as RGB: red, green\n"
    "             and blue are x, y and z from -1 (0) to 1 (255)\n"
    "  overdraw   fragments tested per pixel: 1 dark blue, 2 light blue, 3 green,\n"
    "             4 yellow, 5 orange, 6 red, 7 or more magenta; the key is drawn under\n"
    "             the frame. Prints the total, the most at one pixel and how many pixels\n"
    "             had 0, 1, 2, 3 and more\n"
    "  polygons   each pixel in a colour of the polygon that won it (neighbours differ);\n"
    "             with --scale, each polygon's number where it fits on its pixels\n"
    "  edges      the colour image with the first and last covered column of every span\n"
    "             marked: red where that fragment is what the pixel shows, halfway to\n"
    "             yellow where it failed the depth test or was drawn over\n"
    "  texels     the 256x256 sphere map, each texel 2x2 pixels, top row up: texels that a\n"
    "             fragment passing the depth test looked up at full strength, the others\n"
    "             at a quarter. Prints how many texels were read\n"
    "\n"
    "--history, --trace-polygon, --against* and any view but color watch the software\n"
    "pipeline as it draws the frame: they take no --window, --renderer opengl or --compare.\n"
    "--json prints one JSON object, of exactly one of --history, --trace-polygon, the\n"
    "comparisons (--against and --against-depth), --ladder or --explain, and nothing else.\n"
    "\n"
    "Rules taken from OpenGL (--rules help lists them; docs/rules.md section 13 gives their\n"
    "arithmetic) change the software frame and everything made of it: -o, --depth, the\n"
    "views, --history, --trace-polygon, --against, --compare. Under float-vertex the depth\n"
    "buffer holds window depth 0..1 and --depth writes 2d - 1, as the OpenGL frame's.\n"
    "--ladder and --explain draw the OpenGL frame in a window (they need a display) and the\n"
    "software frame at each step of the ladder: none, centres, snap, perspective, texgen,\n"
    "filter, float-vertex, clip (each step adds its rule to the ones before).\n"
    "\n"
    "The sphere-map lookup of a fragment (the history's lookup line): the interpolated\n"
    "normal n is made unit length in double, each component rounded to float; its\n"
    "eye-space x and y are rows 0 and 1 of the model-view matrix times (n, 0), in double,\n"
    "rounded to float: ex, ey. The texel is column u = trunc((ex * 0.5 + 0.5) * 256) and\n"
    "row v = trunc((ey * 0.5 + 0.5) * 256), each clamped to 0..255 (NaN reads 0), row 0\n"
    "the bottom row of sphere.raw; its bytes b give the colour b * 0.003921569 (float).\n"
    "Normals seen edge-on have ex^2 + ey^2 near 1 and land on texels of the map's rim,\n"
    "whose centres may lie outside its inscribed circle.\n"
    "\n"
    "Pictures for slides: --crop, then --scale, then --grid apply to whatever -o and\n"
    "--mask write; keys are drawn beside the picture, never on it.\n"
    "\n"
    "Images to compare: PNG of any kind, its colour channels read as stored and alpha\n"
    "ignored; PPM P6 or P3 with maxval 255 or 65535 (others are refused). 16-bit samples\n"
    "s of either become bytes lround(s / 65535 * 255).\n"
    "\n"
    "Exit status: 0 done (and everything compared equal), 1 texture, file or window problem\n"
    "(a file to compare with that cannot be read or has another size), 2 bad option or\n"
    "value, 3 a comparison found differences.\n"
    "Without --window, --renderer opengl and --compare no OpenGL, GLUT or X is used.\n";

// An option whose value is checked the moment it is read, so that errors come in
// command-line order; a repeated option keeps its last value.
void addValue(CLI::App& app, const std::string& name, const std::string& typeName,
              const std::string& description, std::function<bool(const std::string&)> store,
              const std::string& allowed = "")
{
    app.add_option_function<std::string>(
           name,
           [name, store, allowed](const std::string& value) {
               if (!store(value))
                   throw CLI::ValidationError("bad value \"" + value + "\" for " + name +
                                              (allowed.empty() ? "" : ": " + allowed));
           },
           description)
        ->type_name(typeName)
        ->trigger_on_parse();
}

// A text value that must not be empty.
std::function<bool(const std::string&)> into(std::string& target, bool (*check)(const std::string&) = nullptr)
{
    return [&target, check](const std::string& value) {
        target = value;
        return !value.empty() && (!check || check(value));
    };
}

void describeOptions(CLI::App& app, SnapshotOptions& o)
{
    app.description("Renders one frame of Sphaerix through the program's own code and writes it,\n"
                    "or shows why its pixels are what they are.\n");
    app.footer(helpFooter);
    app.get_formatter()->column_width(24);
    // --help is read as it comes, like every value: a bad value before it is an error.
    app.set_help_flag();
    app.add_flag_callback("-h,--help", [] { throw CLI::CallForHelp(); }, "this text")->trigger_on_parse();

    addValue(app, "-o", "FILE",
             "the image: PNG for FILE.png, binary PPM (P6, maxval 255) for\n"
             "FILE.ppm (either in any case); top row first, each channel\n"
             "round(c*255) clamped to 0..255 (NaN gives 0), alpha dropped.\n"
             "Optional with --compare, --history, --trace-polygon, --against\n"
             "and --against-depth. With --trace-polygon, the polygon is drawn\n"
             "on the picture: its covered pixels green where they passed the\n"
             "depth test and orange where they failed, its edges as blue lines\n"
             "between their true ends (grey for edges the fill dropped).",
             into(o.output, imagePath), "FILE.png or FILE.ppm");
    addValue(app, "--renderer", "NAME", "software (default) or opengl (implies --window)",
             [&o](const std::string& v) {
                 o.openGL = v == "opengl";
                 return v == "software" || v == "opengl";
             });
    addValue(app, "--size", "WxH", "frame size in pixels, 1..16384 per side, default 480x480",
             [&o](const std::string& v) { return parseSize(v, o.width, o.height); },
             "WxH, each side 1..16384");
    addValue(app, "--angle-z", "DEG", "angleZ, default -135",
             [&o](const std::string& v) { return parseFloat(v, o.angleZ); });
    addValue(app, "--angle-x", "DEG", "angleX, default -60",
             [&o](const std::string& v) { return parseFloat(v, o.angleX); });
    addValue(app, "--pan", "X,Y", "panX and panY in pixels, default 0,0",
             [&o](const std::string& v) { return parsePair(v, o.panX, o.panY); });
    addValue(app, "--zoom", "N", "zoom in wheel events, default 0.25",
             [&o](const std::string& v) { return parseFloat(v, o.zoom); });
    addValue(app, "--texture", "FILE", "the sphere-map file, default sphere.raw", into(o.texture));
    addValue(app, "--depth", "FILE",
             "also write the depth: W*H little-endian 32-bit floats, bottom\n"
             "row first, normalised device depth (-1 near .. 1 far, 1.0 where\n"
             "nothing is drawn). Software renderer: the software DepthBuffer.\n"
             "OpenGL renderer: GL's depth buffer read back, mapped from 0..1\n"
             "to -1..1 (2d - 1) so that both files mean the same.",
             into(o.depth));
    addValue(app, "--frames", "N",
             "render N more frames after the first and print\n"
             "\"frames: N, median: X ms\" (X: median time of the software\n"
             "frame: sizing, clearing, projection, fill; with --window, of\n"
             "drawFrame + swap + glFinish). N = 0 prints nothing.",
             [&o](const std::string& v) { return parseCount(v, o.frames); });
    app.add_flag("--window", o.window,
                 "draw through the program's drawFrame in a GLUT window and read\n"
                 "the back buffer before the swap");
    addValue(app, "--compare", "DIR",
             "write DIR/software.png, DIR/opengl.png and DIR/difference.png\n"
             "(|a - b| per channel, 0 where equal, else 32 + 8|a - b| capped\n"
             "at 255) for the same view, both drawn in the window, and print\n"
             "the count and share of differing pixels and the mean absolute\n"
             "difference per channel (0..255 units, over all pixels)",
             into(o.compareDir));
    addValue(app, "--view", "NAME",
             "what -o writes: color (default), depth, normals, overdraw,\n"
             "polygons, edges or texels (see Views below)",
             [&o](const std::string& v) { return debugViewFromName(v, o.view); });
    addValue(app, "--history", "X,Y",
             "print every fragment the fill tested at column X, row Y (row 0\n"
             "at the bottom, or at the top with --from-top), in drawing\n"
             "order: polygon, span, depth, the depth stored before, the\n"
             "outcome, the interpolated normal (not of unit length), and for\n"
             "a pass the sphere-map lookup; then the final colour and depth",
             [&o](const std::string& v) { return o.history = parsePixel(v, o.historyX, o.historyY); });
    app.add_flag("--from-top", o.fromTop,
                 "Y of --history and --crop counts rows from the top, as image\n"
                 "viewers do; the output still gives both");
    addValue(app, "--trace-polygon", "N",
             "print polygon N of the frame (drawing order, from 0): its\n"
             "corners, its edges after set-up, then row by row the active\n"
             "edges, the spans and the depth-test outcomes",
             [&o](const std::string& v) { return parseCount(v, o.tracePolygon); });
    app.add_flag("--json", o.json,
                 "print the history, the trace or the comparisons as one JSON\n"
                 "object");
    addValue(app, "--against", "FILE",
             "compare another rasterizer's image (PNG or PPM, the frame's size)\n"
             "with our colour image of this view and print one line: pixels\n"
             "that differ, the largest channel difference, the first differing\n"
             "pixel (row 0 at the bottom first) and the MD5 of each image's RGB\n"
             "bytes (top row first). PNG alpha is ignored (see below). Exit\n"
             "status 3 when they differ",
             into(o.against));
    addValue(app, "--against-depth", "FILE",
             "the same for a depth file in the --depth format; the first\n"
             "differing value is printed exactly",
             into(o.againstDepth));
    addValue(app, "--mask", "FILE",
             "write the error mask of --against and --against-depth (PNG or\n"
             "PPM): equal pixels dimmed grey; red where the colour differs,\n"
             "blue where the depth differs, magenta where both do; each\n"
             "differing pixel ringed in yellow so that it shows at a glance",
             into(o.mask, imagePath), "FILE.png or FILE.ppm");
    addValue(app, "--max-differences", "N",
             "list the first N differing pixels (row 0 at the bottom first)\n"
             "under each comparison's line; with --json the list holds at\n"
             "most N (default 1000) and says whether it was cut",
             [&o](const std::string& v) { return parseCount(v, o.maxDifferences); });
    addValue(app, "--scale", "N",
             "each pixel of the picture an N by N block (1..64, nearest\n"
             "neighbour); at most 16384 pixels a side after scaling",
             [&o](const std::string& v) { return parseCount(v, o.slide.scale) && o.slide.scale >= 1 && o.slide.scale <= 64; },
             "N from 1 to 64");
    app.add_flag("--grid", o.slide.grid, "draw the pixel boundaries (with --scale 3 or more)");
    addValue(app, "--crop", "X,Y,W,H",
             "keep only the W by H pixels from column X, row Y (the lower left\n"
             "corner, window coordinates; with --from-top Y is the top row\n"
             "counted from the top). For texels, in the picture's pixels",
             [&o](const std::string& v) { return parseCrop(v, o.slide); }, "X,Y,W,H with W and H at least 1");
    addRulesOption(app, o.rules);
    addValue(app, "--ladder", "DIR",
             "take the view through the ladder's steps against the OpenGL frame\n"
             "drawn in a window and print a table: step, rule, pixels whose\n"
             "coverage differs, pixels that differ, within 1 and 2 levels,\n"
             "largest difference (the caption's pixels counted apart); write\n"
             "DIR/opengl.png, DIR/step-N-RULE.png (the difference at each step,\n"
             "brighter with it) and DIR/ladder.png (them side by side, named)",
             into(o.ladderDir));
    addValue(app, "--explain", "X,Y",
             "why pixel X,Y differs from the OpenGL frame: its colour at each\n"
             "step of the ladder, the step at which it came to equal OpenGL's\n"
             "(or how far it still is), and what each rule did to it",
             [&o](const std::string& v) { return o.explain = parsePixel(v, o.explainX, o.explainY); });
    app.add_flag_callback("--version", [] { throw CLI::CallForVersion(); }, "print the version and exit")
        ->trigger_on_parse();
}

// Rules between options that no single value shows; empty when all hold.
std::string combinationProblem(const SnapshotOptions& o)
{
    const bool comparing = !o.against.empty() || !o.againstDepth.empty();
    const bool watching = o.history || o.tracePolygon >= 0 || o.view != DebugView::color || comparing;
    // The rules of the options asked for come before the missing -o, which they may explain.
    if (!o.mask.empty() && !comparing)
        return "--mask needs --against or --against-depth";
    const bool laddering = !o.ladderDir.empty() || o.explain;
    if (!o.ladderDir.empty() && o.explain)
        return "--ladder and --explain are runs of their own: give one";
    if (laddering && (watching || !o.output.empty() || !o.depth.empty() || o.window || o.openGL ||
                      !o.compareDir.empty() || o.frames > 0 || o.rules.any()))
        return std::string(o.explain ? "--explain" : "--ladder") +
               " takes the view through every step itself: not with -o, --depth, --view, --history, "
               "--trace-polygon, --against, --window, --renderer, --compare, --frames or --rules";
    if (o.json && int(o.history) + int(o.tracePolygon >= 0) + int(comparing) + int(laddering) != 1)
        return "--json needs exactly one of --history, --trace-polygon, the comparisons "
               "(--against, --against-depth), --ladder and --explain";
    if (o.json && (o.frames > 0 || o.view == DebugView::overdraw || o.view == DebugView::texels || o.view == DebugView::depth))
        return "--json prints one JSON object: not with --frames or a view that prints a line";
    if (o.maxDifferences >= 0 && !comparing)
        return "--max-differences needs --against or --against-depth";
    if ((o.slide.scale > 1 || o.slide.grid || o.slide.crop) && o.output.empty() && o.mask.empty())
        return "--scale, --grid and --crop shape the picture of -o or --mask: give one";
    if ((o.slide.scale > 1 || o.slide.grid || o.slide.crop) && (o.window || o.openGL || !o.compareDir.empty()))
        return "--scale, --grid and --crop work on the software pipeline's pictures: not with "
               "--window, --renderer opengl or --compare";
    if (o.fromTop && !o.history && !o.slide.crop && !o.explain)
        return "--from-top needs --history, --crop or --explain";
    if (o.rules.any() && o.openGL)
        return "--rules changes the software frame: not with --renderer opengl";
    if (o.output.empty() && o.compareDir.empty() && !o.history && o.tracePolygon < 0 && !comparing && !laddering)
        return "no output file: give -o FILE";
    if (o.output.empty() && o.view != DebugView::color)
        return "--view needs -o FILE";
    if (watching && (o.window || o.openGL || !o.compareDir.empty()))
        return "--history, --trace-polygon, --against, --against-depth and --view watch the "
               "software pipeline: not with --window, --renderer opengl or --compare";
    if (o.history && (o.historyX >= o.width || o.historyY >= o.height))
        return "pixel " + std::to_string(o.historyX) + "," + std::to_string(o.historyY) +
               (o.fromTop ? " (counted from the top)" : "") + " lies outside the " +
               std::to_string(o.width) + "x" + std::to_string(o.height) + " frame";
    if (o.explain && (o.explainX >= o.width || o.explainY >= o.height))
        return "pixel " + std::to_string(o.explainX) + "," + std::to_string(o.explainY) +
               (o.fromTop ? " (counted from the top)" : "") + " lies outside the " +
               std::to_string(o.width) + "x" + std::to_string(o.height) + " frame";
    return "";
}

// Every file the run names: what it reads first, then what it writes.
std::vector<FileUse> fileUses(const SnapshotOptions& o)
{
    std::vector<FileUse> uses = {{"--texture", o.texture, false}, {"--against", o.against, false},
                                 {"--against-depth", o.againstDepth, false}, {"-o", o.output, true},
                                 {"--depth", o.depth, true}, {"--mask", o.mask, true}};
    if (!o.compareDir.empty())
        for (const char* name : {"software.png", "opengl.png", "difference.png"})
            uses.push_back({"--compare", (std::filesystem::path(o.compareDir) / name).string(), true});
    if (!o.ladderDir.empty())
        for (const std::string& name : ladderFileNames())
            uses.push_back({"--ladder", (std::filesystem::path(o.ladderDir) / name).string(), true});
    std::erase_if(uses, [](const FileUse& use) { return use.path.empty(); });
    return uses;
}

} // namespace

ParseResult parseSnapshotOptions(int argc, const char* const* argv, SnapshotOptions& options,
                                 std::string& message)
{
    CLI::App app("", "sphaerix-snapshot");
    describeOptions(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        // Anything unknown before --help was already wrong.
        if (app.remaining().empty())
            return ParseResult::help;
        message = "unknown option \"" + app.remaining().front() + "\"";
        return ParseResult::error;
    } catch (const RulesHelp&) {
        if (app.remaining().empty())
            return ParseResult::rulesHelp;
        message = "unknown option \"" + app.remaining().front() + "\"";
        return ParseResult::error;
    } catch (const CLI::CallForVersion&) {
        if (app.remaining().empty())
            return ParseResult::version;
        message = "unknown option \"" + app.remaining().front() + "\"";
        return ParseResult::error;
    } catch (const CLI::ParseError& error) {
        message = error.what();
        return ParseResult::error;
    }
    // Rows counted from the top become window rows, which every later step takes.
    if (options.fromTop && options.history && options.historyY < options.height)
        options.historyY = options.height - 1 - options.historyY;
    if (options.fromTop && options.explain && options.explainY < options.height)
        options.explainY = options.height - 1 - options.explainY;
    message = combinationProblem(options);
    if (message.empty())
        message = fileClash(fileUses(options));
    if (!message.empty())
        return ParseResult::error;
    if (options.fromTop && options.slide.crop)
        options.slide.cropFromTop = true;
    // The OpenGL renderer and the comparison need a context, hence the window.
    if (options.openGL || !options.compareDir.empty())
        options.window = true;
    return ParseResult::run;
}

const char* snapshotUsage()
{
    return "usage: sphaerix-snapshot [view options] [--view NAME] -o FILE.png|FILE.ppm, or instead "
           "of -o or beside it --history X,Y, --trace-polygon N, --against FILE or --compare DIR "
           "(--help for details)";
}

std::string snapshotVersion()
{
    return "sphaerix-snapshot " SPHAERIX_VERSION;
}

std::string snapshotHelp()
{
    SnapshotOptions ignored;
    CLI::App app("", "sphaerix-snapshot");
    describeOptions(app, ignored);
    return app.help();
}
