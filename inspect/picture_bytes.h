#pragma once

#include <string>
#include <vector>

// Another rasterizer's picture file, from its bytes, as the tools read the file: which
// format it is, and a PPM's samples.

// A PPM: P6 (binary) or P3 (text), maxval 255 or 65535
// (16-bit samples big-endian in P6). The header's numbers may be separated by any blanks
// and comments and have at most nine digits; the character after each number, a blank
// or a comment through its line's end, is part of it (after maxval the pixels follow).
struct PpmSamples {
    int width = 0, height = 0, maxval = 0;
    std::vector<unsigned short> samples; // R, G, B per pixel, top row first
};

enum class PictureFormat { png, ppm, neither };
// By the signature: PNG's eight bytes, or P6 or P3.
PictureFormat pictureFormat(const std::vector<unsigned char>& bytes);

// What the tools say of a file with neither signature, named for the format its name
// claims, worded to follow its quoted name.
std::string notAPicture(const std::string& name, const std::vector<unsigned char>& bytes);

// "" and `ppm`, or what is wrong with the file, worded to follow its quoted name.
std::string readPpmBytes(const std::vector<unsigned char>& bytes, PpmSamples& ppm);
