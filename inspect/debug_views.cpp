#include "inspect/debug_views.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "inspect/exact_number.h"
#include "inspect/glyphs.h"
#include "shade/sphere_map.h"

bool debugViewFromName(const std::string& name, DebugView& view)
{
    for (std::size_t i = 0; i < std::size(debugViewNames); ++i)
        if (name == debugViewNames[i]) {
            view = static_cast<DebugView>(i);
            return true;
        }
    return false;
}

namespace {

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

// The heat scale: 0, 1, ..., 6, and 7 or more.
constexpr Rgb heat[8] = {{255, 255, 255}, {40, 40, 150}, {30, 140, 210}, {40, 170, 80},
                         {230, 210, 40}, {240, 130, 30}, {210, 30, 30}, {200, 40, 200}};

// Four significant digits: the key's numbers, which the printed line gives exactly.
std::string shortNumber(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", double(value));
    return text;
}

} // namespace

DepthRange depthRange(const float* depth, int width, int height)
{
    DepthRange r;
    const std::size_t pixels = std::size_t(width) * height;
    for (std::size_t i = 0; i < pixels; ++i)
        if (depth[i] != 1.0f && std::isfinite(depth[i])) {
            r.nearest = std::min(r.nearest, depth[i]);
            r.farthest = std::max(r.farthest, depth[i]);
            ++r.drawn;
        }
    return r;
}

std::string describeDepth(const DepthRange& r)
{
    if (r.drawn == 0)
        return "depth: nothing drawn";
    return "depth: nearest " + exactText(r.nearest) + " (black), farthest " + exactText(r.farthest) +
           " (white), over " + std::to_string(r.drawn) + " drawn pixels; steel blue where nothing was drawn";
}

RgbImage depthKey(const DepthRange& r, int scale)
{
    // A ramp from black to white, the two depths under its ends, and a steel blue box.
    const int ramp = 64 * scale, rampHeight = 8 * scale, margin = 2 * scale;
    const std::string nearest = r.drawn ? shortNumber(r.nearest) : "";
    const std::string farthest = r.drawn ? shortNumber(r.farthest) : "";
    const int width = std::max(ramp + 14 * scale, textWidth(nearest, scale) + textWidth(farthest, scale) + 4 * scale) +
                      2 * margin;
    const int height = rampHeight + 9 * scale + 2 * margin;
    RgbImage key{width, height, std::vector<unsigned char>(std::size_t(width) * height * 3, 235)};
    for (int column = 0; column < ramp; ++column) {
        const auto level = static_cast<unsigned char>(column * 255 / (ramp - 1));
        for (int row = 0; row < rampHeight; ++row)
            setPixel(key, margin + column, margin + row, Rgb{level, level, level});
    }
    for (int column = 0; column < rampHeight; ++column)
        for (int row = 0; row < rampHeight; ++row)
            setPixel(key, margin + ramp + 6 * scale + column, margin + row, Rgb{64, 128, 192});
    const int textTop = margin + rampHeight + 2 * scale;
    drawText(key, nearest, margin, textTop, scale, Rgb{0, 0, 0});
    drawText(key, farthest, std::max(margin + ramp - textWidth(farthest, scale),
                                     margin + textWidth(nearest, scale) + 4 * scale),
             textTop, scale, Rgb{0, 0, 0});
    return key;
}

RgbImage depthView(const float* depth, int width, int height)
{
    const DepthRange r = depthRange(depth, width, height);
    const float nearest = r.nearest, farthest = r.farthest;
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
    return picture(counts.width, height, [&](int, int, std::size_t i) { return heat[std::min(counts.counts[i], 7)]; });
}

