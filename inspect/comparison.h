#pragma once

#include <string>
#include <vector>

#include "inspect/rgb_image.h"

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

// "against FILE: N of T pixels differ (P%), largest channel difference D, first at X,Y
// (row R from the top): ours r g b, theirs r g b; md5 ours M, theirs M"
std::string describeColorDifference(const std::string& path, const FrameDifference& d,
                                    const RgbImage& ours, const RgbImage& theirs);
// The same for depth, values printed exactly; md5 of the depth file bytes.
std::string describeDepthDifference(const std::string& path, const FrameDifference& d,
                                    const std::vector<float>& ours, const std::vector<float>& theirs);

// Red where either comparison found a difference, elsewhere our pixel as a dim grey.
RgbImage errorMask(const RgbImage& ours, const FrameDifference* colors, const FrameDifference* depths);
