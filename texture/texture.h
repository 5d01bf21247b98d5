#pragma once

#include <string>
#include <vector>

// The one RGB image: 256 x 256 texels of 3 bytes, row 0 at the bottom, column 0 at the left.
struct Texture {
    int width = 0;
    int height = 0;
    int components = 0;
    std::vector<unsigned char> data;
};

constexpr int textureSize = 256;
constexpr int textureComponents = 3;
constexpr long textureBytes = long(textureSize) * textureSize * textureComponents; // 196,608
constexpr const char* defaultTexturePath = "sphere.raw";

// Reads the first 196,608 bytes of `path` into `texture`. On failure returns false and
// sets `error` to one line naming the file and what is wrong; nothing is read from a
// file that failed to open. No frame may be drawn from a texture that was not read: the
// program prints the line and ends with status 1, the tools and the page say it and
// draw nothing on it.
bool readTextureFile(Texture& texture, const char* path, std::string& error);
