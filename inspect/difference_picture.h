#pragma once

#include <string>

#include "inspect/rgb_image.h"

// Two renderings of one view set side by side, as `sphaerix-snapshot --compare` shows
// them: per channel |a - b|, lifted to 32 + 8|a - b| (at most 255) where it is not 0.
struct DifferencePicture {
    RgbImage amplified;
    long long differingPixels = 0; // pixels with any channel unequal
    long long pixels = 0;
    double meanAbsolute[3] = {0.0, 0.0, 0.0}; // per channel over all pixels, 0..255 units
};

// Both pictures must have the same size.
DifferencePicture differencePicture(const RgbImage& a, const RgbImage& b);

// "differing pixels: N of T (P%), mean absolute difference: r R, g G, b B"
std::string describeDifferencePicture(const DifferencePicture& difference);
