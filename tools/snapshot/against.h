#pragma once

#include <string>
#include <vector>

#include "inspect/comparison.h"

// Reading another rasterizer's files, to compare them with our frame.

// A picture from a PNG (any kind libpng reads, alpha over black, 16 bits rounded to 8) or
// a PPM (P6 or P3, maxval 255). On failure returns false with a one-line `error`.
bool readImageFile(const std::string& path, RgbImage& image, std::string& error);

// Exactly `count` little-endian 32-bit floats, the --depth format.
bool readDepthValues(const std::string& path, std::size_t count, std::vector<float>& depth,
                     std::string& error);
