#pragma once

#include <string>
#include <vector>

// An 8-bit RGB picture, top row first, as windows are captured and snapshots written.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    const unsigned char* at(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }
};

// Binary PPM (P6, maxval 255). False with `error` set on anything else.
bool readPpm(const std::string& path, RgbImage& image, std::string& error);
bool writePpm(const std::string& path, const RgbImage& image);

// "identical", or what differs: the size, or how many pixels and the first of them.
std::string describeDifference(const RgbImage& actual, const RgbImage& expected);
bool sameImage(const RgbImage& a, const RgbImage& b);
