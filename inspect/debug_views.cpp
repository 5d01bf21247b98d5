#include "inspect/debug_views.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "texture/sphere_map.h"

bool debugViewFromName(const std::string& name, DebugView& view)
{
    static const char* const names[] = {"color", "depth", "normals", "overdraw", "polygons", "edges", "texels"};
    for (std::size_t i = 0; i < std::size(names); ++i)
        if (name == names[i]) {
            view = static_cast<DebugView>(i);
            return true;
        }
    return false;
}

namespace {

using Rgb = std::array<unsigned char, 3>;

constexpr Rgb white{255, 255, 255};

// A picture of width x height from a colour per pixel (x, y), row 0 at the bottom.
template <typename PixelColor>
RgbImage picture(int width, int height, PixelColor color)
{
    RgbImage image{width, height, std::vector<unsigned char>(std::size_t(width) * height * 3)};
    unsigned char* out = image.rgb.data();
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = color(x, y, std::size_t(y) * width + x);
            out = std::copy(c.begin(), c.end(), out);
        }
    return image;
}

void setPixel(RgbImage& image, int x, int row, const Rgb& color)
{
    if (x < 0 || row < 0 || x >= image.width || row >= image.height)
        return;
    std::copy(color.begin(), color.end(), image.rgb.begin() + (std::size_t(row) * image.width + x) * 3);
}

// The heat scale: 0, 1, ..., 6, and 7 or more.
constexpr Rgb heat[8] = {{255, 255, 255}, {40, 40, 150}, {30, 140, 210}, {40, 170, 80},
                         {230, 210, 40}, {240, 130, 30}, {210, 30, 30}, {200, 40, 200}};

// Glyphs of three columns and five rows, top row first; bit 4 is the left column.
constexpr unsigned char digitGlyphs[11][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}, {0, 2, 7, 2, 0}, // '+'
};

void drawGlyph(RgbImage& image, int glyph, int left, int top, int scale, const Rgb& color)
{
    for (int row = 0; row < 5 * scale; ++row)
        for (int column = 0; column < 3 * scale; ++column)
            if (digitGlyphs[glyph][row / scale] & (4 >> (column / scale)))
                setPixel(image, left + column, top + row, color);
}

// One box per count of the heat scale, labelled, along the bottom left; clipped where
// the frame is smaller than the key.
void drawHeatKey(RgbImage& image)
{
    const int scale = std::max(1, std::min(image.width, image.height) / 160);
    const int boxWidth = 12 * scale, boxHeight = 9 * scale;
    const int top = image.height - 2 * scale - boxHeight;
    for (int count = 0; count < 8; ++count) {
        const int left = 2 * scale + count * (boxWidth - scale);
        const Rgb& fill = heat[count];
        const bool dark = fill[0] * 3 + fill[1] * 6 + fill[2] < 1200;
        for (int row = 0; row < boxHeight; ++row)
            for (int column = 0; column < boxWidth; ++column) {
                const bool border = row < scale || column < scale || row >= boxHeight - scale ||
                                    column >= boxWidth - scale;
                setPixel(image, left + column, top + row, border ? Rgb{0, 0, 0} : fill);
            }
        const Rgb ink = dark ? white : Rgb{0, 0, 0};
        if (count < 7) {
            drawGlyph(image, count, left + 5 * scale, top + 2 * scale, scale, ink);
        } else {
            drawGlyph(image, 7, left + 2 * scale, top + 2 * scale, scale, ink);
            drawGlyph(image, 10, left + 6 * scale, top + 2 * scale, scale, ink);
        }
    }
}

} // namespace

RgbImage depthView(const float* depth, int width, int height)
{
    const std::size_t pixels = std::size_t(width) * height;
    float nearest = INFINITY, farthest = -INFINITY;
    for (std::size_t i = 0; i < pixels; ++i)
        if (depth[i] != 1.0f && std::isfinite(depth[i])) {
            nearest = std::min(nearest, depth[i]);
            farthest = std::max(farthest, depth[i]);
        }
    const double range = double(farthest) - double(nearest);
    return picture(width, height, [&](int, int, std::size_t i) {
        if (depth[i] == 1.0f)
            return Rgb{64, 128, 192};
        // A single drawn depth, or one beyond the finite range, takes the nearest end.
        double t = range > 0.0 ? (double(depth[i]) - nearest) / range : 0.0;
        t = t > 0.0 ? std::min(t, 1.0) : 0.0;
        const auto level = static_cast<unsigned char>(std::lround(t * 255.0));
        return Rgb{level, level, level};
    });
}

