#include "tools/snapshot/options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

bool parseFloat(const std::string& text, float& value)
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

bool parseCount(const std::string& text, int& value)
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

bool parseSize(const std::string& text, int& width, int& height)
{
    return parseTwo(text, 'x', parseSide, width, height);
}

bool parsePair(const std::string& text, float& x, float& y)
{
    return parseTwo(text, ',', parseFloat, x, y);
}

static bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() > suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

ParseResult parseSnapshotOptions(int argc, const char* const* argv, SnapshotOptions& options,
                                 std::string& message)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h")
            return ParseResult::help;
        if (name == "--window") {
            options.window = true;
            continue;
        }
        const bool takesValue = name == "-o" || name == "--renderer" || name == "--size" ||
                                name == "--angle-z" || name == "--angle-x" || name == "--pan" ||
                                name == "--zoom" || name == "--texture" || name == "--depth" ||
                                name == "--frames" || name == "--compare";
        if (!takesValue) {
            message = "unknown option \"" + name + "\"";
            return ParseResult::error;
        }
        if (i + 1 >= argc) {
            message = name + " needs a value";
            return ParseResult::error;
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (name == "-o") {
            ok = endsWith(value, ".png") || endsWith(value, ".ppm");
            options.output = value;
        } else if (name == "--renderer") {
            ok = value == "software" || value == "opengl";
            options.openGL = value == "opengl";
        } else if (name == "--size") {
            ok = parseSize(value, options.width, options.height);
        } else if (name == "--angle-z") {
            ok = parseFloat(value, options.angleZ);
        } else if (name == "--angle-x") {
            ok = parseFloat(value, options.angleX);
        } else if (name == "--pan") {
            ok = parsePair(value, options.panX, options.panY);
        } else if (name == "--zoom") {
            ok = parseFloat(value, options.zoom);
        } else if (name == "--frames") {
            ok = parseCount(value, options.frames);
        } else {
            ok = !value.empty();
            std::string& path = name == "--texture" ? options.texture
                                : name == "--depth" ? options.depth
                                                    : options.compareDir;
            path = value;
        }
        if (!ok) {
            message = "bad value \"" + value + "\" for " + name;
            return ParseResult::error;
        }
    }
    if (options.output.empty() && options.compareDir.empty()) {
        message = "no output file: give -o FILE";
        return ParseResult::error;
    }
    // The OpenGL renderer and the comparison need a context, hence the window.
    if (options.openGL || !options.compareDir.empty())
        options.window = true;
    return ParseResult::run;
}

const char* snapshotUsage()
{
    return "usage: sphaerix-snapshot [--renderer software|opengl] [--size WxH] [--angle-z DEG] "
           "[--angle-x DEG] [--pan X,Y] [--zoom N] [--texture FILE] [--depth FILE] [--frames N] "
           "[--window] [--compare DIR] -o FILE.png|FILE.ppm (--help for details)";
}

const char* snapshotHelp()
{
    return "sphaerix-snapshot [options] -o FILE\n"
           "Renders one frame of Sphaerix through the program's own code and writes it.\n"
           "\n"
           "  -o FILE              the image: PNG for FILE.png, binary PPM (P6, maxval 255) for\n"
           "                       FILE.ppm; top row first, each channel round(c*255) clamped\n"
           "                       to 0..255 (NaN gives 0), alpha dropped. Optional with --compare.\n"
           "  --renderer NAME      software (default) or opengl (implies --window)\n"
           "  --size WxH           frame size in pixels, 1..16384 per side, default 480x480\n"
           "  --angle-z DEG        angleZ, default -135\n"
           "  --angle-x DEG        angleX, default -60\n"
           "  --pan X,Y            panX and panY in pixels, default 0,0\n"
           "  --zoom N             zoom in wheel events, default 0.25\n"
           "  --texture FILE       the sphere-map file, default sphere.raw\n"
           "  --depth FILE         also write the depth: W*H little-endian 32-bit floats, bottom\n"
           "                       row first, normalised device depth (-1 near .. 1 far, 1.0 where\n"
           "                       nothing is drawn). Software renderer: the software DepthBuffer.\n"
           "                       OpenGL renderer: GL's depth buffer read back, mapped from 0..1\n"
           "                       to -1..1 (2d - 1) so that both files mean the same.\n"
           "  --frames N           render N more frames after the first and print\n"
           "                       \"frames: N, median: X ms\" (X: median time of the software\n"
           "                       frame: sizing, clearing, projection, fill; with --window, of\n"
           "                       drawFrame + swap + glFinish). N = 0 prints nothing.\n"
           "  --window             draw through the program's drawFrame in a GLUT window and read\n"
           "                       the back buffer before the swap\n"
           "  --compare DIR        write DIR/software.png, DIR/opengl.png and DIR/difference.png\n"
           "                       (|a - b| per channel, 0 where equal, else 32 + 8|a - b| capped\n"
           "                       at 255) for the same view, both drawn in the window, and print\n"
           "                       the count and share of differing pixels and the mean absolute\n"
           "                       difference per channel (0..255 units, over all pixels)\n"
           "  --help               this text\n"
           "\n"
           "Exit status: 0 done, 1 texture, file or window problem, 2 bad option or value.\n"
           "Without --window, --renderer opengl and --compare no OpenGL, GLUT or X is used.\n";
}
