#include "inspect/glyphs.h"

#include <algorithm>
#include <cstring>

namespace {

// Top row first; bit 4 is the left column.
constexpr unsigned char digitGlyphs[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};
// Letters of either case as small capitals.
constexpr unsigned char letterGlyphs[26][5] = {
    {2, 5, 7, 5, 5}, {6, 5, 6, 5, 6}, {3, 4, 4, 4, 3}, {6, 5, 5, 5, 6}, {7, 4, 6, 4, 7}, {7, 4, 6, 4, 4},
    {3, 4, 5, 5, 3}, {5, 5, 7, 5, 5}, {7, 2, 2, 2, 7}, {1, 1, 1, 5, 2}, {5, 5, 6, 5, 5}, {4, 4, 4, 4, 7},
    {5, 7, 7, 5, 5}, {6, 5, 5, 5, 5}, {2, 5, 5, 5, 2}, {6, 5, 6, 4, 4}, {2, 5, 5, 6, 3}, {6, 5, 6, 5, 5},
    {3, 4, 2, 1, 6}, {7, 2, 2, 2, 2}, {5, 5, 5, 5, 7}, {5, 5, 5, 5, 2}, {5, 5, 7, 7, 5}, {5, 5, 2, 5, 5},
    {5, 5, 2, 2, 2}, {7, 1, 2, 4, 7}};
constexpr unsigned char plusGlyph[5] = {0, 2, 7, 2, 0};
constexpr unsigned char minusGlyph[5] = {0, 0, 7, 0, 0};
constexpr unsigned char pointGlyph[5] = {0, 0, 0, 0, 2};
constexpr unsigned char blankGlyph[5] = {0, 0, 0, 0, 0};

const unsigned char* glyphOf(char c)
{
    if (c >= '0' && c <= '9')
        return digitGlyphs[c - '0'];
    if (c >= 'a' && c <= 'z')
        return letterGlyphs[c - 'a'];
    if (c >= 'A' && c <= 'Z')
        return letterGlyphs[c - 'A'];
    return c == '+' ? plusGlyph : c == '-' ? minusGlyph : c == '.' ? pointGlyph : blankGlyph;
}

} // namespace

void setPixel(RgbImage& image, int x, int row, const Rgb& color)
{
    if (x < 0 || row < 0 || x >= image.width || row >= image.height)
        return;
    std::copy(color.begin(), color.end(), image.rgb.begin() + (std::size_t(row) * image.width + x) * 3);
}

int textWidth(const std::string& text, int scale)
{
    return text.empty() ? 0 : (4 * int(text.size()) - 1) * scale;
}

void drawText(RgbImage& image, const std::string& text, int left, int top, int scale, const Rgb& color)
{
    for (std::size_t k = 0; k < text.size(); ++k) {
        const unsigned char* glyph = glyphOf(text[k]);
        const int x0 = left + int(k) * 4 * scale;
        for (int row = 0; row < 5 * scale; ++row)
            for (int column = 0; column < 3 * scale; ++column)
                if (glyph[row / scale] & (4 >> (column / scale)))
                    setPixel(image, x0 + column, top + row, color);
    }
}

Rgb inkOn(const Rgb& background)
{
    return background[0] * 3 + background[1] * 6 + background[2] < 1200 ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
}
