#pragma once

#include <string>
#include <vector>

#include "texture/image.h"

// The raw texture is exactly textureBytes: rows bottom first, texels R, G, B.
// Both return false and set `error` to one line naming the file on failure.
bool readRawFile(const char* path, std::vector<unsigned char>& raw, std::string& error);
bool writeRawFile(const char* path, const std::vector<unsigned char>& raw, std::string& error);

// A textureSize x textureSize picture to raw bytes: rows flipped, samples rounded to
// the nearest byte.
std::vector<unsigned char> rawFromImage(const Image& image);

// Raw bytes to 8-bit RGB rows, top row first, as a PNG wants them.
std::vector<unsigned char> topDownRowsFromRaw(const std::vector<unsigned char>& raw);
