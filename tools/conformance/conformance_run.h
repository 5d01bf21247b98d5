#pragma once

#include <string>
#include <vector>

#include "inspect/rgb_image.h"
#include "tools/conformance/case_list.h"

// Our frame of one case, drawn by the program's own camera and fill into theScene's
// buffers; theScene must hold the case's texture (buildScene).
struct ReferenceFrame {
    RgbImage image; // top row first
    std::vector<float> depth; // bottom row first, as the --depth files hold it
};
ReferenceFrame renderReference(const ConformanceCase& c);

// Our history of pixel (x, y), window coordinates, of the case: the frame drawn again
// with the observer, as the snapshot's --history prints it.
std::string pixelHistoryText(const ConformanceCase& c, int x, int y);

// commandFailed: --run's command failed, was stopped or left a file out.
enum class Outcome { equal, differs, missing, unreadable, commandFailed };

// Both frames at the first differing pixel, as far as their files were read.
struct PixelValues {
    bool color = false, depth = false;
    unsigned char ourRgb[3] = {0, 0, 0}, theirRgb[3] = {0, 0, 0};
    float ourDepth = 0.0f, theirDepth = 0.0f;
};

// How another rasterizer's files for one case compare with ours.
struct CaseResult {
    Outcome outcome = Outcome::equal;
    std::string line; // what the run prints after the case's name
    std::string colorDetail, depthDetail; // the full comparison lines, with digests
    long long colorCount = 0, depthCount = 0; // differing pixels and depth values
    long long firstPixel = -1; // first pixel that differs in either, buffer order
    PixelValues first;         // at firstPixel
    RgbImage mask; // the error mask, only when something differs
};

// Compares DIR/NAME.png (else DIR/NAME.ppm) and DIR/NAME.depth with `ours`; the detail
// lines (whose digests take a third of the time) only `withDetails`.
CaseResult compareCase(const ConformanceCase& c, const ReferenceFrame& ours, const std::string& dir,
    bool withDetails = true);
