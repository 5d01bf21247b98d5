#pragma once

#include <string>
#include <vector>

#include "inspect/rgb_image.h"

enum class ImageFormat { png, ppm, other };
// By the path's extension, in any case.
ImageFormat imageFormat(const std::string& path);

// Writes PNG when the path ends in .png (any case), else binary PPM (P6, maxval 255).
// On failure returns false with a one-line `error`.
bool writeImage(const RgbImage& image, const std::string& path, std::string& error);

// W * H little-endian 32-bit floats in the order given (bottom row first for the buffers).
bool writeDepthFile(const float* depth, int width, int height, const std::string& path,
                    std::string& error);
