#pragma once

#include <array>
#include <string>

#include "inspect/rgb_image.h"

using Rgb = std::array<unsigned char, 3>;

void setPixel(RgbImage& image, int x, int row, const Rgb& color);

// Text in glyphs of three by five pixels, each enlarged `scale` times: the digits,
// letters as small capitals, '+', '-' and '.'; anything else is a blank. Clipped at the picture's edges.
int textWidth(const std::string& text, int scale);
void drawText(RgbImage& image, const std::string& text, int left, int top, int scale, const Rgb& color);

// Black on light colours, white on dark ones.
Rgb inkOn(const Rgb& background);
