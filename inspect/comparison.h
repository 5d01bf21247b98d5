#pragma once

#include <string>
#include <vector>

#include "inspect/exact_number.h"
#include "inspect/rgb_image.h"
#include "inspect/slide.h"

// Comparison of our frame with what another rasterizer made of the same view.

// Where two frames of width x height differ. Pixels are numbered as in the frame buffers
// (y * width + x, row 0 at the bottom), so the first difference is the lowest row's.
struct FrameDifference {
    int width = 0, height = 0;
    std::vector<unsigned char> differs; // per pixel
    long long count = 0;
    long long first = -1;               // the first differing pixel, -1 for none
    double largest = 0.0;               // largest channel (or depth) difference
};

// Colour: pictures top row first, as files hold them.
FrameDifference compareColors(const RgbImage& ours, const RgbImage& theirs);
// Depth: values bottom row first, as the buffers and the depth files hold them. Equal
// means == (so -0 equals 0) or both NaN.
FrameDifference compareDepths(const std::vector<float>& ours, const std::vector<float>& theirs,
                              int width, int height);

// `count` little-endian 32-bit floats from `bytes`, the --depth files' format.
std::vector<float> depthFromBytes(const unsigned char* bytes, std::size_t count);

// "\"NAME\" has N bytes; the frame's depth has M" when a depth file of `bytes` bytes
// cannot hold the frame's `values` values (4 bytes each), else empty.
std::string depthSizeProblem(const std::string& name, unsigned long long bytes, std::size_t values);

// "against FILE: N of T pixels differ (P%), largest channel difference D, first at X,Y
// (row R from the top): ours r g b, theirs r g b; md5 ours M, theirs M"
std::string describeColorDifference(const std::string& path, const FrameDifference& d,
                                    const RgbImage& ours, const RgbImage& theirs);
// The same for depth, values printed exactly; md5 of the depth file bytes.
std::string describeDepthDifference(const std::string& path, const FrameDifference& d,
                                    const std::vector<float>& ours, const std::vector<float>& theirs);

// The first `count` differing pixels, one line each under the comparison's line:
// "  X,Y (row R from the top): ours r g b, theirs r g b" (depths printed exactly).
std::string listColorDifferences(const FrameDifference& d, const RgbImage& ours, const RgbImage& theirs, int count);
std::string listDepthDifferences(const FrameDifference& d, const std::vector<float>& ours,
                                 const std::vector<float>& theirs, int count);

// The same as one JSON object each: the counts, the largest difference, the digests and
// at most `cap` differing pixels ("differences", each {x, y, row_from_top, ours, theirs}),
// with the cap and whether the list was cut.
Json colorDifferenceJson(const std::string& path, const FrameDifference& d, const RgbImage& ours,
                         const RgbImage& theirs, int cap);
Json depthDifferenceJson(const std::string& path, const FrameDifference& d, const std::vector<float>& ours,
                         const std::vector<float>& theirs, int cap);

// Our pixel as a dim grey where both comparisons found it equal; red where the colour
// differs, blue where the depth does, magenta where both do. Through `window` (crop,
// scale, grid), with a yellow ring around each differing pixel, on equal pixels only.
// With a `margin`, the picture has that many pixels of dark ground round it, on which
// the rings of the pixels at its edges are whole (the page's masks; the files have none).
constexpr int maskRingGap = 3; // slide pixels between a differing pixel's block and its ring
RgbImage errorMask(const RgbImage& ours, const FrameDifference* colors, const FrameDifference* depths,
                   const SlideWindow& window, int margin = 0);
