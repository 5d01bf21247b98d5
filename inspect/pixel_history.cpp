#include "inspect/pixel_history.h"

#include <cmath>
#include <cstdio>

#include "raster/frame_buffers.h"
#include "scene/torus.h"
#include "shade/sphere_map.h"
#include "inspect/exact_number.h"
#include "inspect/pixel_reason.h"

PixelHistoryObserver::PixelHistoryObserver(int x, int y, int width, int height)
{
    history.x = x;
    history.y = y;
    history.width = width;
    history.height = height;
}

void PixelHistoryObserver::polygon(int mesh, int polygon, const std::vector<Vertex>&)
{
    currentMesh = mesh;
    currentPolygon = polygon;
}

void PixelHistoryObserver::span(int y, const ActiveEdge& left, const ActiveEdge& right, int xs, int xe)
{
    // The fragments that follow belong to this span.
    if (y != history.y)
        return;
    spanLeft = left.x;
    spanRight = right.x;
    spanStart = xs;
    spanEnd = xe;
}

void PixelHistoryObserver::fragment(int x, int y, float depth, float stored, bool passed, const float* normal)
{
    if (x != history.x || y != history.y)
        return;
    HistoryFragment f{};
    f.mesh = currentMesh;
    f.polygon = currentPolygon;
    f.left = spanLeft;
    f.right = spanRight;
    f.xs = spanStart;
    f.xe = spanEnd;
    f.depth = depth;
    f.stored = stored;
    f.passed = passed;
    for (int i = 0; i < 3; ++i)
        f.normal[i] = normal[i];
    history.fragments.push_back(f);
}

void completeHistory(PixelHistory& history, const Scene& scene)
{
    for (HistoryFragment& f : history.fragments) {
        if (!f.passed || f.mesh < 0)
            continue;
        const SphereMap map(scene, scene.meshes[static_cast<std::size_t>(f.mesh)]);
        const SphereMapSteps s = map.steps(f.normal[0], f.normal[1], f.normal[2]);
        HistoryLookup& l = f.lookup;
        for (int i = 0; i < 3; ++i) {
            l.unitNormal[i] = s.unit[i];
            l.bytes[i] = s.texel ? s.texel[i] : 0;
        }
        l.eyeX = s.eyeX;
        l.eyeY = s.eyeY;
        l.eyeLength = static_cast<float>(std::sqrt(double(s.eyeX) * s.eyeX + double(s.eyeY) * s.eyeY));
        // The centre of texel u is at ((u + 0.5) / size) * 2 - 1 on the map's -1..1 scale.
        const double cx = (s.u + 0.5) / map.width * 2.0 - 1.0, cy = (s.v + 0.5) / map.height * 2.0 - 1.0;
        l.centreOutside = map.texels && cx * cx + cy * cy > 1.0;
        l.u = s.u;
        l.v = s.v;
        l.uClamp = s.uClamp;
        l.vClamp = s.vClamp;
        l.textured = s.texel != nullptr;
        l.color = s.color;
    }
    const std::size_t index = static_cast<std::size_t>(history.y) * history.width + history.x;
    history.finalDepth = DepthBuffer[index];
    history.finalColor = ColorBuffer[index];
}

namespace {

std::string exactList(std::initializer_list<float> values)
{
    std::string text = "(";
    for (float v : values)
        text += (text.size() > 1 ? ", " : "") + exactText(v);
    return text + ")";
}

std::string colorText(const Color4& c)
{
    return exactList({c.r, c.g, c.b, c.a});
}

Json colorJson(const Color4& c)
{
    return {exactJson(c.r), exactJson(c.g), exactJson(c.b), exactJson(c.a)};
}

} // namespace

