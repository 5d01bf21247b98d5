#pragma once

#include <array>
#include <string>
#include <vector>

#include "inspect/exact_number.h"
#include "inspect/rgb_image.h"
#include "raster/raster_rules.h"
#include "scene/scene.h"

// The OpenGL frame drawn in the program's window, as the ladder compares frames with it.
struct OpenGLFrame {
    RgbImage image;             // top row first
    std::vector<float> depth;   // bottom row first; 1.0 where nothing was drawn
};

// The caption's pixels: those OpenGL left undrawn by the torus (depth 1) but not white.
// Our frames draw no caption, so these are counted apart. Per pixel, bottom row first.
std::vector<unsigned char> captionPixels(const OpenGLFrame& openGL);

// One frame set against the OpenGL frame, the caption's pixels left out of every count.
struct StepComparison {
    RasterRules rules;
    long long pixels = 0;           // compared: the frame's, less the caption's
    long long caption = 0;
    long long coverageDiffers = 0;  // drawn in one frame and not in the other
    long long differ = 0;           // any channel unequal
    long long within1 = 0;          // every channel within 1 level
    long long within2 = 0;
    int largest = 0;                // largest channel difference
    RgbImage difference;            // black where equal, brighter with the difference
};

// `ours` and `ourDepth` as the software frame's buffers give them (picture top row first,
// depth bottom row first).
StepComparison compareWithOpenGL(RasterRules rules, const RgbImage& ours, const std::vector<float>& ourDepth,
                                 const OpenGLFrame& openGL, const std::vector<unsigned char>& caption);

// The ladder: step 0 (the program's rules) to step 7 (gl), each adding one rule.
struct Ladder {
    std::vector<StepComparison> steps;
    std::vector<RgbImage> frames; // our frame at each step
};

// "P%" of `count` in `total`, with enough digits to tell small counts apart.
std::string percentText(long long count, long long total);

// The table, one line per step, for people; `against` names the OpenGL frame.
std::string describeLadder(const Ladder& ladder, const std::string& against = "the OpenGL frame drawn in the window");

// One comparison as a line: the counts of a row of the table, the caption apart.
std::string describeStep(const StepComparison& step);

// {"steps": [{"step", "rules", "rule", "pixels", "caption", "coverage_differs", "differ",
// "within_1", "within_2", "largest"}, ...]}
Json ladderJson(const Ladder& ladder);

// One step's counts: {"rules", "pixels", "caption", "coverage_differs", "differ",
// "within_1", "within_2", "largest"}.
Json stepCountsJson(const StepComparison& step);

// The difference pictures of every step side by side, each under its step's name.
RgbImage ladderSlide(const Ladder& ladder);

// The files --ladder DIR writes, in order: opengl.png, step-K-RULE.png for every step of
// the ladder (step 0 "none") and ladder.png, the slide.
std::vector<std::string> ladderFileNames();

// One pixel through the ladder: its colour at each step (0: the program's rules, 7: gl)
// against the OpenGL frame's.
struct PixelLadder {
    int x = 0, y = 0;
    unsigned char openGL[3] = {0, 0, 0};
    bool caption = false;                 // the OpenGL frame's caption covers it
    std::vector<std::array<unsigned char, 3>> steps;
    bool filtered = false;                // under gl the filter coloured it: its values
    float scaled[3] = {0, 0, 0};          // times 255 before rounding
};

// Pixel x, y of the frame through the ladder: its row drawn under each step's rules into
// the buffers, which must be of the frame's size and hold a frame of the view (the row
// is left as gl draws it), and under gl how the filter found its colour.
PixelLadder pixelThroughLadder(const Scene& scene, int width, int height, int x, int y, const OpenGLFrame& openGL,
                               const std::vector<unsigned char>& caption);

// The largest channel difference from OpenGL's colour at each step.
std::vector<int> levelsFromOpenGL(const PixelLadder& pixel);

// A few sentences: how far it starts from OpenGL's, what each rule that moved it did,
// and the step from which it equals OpenGL's, or how far it still is and why.
std::vector<std::string> explainPixel(const PixelLadder& pixel);

// The colours step by step, then the sentences.
std::string describePixelLadder(const PixelLadder& pixel);

// {"pixel", "opengl", "caption", "steps": [{"step", "rule", "rules", "color", "levels"}],
// "equal_from" (the step, or null), "sentences"}
Json pixelLadderJson(const PixelLadder& pixel);
