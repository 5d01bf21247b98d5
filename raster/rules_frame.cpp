#include "raster/rules_frame.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "raster/edge.h"
#include "raster/fill_polygon.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "shade/filter_pending.h"
#include "shade/texture_filter.h"

namespace {

// Values carried from the corners to the fragments: the colour's (the normal, or s and t
// under texgen), then under texgen in an observed frame the normal for the observers.
constexpr int maxCarried = 5;
// The scan's attributes: depth, then under perspective 1/w, then the carried values
// (times 1/w under perspective).
constexpr int maxAttributes = 2 + maxCarried;

struct FrameState;
struct PreparedTriangle;
float carriedValue(const FrameState& f, const RuleCorner& c, int i);

struct FrameState {
    const Scene& scene;
    CornerSetup setup;
    RasterRules rules;
    int width, height;
    int rowFrom, rowTo;            // the rows drawn now: the frame's, one band's, or one row
    FillObserver* observer;
    int carried;                   // how many values the corners carry
    int normalAt;                  // where the normal is among them, for observers
    const Texture* texture = nullptr;
    std::optional<SphereMap> map;
    std::vector<PreparedTriangle>* collect = nullptr; // set: triangles are kept, set up, not drawn
};

// Value i of those a corner carries.
float carriedValue(const FrameState& f, const RuleCorner& c, int i)
{
    return f.normalAt == 0 || i < f.normalAt ? c.values[i] : c.normal[i - f.normalAt];
}

// ---------------------------------------------------------------------------------------
// Colour and depth test.

template <bool observed, typename Fma = FusedMultiplyAdd>
[[gnu::always_inline]] inline Color4 shade(const FrameState& f, const float* values, RuleFragment& info,
                                           Fma fma = Fma{})
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
    if (filter)
        return filteredColor(*f.texture, s, t, observed ? &info.filtered : nullptr, fma);
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
        // The colour depends only on the values of the last fragment that passes: the plain
        // frame keeps them in the pixel and looks the colour up once, after the mesh.
        if constexpr (observed)
            ColorBuffer[index] = shade<observed>(f, values, info);
        else
            ColorBuffer[index] = Color4{values[0], values[1], f.carried > 2 ? values[2] : 0.0f, pendingAlpha};
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

// The columns of row `row` whose centres the triangle covers, [first, end): with positions
// on the 1/256 grid, each side's condition is solved exactly in whole numbers; without,
// each centre is tested on its own, in double.
struct TriangleCoverage {
    bool snapped;
    std::int64_t X[3], Y[3];  // snapped, counterclockwise
    double x[3], y[3];        // not snapped, counterclockwise
    bool include[3];          // side k (corner k + 1 to k + 2) takes the centres on it
    // Side k's value at a snapped centre (cx, cy): a (cx - ox) + b (cy - oy), with a and b
    // the side's differences and (ox, oy) its first corner; centres with that value at
    // least `need` (0 where the side takes them, else 1) are on the inner side.
    std::int64_t a[3], b[3], ox[3], oy[3], need[3];
    // Where each side bounds the run, walked row by row in whole numbers: with P = 256 |a|
    // and M = e - need, e the side's value at the first column's centre of row `nextRow`,
    // M = P q + r with 0 <= r < P, and each row adds 256 b = P stepQ + stepR to M. A side
    // with a > 0 takes the columns from -q on, one with a < 0 those up to q.
    std::int64_t e[3], P[3], q[3], r[3], stepQ[3], stepR[3];
    int nextRow = INT_MIN;

    // n = d * quotient + remainder with 0 <= remainder < d, for d > 0.
    static void divideDown(std::int64_t n, std::int64_t d, std::int64_t& quotient, std::int64_t& remainder)
    {
        quotient = n / d;
        if (n % d < 0)
            --quotient;
        remainder = n - quotient * d;
    }