std::string describeHistory(const PixelHistory& h)
{
    char line[768];
    std::snprintf(line, sizeof line,
                  "pixel %d,%d of %dx%d (row %d counted from the top): %zu fragment%s tested\n", h.x,
                  h.y, h.width, h.height, h.height - 1 - h.y, h.fragments.size(),
                  h.fragments.size() == 1 ? "" : "s");
    std::string text = line;
    if (!h.fragments.empty())
        text += "   # mesh polygon ring side  span left..right        columns       depth           "
                "stored          result  normal (interpolated, not unit length)\n";
    int number = 0;
    for (const HistoryFragment& f : h.fragments) {
        const std::string span = exactText(f.left) + ".." + exactText(f.right);
        const std::string columns = "[" + std::to_string(f.xs) + ", " + std::to_string(f.xe) + ")";
        std::snprintf(line, sizeof line, "%4d %4d %7d %4d %4d  %-22s %-13s %-15s %-15s %-7s %s\n",
                      ++number, f.mesh, f.polygon, f.polygon / torusSides, f.polygon % torusSides,
                      span.c_str(), columns.c_str(), exactText(f.depth).c_str(),
                      exactText(f.stored).c_str(), f.passed ? "passed" : "failed",
                      exactList({f.normal[0], f.normal[1], f.normal[2]}).c_str());
        text += line;
        if (!f.passed)
            continue;
        const HistoryLookup& l = f.lookup;
        std::snprintf(line, sizeof line,
                      "       lookup: unit normal %s, eye-space normal x, y %s of length %s, texel %d,%d "
                      "(centre %s the circle), bytes %d %d %d, colour %s\n",
                      exactList({l.unitNormal[0], l.unitNormal[1], l.unitNormal[2]}).c_str(),
                      exactList({l.eyeX, l.eyeY}).c_str(), exactText(l.eyeLength).c_str(), l.u, l.v,
                      l.centreOutside ? "outside" : "inside", l.bytes[0], l.bytes[1], l.bytes[2],
                      colorText(l.color).c_str());
        text += line;
    }
    text += "final: depth " + exactText(h.finalDepth) + ", colour " + colorText(h.finalColor) +
            (h.fragments.empty() ? " (nothing reached this pixel: the cleared values)\n" : "\n");
    text += "why:\n";
    for (const std::string& line : pixelReason(h))
        text += "  " + line + "\n";
    return text;
}

Json historyJson(const PixelHistory& h)
{
    Json fragments = Json::array();
    for (const HistoryFragment& f : h.fragments) {
        Json j = {
            {"mesh", f.mesh},
            {"polygon", f.polygon},
            {"ring", f.polygon / torusSides},
            {"side", f.polygon % torusSides},
            {"span", {{"left", exactJson(f.left)}, {"right", exactJson(f.right)}, {"columns", {f.xs, f.xe}}}},
            {"depth", exactJson(f.depth)},
            {"stored", exactJson(f.stored)},
            {"passed", f.passed},
            {"normal", {exactJson(f.normal[0]), exactJson(f.normal[1]), exactJson(f.normal[2])}},
        };
        if (f.passed) {
            const HistoryLookup& l = f.lookup;
            j["lookup"] = {
                {"unit_normal", {exactJson(l.unitNormal[0]), exactJson(l.unitNormal[1]), exactJson(l.unitNormal[2])}},
                {"eye_normal_xy", {exactJson(l.eyeX), exactJson(l.eyeY)}},
                {"eye_normal_xy_length", exactJson(l.eyeLength)},
                {"texel", {l.u, l.v}},
                {"texel_centre_outside_circle", l.centreOutside},
                {"bytes", {l.bytes[0], l.bytes[1], l.bytes[2]}},
                {"color", colorJson(l.color)},
            };
        }
        fragments.push_back(j);
    }
    return {{"pixel", {h.x, h.y}},
            {"size", {h.width, h.height}},
            {"fragments", fragments},
            {"final", {{"depth", exactJson(h.finalDepth)}, {"color", colorJson(h.finalColor)}}},
            {"reason", pixelReason(h)}};
}
