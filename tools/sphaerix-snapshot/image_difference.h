#pragma once

#include <string>

#include "inspect/rgb_image.h"

// How far two pictures of the same size are apart.
struct ImageDifference {
    RgbImage amplified;            // 0 where equal, else 32 + 8|a - b| capped at 255
    long long differingPixels = 0; // pixels with any channel unequal
    long long pixels = 0;
    double meanAbsolute[3] = {0.0, 0.0, 0.0}; // per channel over all pixels, 0..255 units
};

// Both pictures must have the same size.
ImageDifference compareImages(const RgbImage& a, const RgbImage& b);

// "differing pixels: N of T (P%), mean absolute difference: r R, g G, b B"
std::string describeDifference(const ImageDifference& difference);
