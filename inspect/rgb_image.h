#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "scene/color4.h"

// An 8-bit RGB picture, top row first, as image files hold it.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb; // width * height * 3
};

// round(c * 255) clamped to 0..255; NaN gives 0.
unsigned char channelByte(float c);

// A software colour buffer (row 0 at the bottom) as a picture (top row first).
RgbImage imageFromColors(const Color4* colors, int width, int height);

// Rows [first, end) of a software colour buffer as the same rows of its picture in RGBA,
// top row first, each channel as channelByte makes it and alpha 255: a canvas's bytes,
// made a band at a time while the frame is drawn.
// With `columns`, only that many pixels of each row from `colors` and `rgba` on: a part
// of each row, when both point into their rows.
void rgbaFromColors(const Color4* colors, int width, int height, int first, int end, unsigned char* rgba,
                    int columns = -1);

// A picture's RGB from its RGBA, and the other way.
std::vector<unsigned char> rgbFromRgba(const std::vector<unsigned char>& rgba);
std::vector<unsigned char> rgbaFromRgb(const std::vector<unsigned char>& rgb);

// A GL read-back (bottom row first, rows packed) as a picture.
RgbImage imageFromBottomUpRgb(const unsigned char* rgb, int width, int height);

// The bytes of a depth file: each float little-endian, in the order given.
std::vector<unsigned char> depthFileBytes(const float* depth, std::size_t count);