    // After X, Y (or x, y) and include are set.
    void prepare()
    {
        for (int k = 0; k < 3; ++k) {
            const int p = k == 2 ? 0 : k + 1, o = k == 0 ? 2 : k - 1;
            a[k] = Y[p] - Y[o];
            b[k] = X[o] - X[p];
            ox[k] = X[p];
            oy[k] = Y[p];
            need[k] = include[k] ? 0 : 1;
            P[k] = 256 * (a[k] < 0 ? -a[k] : a[k]);
            if (P[k] != 0)
                divideDown(256 * b[k], P[k], stepQ[k], stepR[k]);
        }
    }

    bool coversDouble(double cx, double cy) const
    {
        for (int k = 0; k < 3; ++k) {
            const int p = (k + 1) % 3, q = (k + 2) % 3;
            const double e = edgeValue(x[p], y[p], x[q], y[q], cx, cy);
            if (!(e > 0 || (e == 0 && include[k])))
                return false;
        }
        return true;
    }

    void columns(int row, int firstColumn, int lastColumn, int& first, int& end)
    {
        first = firstColumn;
        end = lastColumn + 1;
        if (!snapped) {
            const double cy = row + 0.5;
            while (first < end && !coversDouble(first + 0.5, cy))
                ++first;
            while (end > first && !coversDouble(end - 0.5, cy))
                --end;
            return;
        }
        // Each side's value at the centre of column firstColumn + dx is e + 256 a dx,
        // whole numbers (1/65536 of a square pixel); the covered centres are one run, each
        // side bounding it from one end, exactly.
        if (row != nextRow) {
            const std::int64_t cx = 256 * static_cast<std::int64_t>(firstColumn) + 128;
            const std::int64_t cy = 256 * static_cast<std::int64_t>(row) + 128;
            for (int k = 0; k < 3; ++k) {
                e[k] = a[k] * (cx - ox[k]) + b[k] * (cy - oy[k]);
                if (P[k] != 0)
                    divideDown(e[k] - need[k], P[k], q[k], r[k]);
            }
        }
        const std::int64_t span = lastColumn - firstColumn;
        std::int64_t low = 0, high = span;
        for (int k = 0; k < 3; ++k) {
            if (a[k] > 0)
                low = std::max(low, -q[k]);
            else if (a[k] < 0)
                high = std::min(high, q[k]);
            else if (e[k] < need[k])
                high = -1;
            e[k] += 256 * b[k];
            if (P[k] != 0) {
                q[k] += stepQ[k];
                r[k] += stepR[k];
                if (r[k] >= P[k])
                    r[k] -= P[k], ++q[k];
            }
        }
        nextRow = row + 1;
        low = std::min(low, span + 1);
        high = std::max(high, std::int64_t{-1});
        first = firstColumn + static_cast<int>(low);
        end = firstColumn + static_cast<int>(high) + 1;
    }
};

// Two doubles, in the processor's vector lanes where it has them (SSE2, WebAssembly SIMD).
using Double2 = double __attribute__((vector_size(16)));

// What a triangle's fragments are computed from, in double: side k's differences and first
// corner, the reciprocal of the doubled area, and the corners' depths, 1/w and carried
// values (value[i][k]: value i at corner k).
struct TriangleValues {
    double sideX[3], sideY[3], fromX[3], fromY[3];
    double reciprocal;
    double depth[3], inverseW[3];
    double value[3][3];
};

// The plain frame's fragments of a triangle: a depth test, then the carried values kept in
// the pixel for the colour after the mesh. The same operations in the same order as the
// observed path; the rules that shape them fixed at compile time, the triangle's numbers
// in registers.
template <bool perspective, bool three>
void drawRows(const FrameState& f, TriangleCoverage& cover, const TriangleValues& t, int firstRow,
              int lastRow, int firstColumn, int lastColumn)
{
    const double sx0 = t.sideX[0], sx1 = t.sideX[1], sx2 = t.sideX[2];
    const double sy0 = t.sideY[0], sy1 = t.sideY[1], sy2 = t.sideY[2];
    const double fx0 = t.fromX[0], fx1 = t.fromX[1], fx2 = t.fromX[2];
    const double fy0 = t.fromY[0], fy1 = t.fromY[1], fy2 = t.fromY[2];
    const double reciprocal = t.reciprocal;
    const double d0 = t.depth[0], d1 = t.depth[1], d2 = t.depth[2];
    const double q0 = t.inverseW[0], q1 = t.inverseW[1], q2 = t.inverseW[2];
    const double a00 = t.value[0][0], a01 = t.value[0][1], a02 = t.value[0][2];
    const double a10 = t.value[1][0], a11 = t.value[1][1], a12 = t.value[1][2];
    const double a20 = t.value[2][0], a21 = t.value[2][1], a22 = t.value[2][2];
    for (int row = firstRow; row <= lastRow; ++row) {
        int first, end;
        cover.columns(row, firstColumn, lastColumn, first, end);
        if (first >= end)
            continue;
        noteWritten(row, first, end);
        const double py = row + 0.5;
        const double r0 = sx0 * (py - fy0), r1 = sx1 * (py - fy1), r2 = sx2 * (py - fy2);
        float* depthRow = DepthBuffer.data() + static_cast<std::size_t>(row) * f.width;
        Color4* colorRow = ColorBuffer.data() + static_cast<std::size_t>(row) * f.width;
        int column = first;
        // Two columns at a time in the lanes of a vector (each lane the scalar operations,
        // each correctly rounded), the depth test and the stores one by one. A fragment
        // that fails gets values it never stores. Without snap a centre inside the run
        // may be uncovered and goes the scalar way below.
        for (; cover.snapped && column + 1 < end; column += 2) {
            const Double2 px = {column + 0.5, (column + 1) + 0.5};
            Double2 v0 = (r0 - sy0 * (px - fx0)) * reciprocal;
            Double2 v1 = (r1 - sy1 * (px - fx1)) * reciprocal;
            Double2 v2 = (r2 - sy2 * (px - fx2)) * reciprocal;
            const Double2 z = v0 * d0 + v1 * d1 + v2 * d2;
            const float depth[2] = {static_cast<float>(z[0]), static_cast<float>(z[1])};
            const bool passes[2] = {depth[0] < depthRow[column], depth[1] < depthRow[column + 1]};
            if (!(passes[0] | passes[1]))
                continue;
            if constexpr (perspective) {
                const Double2 g0 = v0 * q0, g1 = v1 * q1, g2 = v2 * q2;
                const Double2 toOne = 1.0 / (g0 + g1 + g2);
                v0 = g0 * toOne, v1 = g1 * toOne, v2 = g2 * toOne;
            }
            const Double2 c0 = v0 * a00 + v1 * a01 + v2 * a02;
            const Double2 c1 = v0 * a10 + v1 * a11 + v2 * a12;
            Double2 c2 = {0.0, 0.0};
            if constexpr (three)
                c2 = v0 * a20 + v1 * a21 + v2 * a22;
            for (int lane = 0; lane < 2; ++lane)
                if (passes[lane]) {
                    depthRow[column + lane] = depth[lane];
                    colorRow[column + lane] = Color4{static_cast<float>(c0[lane]), static_cast<float>(c1[lane]),
                                                     three ? static_cast<float>(c2[lane]) : 0.0f, pendingAlpha};
                }
        }
        for (; column < end; ++column) {
            const double px = column + 0.5;
            if (!cover.snapped && column > first && column + 1 < end && !cover.coversDouble(px, py))
                continue; // rounding may leave a hole inside an unsnapped row
            double w0 = (r0 - sy0 * (px - fx0)) * reciprocal;
            double w1 = (r1 - sy1 * (px - fx1)) * reciprocal;
            double w2 = (r2 - sy2 * (px - fx2)) * reciprocal;
            const float depth = static_cast<float>(w0 * d0 + w1 * d1 + w2 * d2);
            if (!(depth < depthRow[column]))
                continue; // fails: nothing else of it matters
            if constexpr (perspective) {
                const double g0 = w0 * q0, g1 = w1 * q1, g2 = w2 * q2;
                const double toOne = 1.0 / (g0 + g1 + g2);
                w0 = g0 * toOne, w1 = g1 * toOne, w2 = g2 * toOne;
            }
            const float c0 = static_cast<float>(w0 * a00 + w1 * a01 + w2 * a02);
            const float c1 = static_cast<float>(w0 * a10 + w1 * a11 + w2 * a12);
            const float c2 = three ? static_cast<float>(w0 * a20 + w1 * a21 + w2 * a22) : 0.0f;
            depthRow[column] = depth;
            colorRow[column] = Color4{c0, c1, c2, pendingAlpha};
        }
    }
}

// A triangle set up for drawing: its coverage, its values, and the rows and columns of
// the frame whose centres lie within its extent.
struct PreparedTriangle {
    TriangleCoverage cover;
    TriangleValues values;
    int firstRow, lastRow, firstColumn, lastColumn;
};

// The set-up of the triangle `corner` (turned counterclockwise in place): false when it
// draws nothing in the frame.
bool prepareTriangle(const FrameState& f, const RuleCorner* corner[3], PreparedTriangle& t)
{
    TriangleCoverage& cover = t.cover;
    cover.snapped = f.rules.has(Rule::snap);
    double area;
    if (cover.snapped) {
        for (int k = 0; k < 3; ++k) { // in 1/256 pixel, ties to even
            cover.X[k] = static_cast<std::int64_t>(std::nearbyint(static_cast<double>(corner[k]->x) * 256.0));
            cover.Y[k] = static_cast<std::int64_t>(std::nearbyint(static_cast<double>(corner[k]->y) * 256.0));
        }
        const std::int64_t twice = edgeValue(cover.X[0], cover.Y[0], cover.X[1], cover.Y[1], cover.X[2], cover.Y[2]);
        area = static_cast<double>(twice);
        if (twice < 0) {
            std::swap(cover.X[1], cover.X[2]);
            std::swap(cover.Y[1], cover.Y[2]);
        }
    } else {
        for (int k = 0; k < 3; ++k)
            cover.x[k] = corner[k]->x, cover.y[k] = corner[k]->y;
        area = edgeValue(cover.x[0], cover.y[0], cover.x[1], cover.y[1], cover.x[2], cover.y[2]);
    }
    if (area == 0.0)
        return false;
    // Counterclockwise: the last two corners swapped in a clockwise triangle.
    if (area < 0) {
        std::swap(corner[1], corner[2]);
        if (!cover.snapped)
            std::swap(cover.x[1], cover.x[2]), std::swap(cover.y[1], cover.y[2]);
    }
    double lowX, highX, lowY, highY;
    if (cover.snapped) {
        for (int k = 0; k < 3; ++k) {
            const int p = (k + 1) % 3, q = (k + 2) % 3;
            cover.include[k] = tieIncluded(cover.X[p], cover.Y[p], cover.X[q], cover.Y[q]);
        }
        cover.prepare();
        lowX = std::min({cover.X[0], cover.X[1], cover.X[2]}) / 256.0;
        highX = std::max({cover.X[0], cover.X[1], cover.X[2]}) / 256.0;
        lowY = std::min({cover.Y[0], cover.Y[1], cover.Y[2]}) / 256.0;
        highY = std::max({cover.Y[0], cover.Y[1], cover.Y[2]}) / 256.0;
    } else {
        for (int k = 0; k < 3; ++k) {
            const int p = (k + 1) % 3, q = (k + 2) % 3;
            cover.include[k] = tieIncluded(cover.x[p], cover.y[p], cover.x[q], cover.y[q]);
        }
        lowX = std::min({cover.x[0], cover.x[1], cover.x[2]});
        highX = std::max({cover.x[0], cover.x[1], cover.x[2]});
        lowY = std::min({cover.y[0], cover.y[1], cover.y[2]});
        highY = std::max({cover.y[0], cover.y[1], cover.y[2]});
    }

    // Rows and columns whose centres lie within the triangle's extent.
    t.firstRow = static_cast<int>(std::max(0.0, std::ceil(lowY - 0.5)));
    t.lastRow = static_cast<int>(std::min(f.height - 1.0, std::floor(highY - 0.5)));
    t.firstColumn = static_cast<int>(std::max(0.0, std::ceil(lowX - 0.5)));
    t.lastColumn = static_cast<int>(std::min(f.width - 1.0, std::floor(highX - 0.5)));
    if (t.firstRow > t.lastRow || t.firstColumn > t.lastColumn)
        return false;

    // The weights come from the window positions before snapping, in double: side k's
    // value at the centre times the reciprocal of the doubled area.
    double wx[3], wy[3];
    for (int k = 0; k < 3; ++k)
        wx[k] = corner[k]->x, wy[k] = corner[k]->y;
    double weightArea = edgeValue(wx[0], wy[0], wx[1], wy[1], wx[2], wy[2]);
    if (weightArea == 0.0) { // a sliver that only snapping opened: its snapped corners
        for (int k = 0; k < 3; ++k)
            wx[k] = static_cast<double>(cover.X[k]) / 256.0, wy[k] = static_cast<double>(cover.Y[k]) / 256.0;
        weightArea = edgeValue(wx[0], wy[0], wx[1], wy[1], wx[2], wy[2]);
    }
    TriangleValues& v = t.values;
    v.reciprocal = 1.0 / weightArea;
    // Side k runs from corner k + 1 to corner k + 2: its differences and first corner.
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < 3; ++i)
            v.value[i][k] = i < f.carried ? carriedValue(f, *corner[k], i) : 0.0;
        v.depth[k] = corner[k]->depth;
        v.inverseW[k] = corner[k]->inverseW;
        const int p = (k + 1) % 3, q = (k + 2) % 3;
        v.sideX[k] = wx[q] - wx[p];
        v.sideY[k] = wy[q] - wy[p];
        v.fromX[k] = wx[p];
        v.fromY[k] = wy[p];
    }
    return true;
}

