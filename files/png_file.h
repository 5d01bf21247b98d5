#pragma once

#include <png.h>

#include <string>
#include <vector>

#include "texture/image.h"

// A PNG as the file stores it, for writing any of its kinds.
struct PngData {
    int width = 0;
    int height = 0;
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<unsigned char> palette;      // R, G, B per entry, for PNG_COLOR_TYPE_PALETTE
    std::vector<unsigned char> paletteAlpha; // optional alpha per palette entry
    std::vector<unsigned char> pixels;       // rows top first, packed as in the file (16 bits big-endian)
};

// What becomes of a PNG's alpha (a palette's or a single transparent colour's too):
// composited over black, for a picture that becomes an opaque texture; or ignored, the
// colour channels read as stored, for a frame compared with ours.
enum class PngAlpha { overBlack, ignored };

// Reads any PNG: grey, grey+alpha, RGB, RGBA or palette, 1 to 16 bits, interlaced or
// not. On failure returns false and sets `error` to one line naming the file.
bool readPng(const char* path, Image& image, std::string& error, PngAlpha alpha = PngAlpha::overBlack);

// On failure returns false, sets `error` to one line naming the file and leaves no file.
bool writePng(const char* path, const PngData& png, std::string& error);

// The PNG file's bytes in memory, for embedding; false with `error` saying why not.
bool pngBytes(const PngData& png, std::string& bytes, std::string& error);
