#pragma once

#include <string>

#include "inspect/debug_views.h"
#include "inspect/slide.h"
#include "raster/raster_rules.h"


// What one run of sphaerix-snapshot is asked to do. The view defaults are the program's
// start-up interaction state.
struct SnapshotOptions {
    std::string output;            // -o; empty when another output makes it optional
    bool openGL = false;           // --renderer opengl
    int width = 480;
    int height = 480;
    float angleZ = -135.0f;
    float angleX = -60.0f;
    float panX = 0.0f;
    float panY = 0.0f;
    float zoom = 0.25f;
    std::string texture = "sphere.raw";
    std::string depth;             // --depth; empty for none
    int frames = 0;                // extra timed frames after the first
    bool window = false;           // --window, implied by opengl and --compare
    std::string compareDir;        // --compare; empty for none
    DebugView view = DebugView::color;
    bool history = false;          // --history X,Y
    int historyX = 0;              // window coordinates, row 0 at the bottom
    int historyY = 0;
    bool fromTop = false;          // --from-top: Y of --history and --crop counted from the top
    SlideLayout slide;             // --scale, --grid, --crop
    int tracePolygon = -1;         // --trace-polygon; -1 for none
    bool json = false;             // --json: the history or the trace as one JSON object
    std::string against;           // --against: another rasterizer's image
    std::string againstDepth;      // --against-depth: its depth file
    std::string mask;              // --mask: the error mask of those comparisons
    int maxDifferences = -1;       // --max-differences; -1 when not given
    RasterRules rules;             // --rules: the software frame's rules; the program's own
    std::string ladderDir;         // --ladder: the view through the ladder's steps
    bool explain = false;          // --explain X,Y
    int explainX = 0;
    int explainY = 0;
};

enum class ParseResult { run, help, version, rulesHelp, error };

// Reads the command line strictly, in order: a bad value is reported even when --help
// follows it, and --help wins over anything bad after it. On `error` sets `message` to
// one line naming the problem; on `help` the caller prints snapshotHelp().
ParseResult parseSnapshotOptions(int argc, const char* const* argv, SnapshotOptions& options,
                                 std::string& message);

// The one-line reminder that follows every option error.
const char* snapshotUsage();

// The full --help text.
std::string snapshotHelp();

// "sphaerix-snapshot VERSION", the project's version.
std::string snapshotVersion();