// The plain frame's rows [firstRow, lastRow] of a prepared triangle.
void drawPrepared(const FrameState& f, PreparedTriangle& t, int firstRow, int lastRow)
{
    const bool perspective = f.rules.has(Rule::perspective), three = f.carried > 2;
    if (perspective)
        three ? drawRows<true, true>(f, t.cover, t.values, firstRow, lastRow, t.firstColumn, t.lastColumn)
              : drawRows<true, false>(f, t.cover, t.values, firstRow, lastRow, t.firstColumn, t.lastColumn);
    else
        three ? drawRows<false, true>(f, t.cover, t.values, firstRow, lastRow, t.firstColumn, t.lastColumn)
              : drawRows<false, false>(f, t.cover, t.values, firstRow, lastRow, t.firstColumn, t.lastColumn);
}

template <bool observed>
void drawTriangle(const FrameState& f, const RuleCorner& a, const RuleCorner& b, const RuleCorner& c, int triangle)
{
    const RuleCorner* corner[3] = {&a, &b, &c};
    for (const RuleCorner* k : corner)
        if (!(std::fabs(k->x) <= farthestCorner && std::fabs(k->y) <= farthestCorner))
            return; // beyond the exact range, or not a number
    PreparedTriangle t;
    if (!prepareTriangle(f, corner, t))
        return;
    if (f.collect) {
        f.collect->push_back(t);
        return;
    }
    const int firstRow = std::max(t.firstRow, f.rowFrom), lastRow = std::min(t.lastRow, f.rowTo);
    if (firstRow > lastRow)
        return;
    if constexpr (!observed) {
        drawPrepared(f, t, firstRow, lastRow);
        return;
    }
    const RuleCorner corners[3] = {*corner[0], *corner[1], *corner[2]};
    f.observer->primitive(triangle, corners, 3);

    // Observed: every fragment, passing or not, goes to the observer with its weights, and
    // up to five values are carried.
    const TriangleValues& tv = t.values;
    const bool perspective = f.rules.has(Rule::perspective);
    double cornerValues[3][maxCarried];
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < maxCarried; ++i)
            cornerValues[k][i] = i < f.carried ? carriedValue(f, *corner[k], i) : 0.0;
    TriangleCoverage& cover = t.cover;
    RuleFragment info;
    info.triangle = triangle;
    float values[maxCarried];
    for (int row = firstRow; row <= lastRow; ++row) {
        int first, end;
        cover.columns(row, t.firstColumn, t.lastColumn, first, end);
        if (first >= end)
            continue;
        noteWritten(row, first, end);
        {
            // The run as a span whose ends are its columns, for the views that mark spans.
            ActiveEdge left{}, right{};
            left.x = static_cast<float>(first), right.x = static_cast<float>(end);
            left.index = right.index = -1;
            f.observer->span(row, left, right, first, end);
        }
        // Side k's value at a centre: (qx - px)(cy - py) - (qy - py)(cx - px); the first
        // product is the row's.
        const double py = row + 0.5;
        const double rowTerm[3] = {tv.sideX[0] * (py - tv.fromY[0]), tv.sideX[1] * (py - tv.fromY[1]),
                                   tv.sideX[2] * (py - tv.fromY[2])};
        for (int column = first; column < end; ++column) {
            const double px = column + 0.5;
            if (!cover.snapped && column > first && column + 1 < end && !cover.coversDouble(px, py))
                continue; // rounding may leave a hole inside an unsnapped row
            const double w[3] = {(rowTerm[0] - tv.sideY[0] * (px - tv.fromX[0])) * tv.reciprocal,
                                 (rowTerm[1] - tv.sideY[1] * (px - tv.fromX[1])) * tv.reciprocal,
                                 (rowTerm[2] - tv.sideY[2] * (px - tv.fromX[2])) * tv.reciprocal};
            const float depth = static_cast<float>(w[0] * tv.depth[0] + w[1] * tv.depth[1] + w[2] * tv.depth[2]);
            double v[3] = {w[0], w[1], w[2]};
            if (perspective) {
                const double q[3] = {w[0] * tv.inverseW[0], w[1] * tv.inverseW[1], w[2] * tv.inverseW[2]};
                const double toOne = 1.0 / (q[0] + q[1] + q[2]);
                for (int k = 0; k < 3; ++k)
                    v[k] = q[k] * toOne;
            }
            for (int i = 0; i < f.carried; ++i)
                values[i] = static_cast<float>(v[0] * cornerValues[0][i] + v[1] * cornerValues[1][i] +
                                               v[2] * cornerValues[2][i]);
            for (int k = 0; k < 3; ++k)
                info.weights[k] = w[k], info.corrected[k] = v[k];
            fragment<observed>(f, column, row, depth, values, info);
        }
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
void scanSpan(const FrameState& f, const ScanEdge& left, const ScanEdge& right, int y, int count, int leftIndex,
              int rightIndex)
{
    const float widthF = static_cast<float>(f.width);
    const bool clipped = left.x <= -1.0f;
    const int xs = clipped ? 0 : (left.x < widthF ? static_cast<int>(left.x) : f.width);
    const int xe = right.x >= 1.0f ? (right.x < widthF ? static_cast<int>(right.x) : f.width) : 0;
    if constexpr (observed)
        f.observer->span(y, asActive(f, left, leftIndex), asActive(f, right, rightIndex), xs, xe);
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
    last = std::min(last, f.rowTo);
    static std::vector<int> active; // kept only to spare allocations
    active.clear();
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
        if (y < f.rowFrom)
            continue;
        if constexpr (observed) {
            std::vector<ActiveEdge> sorted;
            for (int i : active)
                sorted.push_back(asActive(f, edges[i], i));
            f.observer->row(y, sorted.data(), static_cast<int>(sorted.size()));
        }
        for (std::size_t i = 0; i + 1 < active.size(); i += 2)
            scanSpan<observed>(f, edges[active[i]], edges[active[i + 1]], y, count, active[i], active[i + 1]);
    }
}

