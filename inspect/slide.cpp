#include "inspect/slide.h"

#include <algorithm>

#include "inspect/glyphs.h"
#include "raster/frame_limits.h"

bool slideWindow(const SlideLayout& layout, int width, int height, SlideWindow& window, std::string& error)
{
    window = SlideWindow{0, 0, width, height, layout.scale, height, layout.grid};
    if (layout.crop) {
        const long x = layout.cropX, y = layout.cropY, w = layout.cropWidth, h = layout.cropHeight;
        if (x + w > width || y + h > height) {
            error = "--crop " + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(w) + "," +
                    std::to_string(h) + " reaches outside the " + std::to_string(width) + "x" +
                    std::to_string(height) + " picture";
            return false;
        }
        window.left = int(x);
        window.top = layout.cropFromTop ? int(y) : int(height - y - h);
        window.width = int(w);
        window.height = int(h);
    }
    if (long(window.width) * layout.scale > largestSide || long(window.height) * layout.scale > largestSide) {
        error = "--scale " + std::to_string(layout.scale) + " makes a " +
                std::to_string(long(window.width) * layout.scale) + "x" +
                std::to_string(long(window.height) * layout.scale) + " picture; at most " +
                std::to_string(largestSide) + " a side";
        return false;
    }
    return true;
}

RgbImage slidePicture(RgbImage full, const SlideWindow& w)
{
    // The whole picture at one pixel a pixel is the picture itself; the page draws every
    // frame through here and would otherwise copy it pixel by pixel.
    if (w.scale == 1 && !w.grid && w.left == 0 && w.top == 0 && w.width == full.width && w.height == full.height)
        return full;
    const int s = w.scale;
    RgbImage picture{w.width * s, w.height * s, std::vector<unsigned char>(std::size_t(w.width) * s * w.height * s * 3)};
    unsigned char* out = picture.rgb.data();
    for (int row = 0; row < picture.height; ++row)
        for (int column = 0; column < picture.width; ++column) {
            const unsigned char* p =
                full.rgb.data() + (std::size_t(w.top + row / s) * full.width + w.left + column / s) * 3;
            out = std::copy(p, p + 3, out);
        }
    if (w.grid)
        drawGrid(picture, w);
    return picture;
}

void drawGrid(RgbImage& picture, const SlideWindow& w)
{
    const int s = w.scale;
    if (s < 3)
        return;
    const Rgb line{150, 150, 150};
    for (int row = 0; row < picture.height; ++row)
        for (int column = 0; column < picture.width; ++column)
            if (row % s == 0 || column % s == 0 || row == picture.height - 1 || column == picture.width - 1)
                setPixel(picture, column, row, line);
}

RgbImage withKeyBelow(const RgbImage& picture, const RgbImage& key)
{
    const int width = std::max(picture.width, key.width);
    RgbImage out{width, picture.height + key.height,
                 std::vector<unsigned char>(std::size_t(width) * (picture.height + key.height) * 3, 235)};
    for (int row = 0; row < picture.height; ++row)
        std::copy_n(picture.rgb.begin() + std::size_t(row) * picture.width * 3, picture.width * 3,
                    out.rgb.begin() + std::size_t(row) * width * 3);
    for (int row = 0; row < key.height; ++row)
        std::copy_n(key.rgb.begin() + std::size_t(row) * key.width * 3, key.width * 3,
                    out.rgb.begin() + std::size_t(picture.height + row) * width * 3);
    return out;
}

int keyScale(int pictureWidth)
{
    return std::clamp(pictureWidth / 100, 1, 4);
}