RgbImage normalsView(const Scene& scene, const Winners& winners, int height)
{
    std::vector<SphereMap> maps;
    for (const Mesh& mesh : scene.meshes)
        maps.emplace_back(scene, mesh);
    return picture(winners.width, height, [&](int, int, std::size_t i) {
        const Winners::Winner& w = winners.pixels[i];
        if (w.mesh < 0)
            return white;
        // The lookup's own unit normal, turned by the same model-view product; the lookup
        // itself needs only x and y of it.
        const SphereMapSteps s = maps[std::size_t(w.mesh)].steps(w.normal[0], w.normal[1], w.normal[2]);
        Vec4 eye;
        scene.modelView.current.transform(eye, Vec4{s.unit[0], s.unit[1], s.unit[2], 0.0f});
        return Rgb{channelByte(eye.x * 0.5f + 0.5f), channelByte(eye.y * 0.5f + 0.5f),
                   channelByte(eye.z * 0.5f + 0.5f)};
    });
}

RgbImage overdrawView(const FragmentCounts& counts, int height)
{
    RgbImage image = picture(counts.width, height, [&](int, int, std::size_t i) {
        return heat[std::min(counts.counts[i], 7)];
    });
    drawHeatKey(image);
    return image;
}

std::string describeOverdraw(const FragmentCounts& counts)
{
    long long pixels[5] = {0, 0, 0, 0, 0}; // 0, 1, 2, 3 and more fragments
    int most = 0;
    for (int n : counts.counts) {
        ++pixels[std::min(n, 4)];
        most = std::max(most, n);
    }
    char line[256];
    std::snprintf(line, sizeof line,
                  "overdraw: %lld fragments tested, at most %d at one pixel; pixels with 0: %lld, "
                  "1: %lld, 2: %lld, 3: %lld, more: %lld",
                  counts.total, most, pixels[0], pixels[1], pixels[2], pixels[3], pixels[4]);
    return line;
}

void polygonColor(int mesh, int polygon, unsigned char rgb[3])
{
    // Golden-ratio steps of hue keep polygon p apart from p + 1 and from p + 48; saturation
    // and value cycle too, for polygons whose hues happen to come close.
    const long index = long(polygon) + 7919L * mesh;
    const double hue = std::fmod(double(index) * 0.6180339887, 1.0);
    const Color4 c = colorFromHsv(static_cast<float>(hue), 0.45f + 0.2f * float(index % 3),
                                  0.95f - 0.12f * float((index / 3) % 3), 1.0f);
    rgb[0] = channelByte(c.r);
    rgb[1] = channelByte(c.g);
    rgb[2] = channelByte(c.b);
}

RgbImage polygonsView(const Winners& winners, int height)
{
    return picture(winners.width, height, [&](int, int, std::size_t i) {
        const Winners::Winner& w = winners.pixels[i];
        Rgb c = white;
        if (w.mesh >= 0)
            polygonColor(w.mesh, w.polygon, c.data());
        return c;
    });
}

RgbImage edgesView(const Color4* colors, const SpanEnds& ends, int height)
{
    return picture(ends.width, height, [&](int, int, std::size_t i) {
        const Rgb color{channelByte(colors[i].r), channelByte(colors[i].g), channelByte(colors[i].b)};
        if (ends.marks[i] == SpanEnds::visible)
            return Rgb{255, 0, 0};
        if (ends.marks[i] == SpanEnds::hidden) // halfway to yellow: seen through the surface
            return Rgb{static_cast<unsigned char>((color[0] + 255) / 2),
                       static_cast<unsigned char>((color[1] + 255) / 2), static_cast<unsigned char>(color[2] / 2)};
        return color;
    });
}

RgbImage texelsView(const Texture* texture, const TexelsRead& texels)
{
    const int size = texture ? texture->width : 256, rows = texture ? texture->height : 256;
    RgbImage image{2 * size, 2 * rows, std::vector<unsigned char>(std::size_t(4) * size * rows * 3)};
    if (!texture)
        return image;
    for (int row = 0; row < image.height; ++row)
        for (int column = 0; column < image.width; ++column) {
            const std::size_t texel = std::size_t(rows - 1 - row / 2) * size + column / 2;
            const unsigned char* bytes = texture->data.data() + texel * texture->components;
            const int divisor = texels.read[texel] ? 1 : 4;
            setPixel(image, column, row,
                     Rgb{static_cast<unsigned char>(bytes[0] / divisor),
                         static_cast<unsigned char>(bytes[1] / divisor),
                         static_cast<unsigned char>(bytes[2] / divisor)});
        }
    return image;
}

std::string describeTexels(const TexelsRead& texels)
{
    const long long read = std::count(texels.read.begin(), texels.read.end(), 1);
    const long long all = static_cast<long long>(texels.read.size());
    char line[128];
    std::snprintf(line, sizeof line, "texels read: %lld of %lld (%.2f%%)", read, all,
                  all ? 100.0 * double(read) / double(all) : 0.0);
    return line;
}