// The sides of a polygon as the program sets them up: side k from the corner that k's
// `next` names to corner k, those that cover no row dropped.
template <bool observed>
void scanSides(const FrameState& f, const RuleCorner* corners, int n, const std::vector<int>& next)
{
    if (n == 0)
        return;
    const bool snap = f.rules.has(Rule::snap);
    float attributes[maxAttributes];
    const int count = cornerAttributes(f, corners[0], attributes);
    static std::vector<ScanEdge> edges;
    edges.clear();
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
void drawPolygon(const FrameState& f, const Polygon& polygon, const RuleCorner* corners)
{
    const std::vector<Vertex>& vertices = polygon.vertices;
    const int n = static_cast<int>(vertices.size());
    const bool clip = f.rules.has(Rule::clip);
    static std::vector<RuleCorner> cut, triangle(3), ring;
    if (f.rules.has(Rule::centres)) {
        // GL_POLYGON as a fan from corner 0, in index order; a triangle cut by the clip is
        // fanned again from the first corner the cut leaves.
        for (int k = 1; k + 1 < n; ++k) {
            triangle[0] = corners[0], triangle[1] = corners[k], triangle[2] = corners[k + 1];
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
    static std::vector<int> next, cutNext;
    next.resize(n);
    for (int k = 0; k < n; ++k)
        next[k] = vertices[k].next;
    if (clip) {
        // The outline in the order its `next` links run, from corner 0.
        ring.clear();
        for (int k = 0, steps = 0; steps < n && k >= 0 && k < n; k = next[k], ++steps)
            ring.push_back(corners[k]);
        if (clipNearFar(f.setup, ring, cut)) {
            if constexpr (observed)
                if (!cut.empty())
                    f.observer->primitive(-1, cut.data(), static_cast<int>(cut.size()));
            // Side k of what is left runs from corner k + 1 to corner k, as `next` ran.
            cutNext.resize(cut.size());
            for (std::size_t k = 0; k < cut.size(); ++k)
                cutNext[k] = static_cast<int>((k + 1) % cut.size());
            scanSides<observed>(f, cut.data(), static_cast<int>(cut.size()), cutNext);
            return;
        }
    }
    scanSides<observed>(f, corners, n, next);
}

// The colours of the pixels the mesh left pending, in rows [first, end).
template <typename Fma>
[[gnu::always_inline]] inline void resolveRowsWith(const FrameState& f, int first, int end, Fma fma)
{
    RuleFragment unused;
    end = std::min(end, static_cast<int>(writtenFrom.size()));
    for (int y = std::max(first, 0); y < end; ++y) {
        Color4* row = ColorBuffer.data() + static_cast<std::size_t>(y) * f.width;
        for (int x = writtenFrom[y]; x < writtenTo[y]; ++x)
            if (row[x].a == pendingAlpha) {
                const float values[3] = {row[x].r, row[x].g, row[x].b};
                row[x] = shade<false>(f, values, unused, fma);
            }
    }
}

#if defined(__x86_64__)
[[gnu::target("fma")]] void resolveRowsFma(const FrameState& f, int first, int end)
{
    resolveRowsWith(f, first, end, ProcessorFma{});
}
#endif

void resolveRowsPortable(const FrameState& f, int first, int end)
{
    resolveRowsWith(f, first, end, FusedMultiplyAdd{});
}

void resolvePending(const FrameState& f, int first, int end)
{
    const bool texgen = f.rules.has(Rule::texgen), filter = f.rules.has(Rule::filter);
    if (f.texture && texgen == filter) {
        // The colours that need nothing but the pixel's values, a run at a time in lanes:
        // the plain lookup of the normal, or the filter at s, t.
        end = std::min(end, static_cast<int>(writtenFrom.size()));
        for (int y = std::max(first, 0); y < end; ++y) {
            Color4* row = ColorBuffer.data() + static_cast<std::size_t>(y) * f.width;
            const int from = writtenFrom[y], count = writtenTo[y] - from;
            if (count <= 0)
                continue;
            if (filter)
                filterPendingPixels(*f.texture, row + from, count, pendingAlpha);
            else
                colorPendingPixels(*f.map, row + from, count, pendingAlpha);
        }
        return;
    }
#if defined(__x86_64__)
    static const bool hasFma = __builtin_cpu_supports("fma");
    if (hasFma)
        return resolveRowsFma(f, first, end);
#endif
    resolveRowsPortable(f, first, end);
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
            drawPolygon<observed>(f, mesh.polygons[p], corners.data());
        }
        if constexpr (!observed)
            resolvePending(f, f.rowFrom, f.rowTo + 1);
    }
}

// Rows per band: a band's colour and depth (20 bytes a pixel) fit the second-level cache,
// so that its clear, its triangles and its colours meet there.
int bandRows(int width)
{
    return static_cast<int>(std::max(1L, 384L * 1024 / (20L * width)));
}

// The plain frame's triangles a band of rows at a time: each mesh's triangles are set up
// first (once, whatever bands they reach), then each band is cleared, gets its triangles in drawing order and its colours.
// Every pixel sees its fragments in the same order as polygon by polygon.
void drawFrameInBands(FrameState& f)
{
    static std::vector<PreparedTriangle> triangles;
    static std::vector<int> bandFirst, bandTriangles, placed;
    std::vector<RuleCorner> corners;
    const int rows = bandRows(f.width), bands = (f.height + rows - 1) / rows;
    for (std::size_t m = 0; m < f.scene.meshes.size(); ++m) {
        const Mesh& mesh = f.scene.meshes[m];
        f.texture = mesh.texture;
        f.map.emplace(f.scene, mesh);
        triangles.clear();
        f.collect = &triangles;
        makeMeshCorners(f.setup, mesh, corners);
        const RuleCorner* next = corners.data();
        for (const Polygon& polygon : mesh.polygons) {
            drawPolygon<false>(f, polygon, next);
            next += polygon.vertices.size();
        }
        f.collect = nullptr;
        // Counting sort into bands, drawing order kept within each.
        auto bandsOf = [&](const PreparedTriangle& t, int& first, int& end) {
            first = t.firstRow / rows;
            end = t.lastRow / rows + 1;
        };
        bandFirst.assign(bands + 1, 0);
        for (const PreparedTriangle& t : triangles) {
            int first, end;
            bandsOf(t, first, end);
            for (int b = first; b < end; ++b)
                ++bandFirst[b + 1];
        }
        for (int b = 0; b < bands; ++b)
            bandFirst[b + 1] += bandFirst[b];
        bandTriangles.resize(bandFirst[bands]);
        placed.assign(bandFirst.begin(), bandFirst.end() - 1);
        for (std::size_t i = 0; i < triangles.size(); ++i) {
            int first, end;
            bandsOf(triangles[i], first, end);
            for (int b = first; b < end; ++b)
                bandTriangles[placed[b]++] = static_cast<int>(i);
        }
        for (int b = 0; b < bands; ++b) {
            f.rowFrom = b * rows;
            f.rowTo = std::min(f.height, f.rowFrom + rows) - 1;
            clearRows(f.rowFrom, f.rowTo + 1);
            for (int k = bandFirst[b]; k < bandFirst[b + 1]; ++k) {
                PreparedTriangle& t = triangles[bandTriangles[k]];
                drawPrepared(f, t, std::max(t.firstRow, f.rowFrom), std::min(t.lastRow, f.rowTo));
            }
            resolvePending(f, f.rowFrom, f.rowTo + 1);
        }
    }
    f.rowFrom = 0;
    f.rowTo = f.height - 1;
}

} // namespace

