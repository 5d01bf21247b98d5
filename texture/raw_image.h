#pragma once

#include <vector>

#include "texture/image.h"

// The raw texture is exactly textureBytes: rows bottom first, texels R, G, B.

// A textureSize x textureSize picture to raw bytes: rows flipped, samples rounded to
// the nearest byte.
std::vector<unsigned char> rawFromImage(const Image& image);

// Raw bytes to 8-bit RGB rows, top row first, as a PNG wants them.
std::vector<unsigned char> topDownRowsFromRaw(const std::vector<unsigned char>& raw);
