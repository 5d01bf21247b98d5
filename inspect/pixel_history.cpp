#include "inspect/pixel_history.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "raster/frame_buffers.h"
#include "scene/torus.h"
#include "shade/sphere_map.h"
#include "inspect/exact_number.h"
#include "inspect/pixel_reason.h"

PixelHistoryObserver::PixelHistoryObserver(int x, int y, int width, int height, RasterRules rules)
{
    history.x = x;
    history.y = y;
    history.width = width;
    history.height = height;
    history.rules = rules;
}

void PixelHistoryObserver::polygon(int mesh, int polygon, const std::vector<Vertex>&)
{
    currentMesh = mesh;
    currentPolygon = polygon;
    currentTriangle = -1;
    currentCorners.clear();
}

void PixelHistoryObserver::primitive(int index, const RuleCorner* corners, int count)
{
    currentTriangle = index;
    currentCorners.assign(corners, corners + count);
}

void PixelHistoryObserver::ruleFragment(const RuleFragment& fragment)
{
    if (fragment.x == history.x && fragment.y == history.y && !history.fragments.empty())
        history.fragments.back().rule = fragment;
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
    if (history.rules.any()) {
        f.underRules = true;
        f.triangle = history.rules.has(Rule::centres) ? currentTriangle : -1;
        if (history.rules.has(Rule::centres))
            f.corners = currentCorners;
    }
    history.fragments.push_back(f);
}

void completeHistory(PixelHistory& history, const Scene& scene)
{
    for (HistoryFragment& f : history.fragments) {
        if (!f.passed || f.mesh < 0)
            continue;
        const SphereMap map(scene, scene.meshes[static_cast<std::size_t>(f.mesh)]);
        // Under rules the frame handed over its own lookup, if it made one.
        const SphereMapSteps s = f.underRules ? f.rule.lookup : map.steps(f.normal[0], f.normal[1], f.normal[2]);
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
        if (f.underRules) {
            l.textured = map.texels != nullptr;
            l.color = f.rule.color;
        }
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

// A double as the shortest decimal that reads back to it.
std::string doubleText(double value)
{
    char text[40];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value)
            break;
    }
    return text;
}

std::string doubleList(const double* values, int count)
{
    std::string text = "(";
    for (int i = 0; i < count; ++i)
        text += (i ? ", " : "") + doubleText(values[i]);
    return text + ")";
}

std::string bytesText(const unsigned char* bytes)
{
    return std::to_string(bytes[0]) + " " + std::to_string(bytes[1]) + " " + std::to_string(bytes[2]);
}

// What a corner carries towards the colour: s and t under texgen, else its normal.
std::string carriedText(const RuleCorner& c, bool texgen)
{
    return texgen ? "s, t " + exactList({c.values[0], c.values[1]})
                  : "normal " + exactList({c.values[0], c.values[1], c.values[2]});
}

// The arithmetic of a fragment drawn under rules: its triangle, the weights at the centre,
// what was interpolated, and how the colour was read.
std::string ruleLines(const HistoryFragment& f, RasterRules rules)
{
    const RuleFragment& r = f.rule;
    const bool texgen = rules.has(Rule::texgen);
    std::string text;
    if (f.triangle >= 0 || !f.corners.empty()) {
        text += "       triangle " + std::to_string(f.triangle) + " of the polygon, its corners counterclockwise:\n";
        for (const RuleCorner& c : f.corners)
            text += "         " + (c.corner >= 0 ? "corner " + std::to_string(c.corner) : std::string("cut point")) +
                    ": window " + exactList({c.x, c.y}) + ", depth " + exactText(c.depth) + ", 1/w " +
                    exactText(c.inverseW) + ", " + carriedText(c, texgen) + "\n";
        if (f.passed) {
            text += "       weights at the centre " + doubleList(r.weights, 3);
            if (rules.has(Rule::perspective))
                text += ", corrected for perspective " + doubleList(r.corrected, 3);
            text += "\n";
        }
    }
    if (!f.passed)
        return text;
    if (texgen)
        text += "       interpolated s, t " + exactList({r.values[0], r.values[1]}) + "\n";
    if (r.filter) {
        const FilterSteps& s = r.filtered;
        text += "       filter at s, t " + exactList({s.s, s.t}) + ": texel position " + exactList({s.u, s.v}) +
                ", weights " + exactList({s.ws, s.wt}) + ", texels";
        for (int k = 0; k < 4; ++k)
            text += (k ? ";" : "") + std::string(" ") + std::to_string(s.i0 + (k & 1)) + "," +
                    std::to_string(s.j0 + (k >> 1)) + (s.border[k] ? " (border)" : "") + " " +
                    bytesText(s.texels[k]);
        text += "; result bytes " + bytesText(s.bytes) + ", colour " + colorText(r.color) + "\n";
    } else if (texgen) {
        text += "       nearest texel of s, t: " + std::to_string(r.u) + "," + std::to_string(r.v) + ", colour " +
                colorText(r.color) + "\n";
    }
    return text;
}