void rasterizeUnderRules(const Scene& scene, int width, int height, RasterRules rules, FillObserver* observer,
                         FinishedRows* finished, int onlyRow)
{
    if (pixelCount(width, height) == 0 || width != bufferWidth || height != bufferHeight)
        return;
    if (onlyRow >= height)
        return;
    const bool texgen = rules.has(Rule::texgen);
    FrameState f{scene, CornerSetup(scene, width, height, rules), rules, width, height,
                 onlyRow >= 0 ? onlyRow : 0, onlyRow >= 0 ? onlyRow : height - 1, observer,
                 texgen ? (observer ? 5 : 2) : 3, texgen ? 2 : 0, nullptr, std::nullopt, nullptr};
    if (onlyRow >= 0)
        clearWholeRow(onlyRow);
    else if (observer || !rules.has(Rule::centres))
        clearRows(0, height);
    if (observer)
        drawFrame<true>(f);
    else if (rules.has(Rule::centres) && onlyRow < 0)
        drawFrameInBands(f);
    else
        drawFrame<false>(f);
    if (onlyRow < 0)
        clearRows(0, height); // rows no band reached, as in a frame without meshes
    if (finished)
        finished->rows(0, height);
}

std::vector<float> depthForFile(const float* depth, std::size_t count, RasterRules rules)
{
    std::vector<float> file(depth, depth + count);
    if (rules.has(Rule::floatVertex))
        for (float& z : file)
            z = 2.0f * z - 1.0f;
    return file;
}