RgbImage overdrawKey(int scale)
{
    // One box per count of the heat scale, labelled.
    const int boxWidth = 12 * scale, boxHeight = 9 * scale, margin = 2 * scale;
    const int width = 2 * margin + 8 * (boxWidth - scale) + scale, height = 2 * margin + boxHeight;
    RgbImage key{width, height, std::vector<unsigned char>(std::size_t(width) * height * 3, 235)};
    for (int count = 0; count < 8; ++count) {
        const int left = margin + count * (boxWidth - scale);
        for (int row = 0; row < boxHeight; ++row)
            for (int column = 0; column < boxWidth; ++column) {
                const bool border = row < scale || column < scale || row >= boxHeight - scale ||
                                    column >= boxWidth - scale;
                setPixel(key, left + column, margin + row, border ? Rgb{0, 0, 0} : heat[count]);
            }
        const std::string label = count < 7 ? std::to_string(count) : "7+";
        drawText(key, label, left + (boxWidth - textWidth(label, scale)) / 2, margin + 2 * scale, scale,
                 inkOn(heat[count]));
    }
    return key;
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

void labelPolygons(RgbImage& slide, const Winners& winners, const SlideWindow& w)
{
    // Each polygon's number at the middle of its pixels in the window, where the digits
    // and a one-pixel margin lie wholly on its own blocks.
    struct Extent {
        double sumX = 0, sumY = 0;
        long count = 0;
    };
    std::vector<Extent> extents;
    auto winnerAt = [&](int column, int row) -> const Winners::Winner& {
        return winners.pixels[std::size_t(w.windowY(row)) * winners.width + w.windowX(column)];
    };
    for (int row = 0; row < w.height; ++row)
        for (int column = 0; column < w.width; ++column) {
            const Winners::Winner& winner = winnerAt(column * w.scale, row * w.scale);
            if (winner.mesh != 0)
                continue;
            if (std::size_t(winner.polygon) >= extents.size())
                extents.resize(std::size_t(winner.polygon) + 1);
            Extent& e = extents[std::size_t(winner.polygon)];
            e.sumX += (column + 0.5) * w.scale, e.sumY += (row + 0.5) * w.scale, ++e.count;
        }
    for (std::size_t p = 0; p < extents.size(); ++p) {
        if (extents[p].count == 0)
            continue;
        const std::string label = std::to_string(p);
        const int width = textWidth(label, 1);
        const int left = int(extents[p].sumX / double(extents[p].count)) - width / 2;
        const int top = int(extents[p].sumY / double(extents[p].count)) - 2;
        bool fits = left >= 1 && top >= 1 && left + width + 1 <= slide.width && top + 6 <= slide.height;
        for (int row = top - 1; fits && row < top + 6; ++row)
            for (int column = left - 1; fits && column < left + width + 1; ++column)
                fits = winnerAt(column, row).mesh == 0 && std::size_t(winnerAt(column, row).polygon) == p;
        if (!fits)
            continue;
        Rgb background;
        polygonColor(0, int(p), background.data());
        drawText(slide, label, left, top, 1, inkOn(background));
    }
}

void drawTrace(RgbImage& slide, const PolygonTrace& trace, const SlideWindow& w)
{
    const Rgb passed{40, 190, 70}, failed{250, 140, 30};
    for (const TraceRow& row : trace.rows)
        for (const TraceSpan& span : row.spans)
            for (const TraceFragment& f : span.fragments) {
                const double left = w.slideX(f.x), top = w.slideY(row.y + 1);
                for (int r = 0; r < w.scale; ++r)
                    for (int c = 0; c < w.scale; ++c)
                        if (left + c >= 0 && top + r >= 0 && left + c < slide.width && top + r < slide.height)
                            setPixel(slide, int(left) + c, int(top) + r, f.passed ? passed : failed);
            }
    // The edges from their true ends, a step of at most half a slide pixel at a time.
    auto line = [&](float ax, float ay, float bx, float by, const Rgb& color) {
        const double x0 = w.slideX(ax), y0 = w.slideY(ay);
        const double x1 = w.slideX(bx), y1 = w.slideY(by);
        const double length = std::max(std::fabs(x1 - x0), std::fabs(y1 - y0));
        // Not a number, or so far out that the steps would not end.
        if (!(length < 1e6))
            return;
        const int steps = int(std::ceil(length * 2.0)) + 1;
        for (int k = 0; k <= steps; ++k) {
            const double t = double(k) / steps;
            const double x = x0 + (x1 - x0) * t, y = y0 + (y1 - y0) * t;
            if (x >= 0 && y >= 0 && x < slide.width && y < slide.height)
                setPixel(slide, int(x), int(y), color);
        }
    };
    for (const TraceEdge& e : trace.edges)
        line(e.edge.x, e.edge.y, e.edge.xEnd, e.edge.yEnd, e.kept ? Rgb{30, 60, 230} : Rgb{120, 120, 120});
    // Under the rule centres, the triangles' sides.
    for (const TraceTriangle& triangle : trace.triangles)
        for (std::size_t k = 0; triangle.index >= 0 && k < triangle.corners.size(); ++k) {
            const RuleCorner &a = triangle.corners[k], &b = triangle.corners[(k + 1) % triangle.corners.size()];
            line(a.x, a.y, b.x, b.y, Rgb{30, 60, 230});
        }
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
