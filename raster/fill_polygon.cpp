#include "raster/fill_polygon.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "raster/frame_buffers.h"
#include "texture/sphere_map.h"

// Rows [pendingFirstRow, pendingLastRow] hold every pixel that waits for its colour,
// within the written columns of each row.
static int pendingFirstRow = 0x7fffffff;
static int pendingLastRow = -1;

namespace {

ActiveEdge activeEdge(const Edge& edge, int index)
{
    return ActiveEdge{edge.x,
                      edge.z,
                      {edge.normal[0], edge.normal[1], edge.normal[2]},
                      edge.dxdy,
                      edge.dzdy,
                      {edge.dNormalDy[0], edge.dNormalDy[1], edge.dNormalDy[2]},
                      truncateToInt(edge.yEnd),
                      index};
}

// One row further along the edge: one float addition per value.
inline void advance(ActiveEdge& edge)
{
    edge.x += edge.dxdy;
    edge.z += edge.dzdy;
    edge.normal[0] += edge.dNormalDy[0];
    edge.normal[1] += edge.dNormalDy[1];
    edge.normal[2] += edge.dNormalDy[2];
}

// Insertion sort by x, stable: edges of equal x keep their order in the list. The lists
// are a handful of edges, mostly already in order, and a NaN x cannot break the sort.
inline void sortByX(ActiveEdge* active, int count)
{
    if (count == 2) { // a quadrilateral's usual row
        if (active[1].x < active[0].x)
            std::swap(active[0], active[1]);
        return;
    }
    for (int i = 1; i < count; ++i) {
        if (!(active[i].x < active[i - 1].x))
            continue;
        const ActiveEdge moving = active[i];
        int j = i;
        for (; j > 0 && moving.x < active[j - 1].x; --j)
            active[j] = active[j - 1];
        active[j] = moving;
    }
}

// A pixel's normal with the pending alpha, added lane by lane (each lane exactly as a
// float addition) and stored in one move.
typedef float NormalLanes __attribute__((vector_size(16)));

// trunc(x) as a float, through an int conversion where x fits one; beyond, a float is
// already whole (or NaN or infinite). Only the sign of a zero may differ from std::trunc,
// and no caller tells the two zeros apart.
inline float truncated(float x)
{
    if (x > -2147483648.0f && x < 2147483648.0f)
        return static_cast<float>(static_cast<int>(x));
    return x;
}

// A polygon's span two rows up lies over about the same columns. Large frames do not
// fit the caches, and each row of a span is a new stream that the hardware does not
// foresee: asking for those lines now hides their latency behind two spans (a 1920x1080
// frame took a fifth less time). The first 32 columns are asked for, two lines of depth
// and six of colour; the buffers' spare entries cover lines past the last row. Always
// inlined: GCC finds that a function holding only prefetches has no effect, and drops
// its calls.
[[gnu::always_inline]] inline void prefetchRowAhead(const float* depth, const Color4* color, int y, int xs, int width)
{
    const int ahead = y + 2 < bufferHeight ? 2 : 0;
    const std::size_t at = static_cast<std::size_t>(ahead) * width + xs;
    __builtin_prefetch(depth + at, 1);
    __builtin_prefetch(depth + at + 16, 1);
    __builtin_prefetch(color + at, 1);
    __builtin_prefetch(color + at + 4, 1);
    __builtin_prefetch(color + at + 8, 1);
    __builtin_prefetch(color + at + 12, 1);
    __builtin_prefetch(color + at + 16, 1);
    __builtin_prefetch(color + at + 20, 1);
}

// Fills columns trunc(L.x) .. trunc(R.x) - 1 of row y, clamped to the frame. Every value
// is float: the depth step by division, the normal steps by the float reciprocal, and
// one addition per pixel for each. Columns are found from the truncated x as a float, so
// that an x far outside the int range is clipped by the same whole-pixel steps without
// an int conversion.
template <bool observed>
inline void scanSpan(const ActiveEdge& left, const ActiveEdge& right, int y, int width,
              FillObserver* observer)
{
    const float widthF = static_cast<float>(width);
    const float xsF = truncated(left.x);
    const float xeF = truncated(right.x);
    const int xs = xsF < 0.0f ? 0 : (xsF < widthF ? static_cast<int>(xsF) : width); // NaN: width
    const int xe = xeF > 0.0f ? (xeF < widthF ? static_cast<int>(xeF) : width) : 0;
    if constexpr (observed)
        observer->span(y, left, right, xs, xe);
    if (xs >= xe)
        return;

    const float dx = right.x - left.x;
    const float dz = (right.z - left.z) / dx;
    const float q = 1.0f / dx;
    const float dn0 = (right.normal[0] - left.normal[0]) * q;
    const float dn1 = (right.normal[1] - left.normal[1]) * q;
    const float dn2 = (right.normal[2] - left.normal[2]) * q;
    float z = left.z, n0 = left.normal[0], n1 = left.normal[1], n2 = left.normal[2];
    if (xsF < 0.0f) {
        z -= xsF * dz;
        n0 -= xsF * dn0;
        n1 -= xsF * dn1;
        n2 -= xsF * dn2;
    }

    noteWritten(y, xs, xe);
    const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    float* depth = DepthBuffer.data() + row;
    Color4* color = ColorBuffer.data() + row;
    prefetchRowAhead(depth, color, y, xs, width);
    NormalLanes normal = {n0, n1, n2, pendingAlpha};
    const NormalLanes step = {dn0, dn1, dn2, 0.0f};
    for (int x = xs; x < xe; ++x) {
        const float stored = depth[x];
        const bool passed = z < stored;
        if (passed) {
            depth[x] = z;
            std::memcpy(static_cast<void*>(&color[x]), &normal, sizeof(Color4));
        }
        if constexpr (observed) {
            const float n[3] = {normal[0], normal[1], normal[2]};
            observer->fragment(x, y, z, stored, passed, n);
        }
        z += dz;
        normal += step;
    }
}

// Spans of row y between the pairs of sorted active edges; an unpaired last edge is ignored.
template <bool observed>
inline void scanRow(const ActiveEdge* active, int live, int y, int width, FillObserver* observer)
{
    if constexpr (observed)
        observer->row(y, active, live);
    for (int i = 0; i + 1 < live; i += 2)
        scanSpan<observed>(active[i], active[i + 1], y, width, observer);
}

template <bool observed>
void scanEdges(const Edge* edges, int count, int width, int height, FillObserver* observer)
{
    // Only buffers prepared for this size are written: their clear depends on it.
    if (count == 0 || pixelCount(width, height) == 0 || width != bufferWidth || height != bufferHeight)
        return;
    // Kept between calls only to spare allocations per polygon.
    static std::vector<ActiveEdge> active;
    static std::vector<int> startRow, order;
    active.resize(static_cast<std::size_t>(count));
    startRow.resize(static_cast<std::size_t>(count));
    order.resize(static_cast<std::size_t>(count));

    int yFirst = 9999999, yLast = 0;
    for (int k = 0; k < count; ++k) {
        startRow[k] = truncateToInt(edges[k].y);
        yFirst = std::min(yFirst, startRow[k]);
        yLast = std::max(yLast, truncateToInt(edges[k].yEnd));
        // Edges join the active list on their start row, in list order: kept sorted by
        // start row (stable, by insertion), they are taken from the front.
        int j = k;
        for (; j > 0 && startRow[order[j - 1]] > startRow[k]; --j)
            order[j] = order[j - 1];
        order[j] = k;
    }
    yLast = std::min(yLast, height - 1);
    yFirst = std::max(yFirst, 0);
    if (yFirst > yLast)
        return;
    pendingFirstRow = std::min(pendingFirstRow, yFirst);
    pendingLastRow = std::max(pendingLastRow, yLast);

    ActiveEdge* const list = active.data();
    int next = 0, live = 0;
    for (int y = yFirst; y <= yLast;) {
        while (next < count && startRow[order[next]] < y)
            ++next; // started below the first row: never active
        if (live == 0) {
            // Nothing active: go straight to the next row where an edge starts.
            if (next == count || startRow[order[next]] > yLast)
                break;
            y = std::max(y, startRow[order[next]]);
        }
        // A row where edges leave or join. An edge takes part in rows trunc(y) ..
        // trunc(yEnd) - 1; the survivors advance, and a new edge is not advanced on its
        // first row: it stays at its set-up x.
        int kept = 0;
        for (int i = 0; i < live; ++i)
            if (list[i].endRow > y) {
                list[kept] = list[i];
                advance(list[kept++]);
            }
        live = kept;
        for (; next < count && startRow[order[next]] == y; ++next)
            list[live++] = activeEdge(edges[order[next]], order[next]);
        sortByX(list, live);
        scanRow<observed>(list, live, y, width, observer);

        // Up to the next such row, every edge only advances.
        int until = yLast + 1;
        if (next < count)
            until = std::min(until, startRow[order[next]]);
        for (int i = 0; i < live; ++i)
            until = std::min(until, list[i].endRow);
        for (++y; y < until; ++y) {
            for (int i = 0; i < live; ++i)
                advance(list[i]);
            sortByX(list, live);
            scanRow<observed>(list, live, y, width, observer);
        }
    }
}

} // namespace

void scanPolygon(const Edge* edges, int count, int width, int height, FillObserver* observer)
{
    if (observer)
        scanEdges<true>(edges, count, width, height, observer);
    else
        scanEdges<false>(edges, count, width, height, nullptr);
}

void resolvePendingColors(const Scene& scene, const Mesh& mesh)
{
    const SphereMap map(scene, mesh);
    const int lastRow = std::min(pendingLastRow, static_cast<int>(writtenFrom.size()) - 1);
    for (int y = std::max(pendingFirstRow, 0); y <= lastRow; ++y)
        if (writtenFrom[y] < writtenTo[y])
            colorPendingPixels(map, ColorBuffer.data() + static_cast<std::size_t>(y) * bufferWidth + writtenFrom[y],
                               writtenTo[y] - writtenFrom[y]);
    pendingFirstRow = 0x7fffffff;
    pendingLastRow = -1;
}

void fillPolygon(std::vector<Edge>& edges, int width, int height, const Scene& scene,
                 const Mesh& mesh)
{
    scanPolygon(edges.data(), static_cast<int>(edges.size()), width, height);
    std::vector<Edge>().swap(edges);
    resolvePendingColors(scene, mesh);
}
