#include "raster/rules_frame.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "raster/edge.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"

namespace {

// Values carried from the corners to the fragments: the colour's (the normal, or s and t
// under texgen), then under texgen in an observed frame the normal for the observers.
constexpr int maxCarried = 5;
// The scan's attributes: depth, then under perspective 1/w, then the carried values
// (times 1/w under perspective).
constexpr int maxAttributes = 2 + maxCarried;

struct FrameState;
float carriedValue(const FrameState& f, const RuleCorner& c, int i);

struct FrameState {
    const Scene& scene;
    CornerSetup setup;
    RasterRules rules;
    int width, height, onlyRow;
    FillObserver* observer;
    int carried;                   // how many values the corners carry
    int normalAt;                  // where the normal is among them, for observers
    const Texture* texture = nullptr;
    std::optional<SphereMap> map;
};

// Value i of those a corner carries.
float carriedValue(const FrameState& f, const RuleCorner& c, int i)
{
    return f.normalAt == 0 || i < f.normalAt ? c.values[i] : c.normal[i - f.normalAt];
}

// ---------------------------------------------------------------------------------------
// Colour and depth test.

template <bool observed>
Color4 shade(const FrameState& f, const float* values, RuleFragment& info)
{
    const bool texgen = f.rules.has(Rule::texgen), filter = f.rules.has(Rule::filter);
    if (!f.texture)
        return missingTextureColor;
    float s, t;
    if (texgen) {
        s = values[0];
        t = values[1];
    } else {
        const SphereMapSteps steps = f.map->steps(values[0], values[1], values[2]);
        if constexpr (observed)
            info.lookup = steps;
        if (!filter)
            return steps.color;
        // The lookup's continuous coordinates: (e * 0.5 + 0.5) in double, to float.
        s = static_cast<float>(static_cast<double>(steps.eyeX) * 0.5 + 0.5);
        t = static_cast<float>(static_cast<double>(steps.eyeY) * 0.5 + 0.5);
    }
    if constexpr (observed) {
        info.s = s;
        info.t = t;
    }
    if (filter) {
        const FilterSteps steps = filterSteps(*f.texture, s, t);
        if constexpr (observed)
            info.filtered = steps;
        return steps.color;
    }
    const int u = nearestTexelIndex(s, f.texture->width), v = nearestTexelIndex(t, f.texture->height);
    if constexpr (observed) {
        info.u = u;
        info.v = v;
    }
    return colorFromTexel(f.texture->data.data() + (static_cast<long>(v) * f.texture->width + u) * f.texture->components);
}

template <bool observed>
void fragment(const FrameState& f, int x, int y, float depth, const float* values, RuleFragment& info)
{
    const std::size_t index = static_cast<std::size_t>(y) * f.width + x;
    const float stored = DepthBuffer[index];
    const bool passed = depth < stored;
    if (passed) {
        DepthBuffer[index] = depth;
        ColorBuffer[index] = shade<observed>(f, values, info);
    }
    if constexpr (observed) {
        f.observer->fragment(x, y, depth, stored, passed, values + f.normalAt);
        if (passed) {
            info.x = x;
            info.y = y;
            info.depth = depth;
            for (int i = 0; i < 3; ++i)
                info.values[i] = values[i];
            info.texgen = f.rules.has(Rule::texgen);
            info.filter = f.rules.has(Rule::filter);
            info.color = ColorBuffer[index];
            f.observer->ruleFragment(info);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Triangles: coverage at pixel centres, values from the weights at the centre.

// Beyond this many pixels from the origin a corner is not drawn under centres: the exact
// edge values of 1/256-pixel positions must fit 64 bits.
constexpr double farthestCorner = 2097152.0; // 2^21

// (q - p) x (c - p): positive when c lies left of the line from p to q.
template <typename T>
T edgeValue(T px, T py, T qx, T qy, T cx, T cy)
{
    return (qx - px) * (cy - py) - (qy - py) * (cx - px);
}

// A centre exactly on the side from p to q (the triangle turning counterclockwise, y up)
// belongs to the triangle when the side is a left one (going down) or a bottom one (going
// right): OpenGL's tie rule, with its window's y up.
template <typename T>
bool tieIncluded(T px, T py, T qx, T qy)
{
    return qy < py || (qy == py && qx > px);
}

template <bool observed, typename T>
void coverTriangle(const FrameState& f, const RuleCorner* corner[3], const T* X, const T* Y, T unit, T half,
                   int triangle)
{
    // Counterclockwise: swap the last two corners of a clockwise triangle.
    int order[3] = {0, 1, 2};
    const T area = edgeValue(X[0], Y[0], X[1], Y[1], X[2], Y[2]);
    if (area == 0)
        return;
    if (area < 0)
        std::swap(order[1], order[2]);
    const T x[3] = {X[order[0]], X[order[1]], X[order[2]]};
    const T y[3] = {Y[order[0]], Y[order[1]], Y[order[2]]};
    const RuleCorner* c[3] = {corner[order[0]], corner[order[1]], corner[order[2]]};
    bool include[3]; // side k runs from corner k + 1 to corner k + 2, opposite corner k
    for (int k = 0; k < 3; ++k)
        include[k] = tieIncluded(x[(k + 1) % 3], y[(k + 1) % 3], x[(k + 2) % 3], y[(k + 2) % 3]);

    // The weights come from the window positions before snapping, in double.
    double wx[3], wy[3];
    for (int k = 0; k < 3; ++k)
        wx[k] = c[k]->x, wy[k] = c[k]->y;
    double weightArea = edgeValue(wx[0], wy[0], wx[1], wy[1], wx[2], wy[2]);
    if (weightArea == 0.0) { // a sliver that only snapping opened: its snapped corners
        for (int k = 0; k < 3; ++k)
            wx[k] = static_cast<double>(x[k]) / static_cast<double>(unit),
            wy[k] = static_cast<double>(y[k]) / static_cast<double>(unit);
        weightArea = edgeValue(wx[0], wy[0], wx[1], wy[1], wx[2], wy[2]);
    }

    // Rows and columns whose centres lie within the triangle's extent.
    auto extent = [unit](const T* v, double& low, double& high) {
        low = static_cast<double>(std::min({v[0], v[1], v[2]})) / static_cast<double>(unit);
        high = static_cast<double>(std::max({v[0], v[1], v[2]})) / static_cast<double>(unit);
    };
    double lowX, highX, lowY, highY;
    extent(x, lowX, highX);
    extent(y, lowY, highY);
    int firstRow = static_cast<int>(std::max(0.0, std::ceil(lowY - 0.5)));
    int lastRow = static_cast<int>(std::min(f.height - 1.0, std::floor(highY - 0.5)));
    if (f.onlyRow >= 0)
        firstRow = std::max(firstRow, f.onlyRow), lastRow = std::min(lastRow, f.onlyRow);
    const int firstColumn = static_cast<int>(std::max(0.0, std::ceil(lowX - 0.5)));
    const int lastColumn = static_cast<int>(std::min(f.width - 1.0, std::floor(highX - 0.5)));
    if (firstRow > lastRow || firstColumn > lastColumn)
        return;
    if constexpr (observed) {
        const RuleCorner corners[3] = {*c[0], *c[1], *c[2]};
        f.observer->primitive(triangle, corners, 3);
    }

    const bool perspective = f.rules.has(Rule::perspective);
    RuleFragment info;
    info.triangle = triangle;
    float values[maxCarried];
    for (int row = firstRow; row <= lastRow; ++row) {
        const T cy = static_cast<T>(row) * unit + half;
        int written = -1;
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const T cx = static_cast<T>(column) * unit + half;
            bool covered = true;
            for (int k = 0; k < 3 && covered; ++k) {
                const T e = edgeValue(x[(k + 1) % 3], y[(k + 1) % 3], x[(k + 2) % 3], y[(k + 2) % 3], cx, cy);
                covered = e > 0 || (e == 0 && include[k]);
            }
            if (!covered)
                continue;
            if (written < 0)
                written = column;
            const double px = column + 0.5, py = row + 0.5;
            double w[3];
            for (int k = 0; k < 3; ++k)
                w[k] = edgeValue(wx[(k + 1) % 3], wy[(k + 1) % 3], wx[(k + 2) % 3], wy[(k + 2) % 3], px, py) /
                       weightArea;
            const float depth = static_cast<float>(w[0] * c[0]->depth + w[1] * c[1]->depth + w[2] * c[2]->depth);
            double v[3] = {w[0], w[1], w[2]};
            if (perspective) {
                const double q[3] = {w[0] * c[0]->inverseW, w[1] * c[1]->inverseW, w[2] * c[2]->inverseW};
                const double sum = q[0] + q[1] + q[2];
                for (int k = 0; k < 3; ++k)
                    v[k] = q[k] / sum;
            }
            for (int i = 0; i < f.carried; ++i)
                values[i] = static_cast<float>(v[0] * carriedValue(f, *c[0], i) + v[1] * carriedValue(f, *c[1], i) +
                                               v[2] * carriedValue(f, *c[2], i));
            if constexpr (observed)
                for (int k = 0; k < 3; ++k)
                    info.weights[k] = w[k], info.corrected[k] = v[k];
            fragment<observed>(f, column, row, depth, values, info);
            noteWritten(row, written, column + 1);
        }
    }
}

template <bool observed>
void drawTriangle(const FrameState& f, const RuleCorner& a, const RuleCorner& b, const RuleCorner& c, int triangle)
{
    const RuleCorner* corner[3] = {&a, &b, &c};
    for (const RuleCorner* k : corner)
        if (!(std::fabs(k->x) <= farthestCorner && std::fabs(k->y) <= farthestCorner))
            return; // beyond the exact range, or not a number
    if (f.rules.has(Rule::snap)) {
        std::int64_t x[3], y[3]; // in 1/256 pixel, ties to even
        for (int k = 0; k < 3; ++k) {
            x[k] = static_cast<std::int64_t>(std::nearbyint(static_cast<double>(corner[k]->x) * 256.0));
            y[k] = static_cast<std::int64_t>(std::nearbyint(static_cast<double>(corner[k]->y) * 256.0));
        }
        coverTriangle<observed, std::int64_t>(f, corner, x, y, 256, 128, triangle);
    } else {
        const double x[3] = {a.x, b.x, c.x}, y[3] = {a.y, b.y, c.y};
        coverTriangle<observed, double>(f, corner, x, y, 1.0, 0.5, triangle);
    }
}

// ---------------------------------------------------------------------------------------
// Polygons walked row by row, as the program's own fill walks them, with any attributes.

struct ScanEdge {
    float x, y, xEnd, yEnd, dxdy;
    float a[maxAttributes], aEnd[maxAttributes], da[maxAttributes];
    int startRow, endRow;
};

// The attributes of a corner: depth, then (under perspective) 1/w and the carried values
// times 1/w, else the carried values.
int cornerAttributes(const FrameState& f, const RuleCorner& c, float* a)
{
    int n = 0;
    a[n++] = c.depth;
    const bool perspective = f.rules.has(Rule::perspective);
    if (perspective)
        a[n++] = c.inverseW;
    for (int i = 0; i < f.carried; ++i) {
        const float value = carriedValue(f, c, i);
        a[n++] = perspective ? value * c.inverseW : value;
    }
    return n;
}

// Edge::setUp with any attributes: the start is the lower end (a on equal y), the changes
// per row in double rounded to float, a start below row 0 moved onto it.
ScanEdge setUpScanEdge(const FrameState& f, const RuleCorner& a, const RuleCorner& b, float ax, float ay, float bx,
                       float by, int count)
{
    const bool aStarts = ay <= by;
    const RuleCorner& s = aStarts ? a : b;
    const RuleCorner& e = aStarts ? b : a;
    ScanEdge edge;
    edge.x = aStarts ? ax : bx, edge.y = aStarts ? ay : by;
    edge.xEnd = aStarts ? bx : ax, edge.yEnd = aStarts ? by : ay;
    cornerAttributes(f, s, edge.a);
    cornerAttributes(f, e, edge.aEnd);
    const double r = 1.0 / (static_cast<double>(edge.yEnd) - edge.y);
    edge.dxdy = static_cast<float>((static_cast<double>(edge.xEnd) - edge.x) * r);
    for (int i = 0; i < count; ++i)
        edge.da[i] = static_cast<float>((static_cast<double>(edge.aEnd[i]) - edge.a[i]) * r);
    if (edge.y < 0.0f) {
        const double t = -static_cast<double>(edge.y);
        edge.y = 0.0f;
        edge.x = static_cast<float>(edge.x + t * edge.dxdy);
        for (int i = 0; i < count; ++i)
            edge.a[i] = static_cast<float>(edge.a[i] + t * edge.da[i]);
    }
    edge.startRow = truncateToInt(edge.y);
    edge.endRow = truncateToInt(edge.yEnd);
    return edge;
}

// For the observers, which know the program's own edges: x, y and depth as they are, the
// normal where the attributes hold it plainly.
Edge asEdge(const FrameState& f, const ScanEdge& s)
{
    Edge e;
    e.x = s.x, e.y = s.y, e.z = s.a[0], e.xEnd = s.xEnd, e.yEnd = s.yEnd, e.zEnd = s.aEnd[0];
    e.dxdy = s.dxdy, e.dzdy = s.da[0];
    if (!f.rules.has(Rule::perspective) && !f.rules.has(Rule::texgen))
        for (int i = 0; i < 3; ++i)
            e.normal[i] = s.a[1 + i], e.normalEnd[i] = s.aEnd[1 + i], e.dNormalDy[i] = s.da[1 + i];
    return e;
}

ActiveEdge asActive(const FrameState& f, const ScanEdge& s, int index)
{
    const Edge e = asEdge(f, s);
    return ActiveEdge{e.x, e.z, {e.normal[0], e.normal[1], e.normal[2]}, e.dxdy, e.dzdy,
                      {e.dNormalDy[0], e.dNormalDy[1], e.dNormalDy[2]}, s.endRow, index};
}

// trunc(x) as a float for an x left of the frame (the span's clip), as the fill computes it.
float truncatedLeft(float x)
{
    if (x > -2147483648.0f)
        return static_cast<float>(static_cast<int>(x));
    return x;
}

// The span between L and R on row y, exactly as the program's fill makes it: depth steps
// by division, the other attributes by the reciprocal of the width.
template <bool observed>
void scanSpan(const FrameState& f, const ScanEdge& left, const ScanEdge& right, int y, int count)
{
    const float widthF = static_cast<float>(f.width);
    const bool clipped = left.x <= -1.0f;
    const int xs = clipped ? 0 : (left.x < widthF ? static_cast<int>(left.x) : f.width);
    const int xe = right.x >= 1.0f ? (right.x < widthF ? static_cast<int>(right.x) : f.width) : 0;
    if constexpr (observed)
        f.observer->span(y, asActive(f, left, -1), asActive(f, right, -1), xs, xe);
    if (xs >= xe)
        return;
    const float dx = right.x - left.x;
    const float q = 1.0f / dx;
    float a[maxAttributes], da[maxAttributes];
    da[0] = (right.a[0] - left.a[0]) / dx;
    for (int i = 1; i < count; ++i)
        da[i] = (right.a[i] - left.a[i]) * q;
    for (int i = 0; i < count; ++i)
        a[i] = left.a[i];
    if (clipped) {
        const float xsF = truncatedLeft(left.x);
        for (int i = 0; i < count; ++i)
            a[i] -= xsF * da[i];
    }
    noteWritten(y, xs, xe);
    const bool perspective = f.rules.has(Rule::perspective);
    RuleFragment info;
    float values[maxCarried];
    for (int x = xs; x < xe; ++x) {
        for (int i = 0; i < f.carried; ++i)
            values[i] = perspective ? a[2 + i] / a[1] : a[1 + i];
        fragment<observed>(f, x, y, a[0], values, info);
        for (int i = 0; i < count; ++i)
            a[i] += da[i];
    }
}

// Rows trunc(y) .. trunc(yEnd) - 1 of each edge, the survivors advanced by one float
// addition per value, new edges at their set-up values, a stable insertion sort by x,
// spans between pairs.
template <bool observed>
void scanPolygon(const FrameState& f, std::vector<ScanEdge>& edges, int count)
{
    if (edges.empty())
        return;
    int first = INT_MAX, last = 0;
    for (const ScanEdge& e : edges)
        first = std::min(first, e.startRow), last = std::max(last, e.endRow);
    first = std::max(first, 0);
    last = std::min(last, f.height - 1);
    if (f.onlyRow >= 0)
        last = std::min(last, f.onlyRow);
    std::vector<int> active;
    for (int y = first; y <= last; ++y) {
        std::size_t kept = 0;
        for (int i : active)
            if (edges[i].endRow > y) {
                ScanEdge& e = edges[i];
                e.x += e.dxdy;
                for (int k = 0; k < count; ++k)
                    e.a[k] += e.da[k];
                active[kept++] = i;
            }
        active.resize(kept);
        for (std::size_t k = 0; k < edges.size(); ++k)
            if (edges[k].startRow == y)
                active.push_back(static_cast<int>(k));
        for (std::size_t i = 1; i < active.size(); ++i) {
            const int moving = active[i];
            std::size_t j = i;
            for (; j > 0 && edges[moving].x < edges[active[j - 1]].x; --j)
                active[j] = active[j - 1];
            active[j] = moving;
        }
        if (f.onlyRow >= 0 && y != f.onlyRow)
            continue;
        if constexpr (observed) {
            std::vector<ActiveEdge> sorted;
            for (int i : active)
                sorted.push_back(asActive(f, edges[i], i));
            f.observer->row(y, sorted.data(), static_cast<int>(sorted.size()));
        }
        for (std::size_t i = 0; i + 1 < active.size(); i += 2)
            scanSpan<observed>(f, edges[active[i]], edges[active[i + 1]], y, count);
    }
}

// The sides of a polygon as the program sets them up: side k from the corner that k's
// `next` names to corner k, those that cover no row dropped.
template <bool observed>
void scanSides(const FrameState& f, const std::vector<RuleCorner>& corners, const std::vector<int>& next)
{
    const bool snap = f.rules.has(Rule::snap);
    float attributes[maxAttributes];
    const int count = cornerAttributes(f, corners.empty() ? RuleCorner{} : corners[0], attributes);
    std::vector<ScanEdge> edges;
    const int n = static_cast<int>(corners.size());
    for (int k = 0; k < n; ++k) {
        const int to = next[k];
        if (to < 0 || to >= n)
            continue;
        const RuleCorner& a = corners[to];
        const RuleCorner& b = corners[k];
        const float ax = snap ? snapToGrid(a.x) : a.x, ay = snap ? snapToGrid(a.y) : a.y;
        const float bx = snap ? snapToGrid(b.x) : b.x, by = snap ? snapToGrid(b.y) : b.y;
        ScanEdge edge = setUpScanEdge(f, a, b, ax, ay, bx, by, count);
        Edge plain;
        plain.y = edge.y, plain.yEnd = edge.yEnd;
        const bool kept = !coversNoRow(plain);
        if constexpr (observed)
            f.observer->edge(to, k, asEdge(f, edge), kept);
        if (kept)
            edges.push_back(edge);
    }
    scanPolygon<observed>(f, edges, count);
}

// ---------------------------------------------------------------------------------------
// The frame.

template <bool observed>
void drawPolygon(const FrameState& f, const Polygon& polygon, std::vector<RuleCorner>& corners)
{
    const std::vector<Vertex>& vertices = polygon.vertices;
    const int n = static_cast<int>(vertices.size());
    const bool clip = f.rules.has(Rule::clip);
    std::vector<RuleCorner> cut;
    if (f.rules.has(Rule::centres)) {
        // GL_POLYGON as a fan from corner 0, in index order; a triangle cut by the clip is
        // fanned again from the first corner the cut leaves.
        for (int k = 1; k + 1 < n; ++k) {
            const std::vector<RuleCorner> triangle = {corners[0], corners[k], corners[k + 1]};
            if (clip && clipNearFar(f.setup, triangle, cut)) {
                if constexpr (observed)
                    if (!cut.empty())
                        f.observer->primitive(-1, cut.data(), static_cast<int>(cut.size()));
                for (std::size_t j = 1; j + 1 < cut.size(); ++j)
                    drawTriangle<observed>(f, cut[0], cut[j], cut[j + 1], k - 1);
            } else {
                drawTriangle<observed>(f, triangle[0], triangle[1], triangle[2], k - 1);
            }
        }
        return;
    }
    std::vector<int> next(n);
    for (int k = 0; k < n; ++k)
        next[k] = vertices[k].next;
    if (clip) {
        // The outline in the order its `next` links run, from corner 0.
        std::vector<RuleCorner> ring;
        for (int k = 0, steps = 0; steps < n && k >= 0 && k < n; k = next[k], ++steps)
            ring.push_back(corners[k]);
        if (clipNearFar(f.setup, ring, cut)) {
            if constexpr (observed)
                if (!cut.empty())
                    f.observer->primitive(-1, cut.data(), static_cast<int>(cut.size()));
            // Side k of what is left runs from corner k + 1 to corner k, as `next` ran.
            std::vector<int> cutNext(cut.size());
            for (std::size_t k = 0; k < cut.size(); ++k)
                cutNext[k] = static_cast<int>((k + 1) % cut.size());
            scanSides<observed>(f, cut, cutNext);
            return;
        }
    }
    scanSides<observed>(f, corners, next);
}

template <bool observed>
void drawFrame(FrameState& f)
{
    std::vector<RuleCorner> corners;
    std::vector<Vertex> window;
    for (std::size_t m = 0; m < f.scene.meshes.size(); ++m) {
        const Mesh& mesh = f.scene.meshes[m];
        f.texture = mesh.texture;
        f.map.emplace(f.scene, mesh);
        for (std::size_t p = 0; p < mesh.polygons.size(); ++p) {
            makeRuleCorners(f.setup, mesh.polygons[p].vertices, corners);
            if constexpr (observed) {
                window.resize(corners.size());
                for (std::size_t k = 0; k < corners.size(); ++k) {
                    window[k] = Vertex{};
                    window[k].position = Vec4{corners[k].x, corners[k].y, corners[k].depth, 1.0f};
                    for (int i = 0; i < 3; ++i)
                        window[k].normal[i] = corners[k].normal[i];
                }
                f.observer->polygon(static_cast<int>(m), static_cast<int>(p), window);
            }
            drawPolygon<observed>(f, mesh.polygons[p], corners);
        }
    }
}

} // namespace

void rasterizeUnderRules(const Scene& scene, int width, int height, RasterRules rules, FillObserver* observer,
                         FinishedRows* finished, int onlyRow)
{
    if (pixelCount(width, height) == 0 || width != bufferWidth || height != bufferHeight)
        return;
    if (onlyRow >= height)
        return;
    if (onlyRow >= 0)
        clearWholeRow(onlyRow);
    else
        clearRows(0, height);
    const bool texgen = rules.has(Rule::texgen);
    FrameState f{scene, CornerSetup(scene, width, height, rules), rules, width, height, onlyRow, observer,
                 texgen ? (observer ? 5 : 2) : 3, texgen ? 2 : 0, nullptr, std::nullopt};
    if (observer)
        drawFrame<true>(f);
    else
        drawFrame<false>(f);
    if (finished)
        finished->rows(0, height);
}
