#pragma once

#include <string>
#include <vector>

#include "inspect/comparison.h"

// Reading another rasterizer's files, to compare them with our frame.

// A picture from a PNG (any kind libpng reads; the colour channels as stored, alpha
// ignored) or a PPM (P6 or P3, maxval 255 or 65535). 16-bit samples s become bytes
// lround(s / 65535 * 255) in both formats. On failure returns false with a one-line
// `error` that names the format the file's name or first bytes claim.
bool readImageFile(const std::string& path, RgbImage& image, std::string& error);

// Exactly `count` little-endian 32-bit floats, the --depth format.
bool readDepthValues(const std::string& path, std::size_t count, std::vector<float>& depth,
                     std::string& error);
