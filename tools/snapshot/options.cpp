#include "tools/snapshot/options.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <iterator>

constexpr int maxFrameSide = 16384;

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
    return parseCount(text, side) && side >= 1 && side <= maxFrameSide;
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

static bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() > suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

static bool imagePath(const std::string& text)
{
    return endsWith(text, ".png") || endsWith(text, ".ppm");
}

namespace {

const char* const helpFooter =
    "Views (--view NAME, written by -o; white is where nothing was drawn unless said):\n"
    "  color      the frame as the program shows it\n"
    "  depth      grey levels from black at the nearest to white at the farthest depth\n"
    "             drawn in this frame; steel blue (64,128,192) where nothing was drawn\n"
    "  normals    the eye-space unit normal that indexed the sphere map as RGB: red, green\n"
    "             and blue are x, y and z from -1 (0) to 1 (255)\n"
    "  overdraw   fragments tested per pixel: 1 dark blue, 2 light blue, 3 green,\n"
    "             4 yellow, 5 orange, 6 red, 7 or more magenta; the key is drawn in the\n"
    "             lower left. Prints the total, the most at one pixel and how many pixels\n"
    "             had 0, 1, 2, 3 and more\n"
    "  polygons   each pixel in a colour of the polygon that won it (neighbours differ)\n"
    "  edges      the colour image with the first and last covered column of every span\n"
    "             marked: red where that fragment is what the pixel shows, halfway to\n"
    "             yellow where it failed the depth test or was drawn over\n"
    "  texels     the 256x256 sphere map, each texel 2x2 pixels, top row up: texels that a\n"
    "             fragment passing the depth test looked up at full strength, the others\n"
    "             at a quarter. Prints how many texels were read\n"
    "\n"
    "--history, --trace-polygon, --against* and any view but color watch the software\n"
    "pipeline as it draws the frame: they take no --window, --renderer opengl or --compare.\n"
    "--json needs exactly one of --history and --trace-polygon, and nothing else that\n"
    "prints: standard output is then that one JSON object.\n"
    "\n"
    "Exit status: 0 done (and everything compared equal), 1 texture, file or window problem\n"
    "(a file to compare with that cannot be read or has another size), 2 bad option or\n"
    "value, 3 a comparison found differences.\n"
    "Without --window, --renderer opengl and --compare no OpenGL, GLUT or X is used.\n";

// An option whose value is checked the moment it is read, so that errors come in
// command-line order; a repeated option keeps its last value.
void addValue(CLI::App& app, const std::string& name, const std::string& typeName,
              const std::string& description, std::function<bool(const std::string&)> store)
{
    app.add_option_function<std::string>(
           name,
           [name, store](const std::string& value) {
               if (!store(value))
                   throw CLI::ValidationError("bad value \"" + value + "\" for " + name);
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
             "FILE.ppm; top row first, each channel round(c*255) clamped\n"
             "to 0..255 (NaN gives 0), alpha dropped. Optional with --compare,\n"
             "--history, --trace-polygon, --against and --against-depth.",
             into(o.output, imagePath));
    addValue(app, "--renderer", "NAME", "software (default) or opengl (implies --window)",
             [&o](const std::string& v) {
                 o.openGL = v == "opengl";
                 return v == "software" || v == "opengl";
             });
    addValue(app, "--size", "WxH", "frame size in pixels, 1..16384 per side, default 480x480",
             [&o](const std::string& v) { return parseSize(v, o.width, o.height); });
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
             "at the bottom), in drawing order: polygon, span, depth, the\n"
             "depth stored before, the outcome, the normal, and for a pass\n"
             "the sphere-map lookup; then the final colour and depth",
             [&o](const std::string& v) { return o.history = parsePixel(v, o.historyX, o.historyY); });
    addValue(app, "--trace-polygon", "N",
             "print polygon N of the frame (drawing order, from 0): its\n"
             "corners, its edges after set-up, then row by row the active\n"
             "edges, the spans and the depth-test outcomes",
             [&o](const std::string& v) { return parseCount(v, o.tracePolygon); });
    app.add_flag("--json", o.json, "print the history or the trace as one JSON object");
    addValue(app, "--against", "FILE",
             "compare another rasterizer's image (PNG or PPM, the frame's size)\n"
             "with our colour image of this view and print one line: pixels\n"
             "that differ, the largest channel difference, the first differing\n"
             "pixel (row 0 at the bottom first) and the MD5 of each image's RGB\n"
             "bytes (top row first). Exit status 3 when they differ",
             into(o.against));
    addValue(app, "--against-depth", "FILE",
             "the same for a depth file in the --depth format; the first\n"
             "differing value is printed exactly",
             into(o.againstDepth));
    addValue(app, "--mask", "FILE",
             "write the error mask of --against and --against-depth (PNG or\n"
             "PPM): equal pixels dimmed grey, differing ones red",
             into(o.mask, imagePath));
}

// Rules between options that no single value shows; empty when all hold.
std::string combinationProblem(const SnapshotOptions& o)
{
    const bool comparing = !o.against.empty() || !o.againstDepth.empty();
    const bool watching = o.history || o.tracePolygon >= 0 || o.view != DebugView::color || comparing;
    if (o.output.empty() && o.compareDir.empty() && !o.history && o.tracePolygon < 0 && !comparing)
        return "no output file: give -o FILE";
    if (o.output.empty() && o.view != DebugView::color)
        return "--view needs -o FILE";
    if (watching && (o.window || o.openGL || !o.compareDir.empty()))
        return "--history, --trace-polygon, --against, --against-depth and --view watch the "
               "software pipeline: not with --window, --renderer opengl or --compare";
    if (o.history && (o.historyX >= o.width || o.historyY >= o.height))
        return "pixel " + std::to_string(o.historyX) + "," + std::to_string(o.historyY) +
               " lies outside the " + std::to_string(o.width) + "x" + std::to_string(o.height) + " frame";
    if (!o.mask.empty() && !comparing)
        return "--mask needs --against or --against-depth";
    if (o.json && (o.history == (o.tracePolygon >= 0)))
        return "--json needs exactly one of --history and --trace-polygon";
    if (o.json && (comparing || o.frames > 0 || o.view == DebugView::overdraw || o.view == DebugView::texels))
        return "--json prints one JSON object: not with --against, --against-depth, --frames "
               "or a view that prints a line";
    return "";
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
    } catch (const CLI::ParseError& error) {
        message = error.what();
        return ParseResult::error;
    }
    message = combinationProblem(options);
    if (!message.empty())
        return ParseResult::error;
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

std::string snapshotHelp()
{
    SnapshotOptions ignored;
    CLI::App app("", "sphaerix-snapshot");
    describeOptions(app, ignored);
    return app.help();
}
