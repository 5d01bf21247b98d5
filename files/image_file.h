#pragma once

#include <string>

#include "inspect/rgb_image.h"

// The tools' pictures: PNG or PPM, top row first.

enum class ImageFormat { png, ppm, other };
// By the path's extension, in any case.
ImageFormat imageFormat(const std::string& path);

// Writes PNG when the path ends in .png (any case), else binary PPM (P6, maxval 255).
// On failure returns false with a one-line `error` and leaves no file.
bool writeImage(const RgbImage& image, const std::string& path, std::string& error);

// The picture as the bytes of a PNG file, for embedding in a page.
bool imagePngBytes(const RgbImage& image, std::string& bytes, std::string& error);

// A picture from a PNG (any kind libpng reads; the colour channels as stored, alpha
// ignored) or a PPM (P6 or P3, maxval 255 or 65535). 16-bit samples s become bytes
// lround(s / 65535 * 255) in both formats. On failure returns false with a one-line
// `error` that names the format the file's name or first bytes claim.
bool readImageFile(const std::string& path, RgbImage& image, std::string& error);