Json ruleJson(const HistoryFragment& f, RasterRules rules)
{
    const RuleFragment& r = f.rule;
    Json j = Json::object();
    if (f.triangle >= 0 || !f.corners.empty()) {
        Json corners = Json::array();
        for (const RuleCorner& c : f.corners)
            corners.push_back({{"corner", c.corner},
                               {"window", {exactJson(c.x), exactJson(c.y)}},
                               {"depth", exactJson(c.depth)},
                               {"inverse_w", exactJson(c.inverseW)},
                               {"values", {exactJson(c.values[0]), exactJson(c.values[1]), exactJson(c.values[2])}}});
        j["triangle"] = {{"index", f.triangle}, {"corners", corners}};
        if (f.passed) {
            j["weights"] = {r.weights[0], r.weights[1], r.weights[2]};
            if (rules.has(Rule::perspective))
                j["corrected_weights"] = {r.corrected[0], r.corrected[1], r.corrected[2]};
        }
    }
    if (!f.passed)
        return j;
    if (rules.has(Rule::texgen))
        j["interpolated_st"] = {exactJson(r.values[0]), exactJson(r.values[1])};
    if (r.filter) {
        const FilterSteps& s = r.filtered;
        Json texels = Json::array();
        for (int k = 0; k < 4; ++k)
            texels.push_back({{"texel", {s.i0 + (k & 1), s.j0 + (k >> 1)}},
                              {"border", s.border[k]},
                              {"bytes", {s.texels[k][0], s.texels[k][1], s.texels[k][2]}}});
        j["filter"] = {{"st", {exactJson(s.s), exactJson(s.t)}},
                       {"texel_position", {exactJson(s.u), exactJson(s.v)}},
                       {"weights", {exactJson(s.ws), exactJson(s.wt)}},
                       {"texels", texels},
                       {"bytes", {s.bytes[0], s.bytes[1], s.bytes[2]}}};
    } else if (rules.has(Rule::texgen)) {
        j["nearest_texel"] = {r.u, r.v};
    }
    j["color"] = colorJson(r.color);
    return j;
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
    if (h.rules.any())
        text += "under the rules " + formatRules(h.rules) + "\n";
    if (!h.fragments.empty())
        text += "   # mesh polygon ring side  span left..right        columns       depth           "
                "stored          result  normal (interpolated, not unit length)\n";
    int number = 0;
    for (const HistoryFragment& f : h.fragments) {
        // Under centres no span covers the pixel: its triangle does (below).
        const bool centred = f.underRules && h.rules.has(Rule::centres);
        const std::string span = centred ? "its centre" : exactText(f.left) + ".." + exactText(f.right);
        const std::string columns = centred ? "-" : "[" + std::to_string(f.xs) + ", " + std::to_string(f.xe) + ")";
        std::snprintf(line, sizeof line, "%4d %4d %7d %4d %4d  %-22s %-13s %-15s %-15s %-7s %s\n",
                      ++number, f.mesh, f.polygon, f.polygon / torusSides, f.polygon % torusSides,
                      span.c_str(), columns.c_str(), exactText(f.depth).c_str(),
                      exactText(f.stored).c_str(), f.passed ? "passed" : "failed",
                      exactList({f.normal[0], f.normal[1], f.normal[2]}).c_str());
        text += line;
        if (f.underRules)
            text += ruleLines(f, h.rules);
        if (!f.passed || (f.underRules && h.rules.has(Rule::texgen)))
            continue;
        const HistoryLookup& l = f.lookup;
        if (f.underRules && h.rules.has(Rule::filter)) {
            // The filter read the map at these eye-space coordinates (above), not at one texel.
            text += "       lookup: unit normal " + exactList({l.unitNormal[0], l.unitNormal[1], l.unitNormal[2]}) +
                    ", eye-space normal x, y " + exactList({l.eyeX, l.eyeY}) + ", s, t = x, y * 0.5 + 0.5\n";
            continue;
        }
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
            {"span", f.underRules && h.rules.has(Rule::centres)
                         ? Json(nullptr)
                         : Json{{"left", exactJson(f.left)}, {"right", exactJson(f.right)}, {"columns", {f.xs, f.xe}}}},
            {"depth", exactJson(f.depth)},
            {"stored", exactJson(f.stored)},
            {"passed", f.passed},
            {"normal", {exactJson(f.normal[0]), exactJson(f.normal[1]), exactJson(f.normal[2])}},
        };
        if (f.underRules)
            j["rules"] = ruleJson(f, h.rules);
        if (f.passed && !(f.underRules && h.rules.has(Rule::texgen))) {
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
    Json history = {{"pixel", {h.x, h.y}}, {"size", {h.width, h.height}}};
    if (h.rules.any())
        history["rules"] = formatRules(h.rules);
    history["fragments"] = fragments;
    history["final"] = {{"depth", exactJson(h.finalDepth)}, {"color", colorJson(h.finalColor)}};
    history["reason"] = pixelReason(h);
    return history;
}
