#pragma once

#include <string>

#include "inspect/rgb_image.h"

// The largest scale of a slide (--scale N): screen pixels per picture pixel.
constexpr int largestSlideScale = 64;

// How a picture is laid out for a slide: cut to a neighbourhood, each pixel enlarged to
// a block, the blocks ruled.
struct SlideLayout {
    int scale = 1;
    bool grid = false;
    bool crop = false;
    bool cropFromTop = false; // cropY is the top row, counted from the top
    int cropX = 0, cropY = 0, cropWidth = 0, cropHeight = 0;
};

// The part of a picture a slide shows: columns [left, left + width) and picture rows
// [top, top + height) (top row first), each pixel scale x scale; `fullHeight` is the
// picture's, to turn window rows (row 0 at the bottom) into picture rows.
struct SlideWindow {
    int left = 0, top = 0, width = 0, height = 0, scale = 1, fullHeight = 0;
    bool grid = false;

    // A position in window coordinates (row 0 at the bottom; pixel x covers [x, x + 1))
    // on the slide picture, in its pixels.
    double slideX(double x) const { return (x - left) * scale; }
    double slideY(double y) const { return (fullHeight - y - top) * scale; }
    // The window pixel under a slide pixel.
    int windowX(int column) const { return left + column / scale; }
    int windowY(int row) const { return fullHeight - 1 - (top + row / scale); }
};

// The whole of a width x height picture at one pixel a pixel.
inline SlideWindow wholePicture(int width, int height) { return SlideWindow{0, 0, width, height, 1, height}; }

// The window of `layout` over a width x height picture; false with `error` when the crop
// reaches outside it or the slide would be more than 16384 pixels a side.
bool slideWindow(const SlideLayout& layout, int width, int height, SlideWindow& window, std::string& error);

// The window's pixels enlarged, with the grid when asked for and scale is 3 or more.
RgbImage slidePicture(RgbImage full, const SlideWindow& window);
// The grid on a slide picture: a grey line along the top and left of every block, and
// along the picture's right and bottom edges.
void drawGrid(RgbImage& picture, const SlideWindow& window);

// The picture with `key` under it, on a light grey ground as wide as the wider of the two.
RgbImage withKeyBelow(const RgbImage& picture, const RgbImage& key);

// The scale of a key's boxes and glyphs for a picture of that width.
int keyScale(int pictureWidth);
