#include "raster/fill_polygon.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "raster/frame_buffers.h"
#include "shade/sphere_map.h"

namespace {

// One row further along the edge: one float addition per value.
inline void advance(ActiveEdge& edge)
{
    edge.x += edge.dxdy;
    edge.z += edge.dzdy;
    edge.normal[0] += edge.dNormalDy[0];
    edge.normal[1] += edge.dNormalDy[1];
    edge.normal[2] += edge.dNormalDy[2];
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
// one addition per pixel for each. The columns come from comparisons of x itself, which
// are the comparisons of its truncation with whole numbers (trunc(x) < 0 exactly when
// x <= -1, and so on); only an x inside the frame is converted, and an x left of it is
// truncated as a float, so that x far outside the int range is clipped by the same
// whole-pixel steps without an int conversion. NaN gives an empty span.
template <bool observed>
inline void scanSpan(const ActiveEdge& left, const ActiveEdge& right, int y, int width,
                     FillObserver* observer)
{
    const float widthF = static_cast<float>(width);
    const bool clipped = left.x <= -1.0f;
    const int xs = clipped ? 0 : (left.x < widthF ? static_cast<int>(left.x) : width);
    const int xe = right.x >= 1.0f ? (right.x < widthF ? static_cast<int>(right.x) : width) : 0;
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
    if (clipped) {
        const float xsF = truncated(left.x);
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

// Insertion sort of the active list (positions of edges) by x, stable: edges of equal x
// keep their order in the list. The lists are a handful of edges, mostly already in
// order, and a NaN x cannot break the sort.
inline void sortByX(int* active, int count, const ActiveEdge* edges)
{
    if (count == 2) { // a quadrilateral's usual row
        if (edges[active[1]].x < edges[active[0]].x)
            std::swap(active[0], active[1]);
        return;
    }
    for (int i = 1; i < count; ++i) {
        const int moving = active[i];
        int j = i;
        for (; j > 0 && edges[moving].x < edges[active[j - 1]].x; --j)
            active[j] = active[j - 1];
        active[j] = moving;
    }
}

} // namespace

void FillEdges::clear()
{
    used = 0;
}

PolygonFill startFill(FillEdges& fill, const Edge* edges, int count, int width, int height)
{
    PolygonFill polygon;
    polygon.firstEdge = fill.used;
    polygon.edgeCount = count;
    fill.used += count;
    const std::size_t size = static_cast<std::size_t>(fill.used);
    if (fill.edges.size() < size) {
        const std::size_t grown = std::max(size, 2 * fill.edges.size());
        fill.edges.resize(grown);
        fill.startRow.resize(grown);
        fill.joinOrder.resize(grown);
        fill.active.resize(grown);
    }
    ActiveEdge* const added = fill.edges.data() + polygon.firstEdge;
    int* const startRow = fill.startRow.data() + polygon.firstEdge;
    int* const order = fill.joinOrder.data() + polygon.firstEdge;
    int yFirst = 9999999, yLast = 0;
    for (int k = 0; k < count; ++k) {
        const Edge& edge = edges[k];
        added[k] = ActiveEdge{edge.x,
                              edge.z,
                              {edge.normal[0], edge.normal[1], edge.normal[2]},
                              edge.dxdy,
                              edge.dzdy,
                              {edge.dNormalDy[0], edge.dNormalDy[1], edge.dNormalDy[2]},
                              truncateToInt(edge.yEnd),
                              k};
        startRow[k] = truncateToInt(edge.y);
        yFirst = std::min(yFirst, startRow[k]);
        yLast = std::max(yLast, added[k].endRow);
        // Edges join the active list on their start row, in list order: kept sorted by
        // start row (stable, by insertion), they are taken from the front.
        int j = k;
        for (; j > 0 && startRow[order[j - 1]] > startRow[k]; --j)
            order[j] = order[j - 1];
        order[j] = k;
    }
    // Only buffers prepared for this size are written: their clear depends on it.
    const bool prepared = pixelCount(width, height) > 0 && width == bufferWidth && height == bufferHeight;
    polygon.nextRow = std::max(yFirst, 0);
    polygon.lastRow = prepared ? std::min(yLast, height - 1) : -1;
    return polygon;
}

template <bool observed>
static void fillRowsOf(PolygonFill& polygon, FillEdges& fill, int endRow, int width,
                       FillObserver* observer, int fromRow)
{
    ActiveEdge* const edges = fill.edges.data() + polygon.firstEdge;
    const int* const startRow = fill.startRow.data() + polygon.firstEdge;
    const int* const order = fill.joinOrder.data() + polygon.firstEdge;
    int* const active = fill.active.data() + polygon.firstEdge;
    const int count = polygon.edgeCount;
    int joined = polygon.joined, live = polygon.live;
    const int stop = std::min(endRow, polygon.lastRow + 1);
    int y = polygon.nextRow;
    while (y < stop) {
        while (joined < count && startRow[order[joined]] < y)
            ++joined; // started below the first row: never active
        if (live == 0) {
            // Nothing active: go straight to the next row where an edge starts.
            if (joined == count || startRow[order[joined]] >= stop) {
                y = joined == count ? polygon.lastRow + 1 : std::max(y, startRow[order[joined]]);
                break;
            }
            y = std::max(y, startRow[order[joined]]);
        }
        // An edge takes part in rows trunc(y) .. trunc(yEnd) - 1; the survivors advance,
        // and a new edge is not advanced on its first row: it stays at its set-up x.
        int kept = 0;
        for (int i = 0; i < live; ++i)
            if (edges[active[i]].endRow > y) {
                advance(edges[active[i]]);
                active[kept++] = active[i];
            }
        live = kept;
        for (; joined < count && startRow[order[joined]] == y; ++joined)
            active[live++] = order[joined];
        sortByX(active, live, edges);
        bool drawn = true;
        if constexpr (observed) {
            drawn = y >= fromRow;
            static std::vector<ActiveEdge> sorted; // spares an allocation per row
            sorted.clear();
            for (int i = 0; i < live; ++i)
                sorted.push_back(edges[active[i]]);
            if (drawn)
                observer->row(y, sorted.data(), live);
        }
        // Spans between the pairs of sorted edges; an unpaired last edge is ignored.
        for (int i = 0; drawn && i + 1 < live; i += 2)
            scanSpan<observed>(edges[active[i]], edges[active[i + 1]], y, width, observer);
        ++y;
        if (live == 2) {
            // A quadrilateral's usual stretch: up to the next row where an edge leaves or
            // joins, its two edges only advance and swap when they cross.
            int until = std::min({stop, edges[active[0]].endRow, edges[active[1]].endRow});
            if (joined < count)
                until = std::min(until, startRow[order[joined]]);
            ActiveEdge* left = &edges[active[0]];
            ActiveEdge* right = &edges[active[1]];
            for (; y < until; ++y) {
                advance(*left);
                advance(*right);
                if (right->x < left->x)
                    std::swap(left, right);
                if constexpr (observed) {
                    if (y < fromRow)
                        continue;
                    const ActiveEdge pair[2] = {*left, *right};
                    observer->row(y, pair, 2);
                }
                scanSpan<observed>(*left, *right, y, width, observer);
            }
            active[0] = static_cast<int>(left - edges);
            active[1] = static_cast<int>(right - edges);
        }
    }
    polygon.nextRow = y;
    polygon.joined = joined;
    polygon.live = live;
}

void fillRows(PolygonFill& polygon, FillEdges& fill, int endRow, int width, FillObserver* observer,
              int fromRow)
{
    if (observer)
        fillRowsOf<true>(polygon, fill, endRow, width, observer, fromRow);
    else
        fillRowsOf<false>(polygon, fill, endRow, width, nullptr, 0);
}

void scanPolygon(const Edge* edges, int count, int width, int height, FillObserver* observer)
{
    static FillEdges fill; // kept only to spare allocations from polygon to polygon
    fill.clear();
    PolygonFill polygon = startFill(fill, edges, count, width, height);
    fillRows(polygon, fill, height, width, observer);
}

void resolveRows(const SphereMap& map, int first, int end)
{
    end = std::min(end, static_cast<int>(writtenFrom.size()));
    for (int y = std::max(first, 0); y < end; ++y)
        if (writtenFrom[y] < writtenTo[y])
            colorPendingPixels(map, ColorBuffer.data() + static_cast<std::size_t>(y) * bufferWidth + writtenFrom[y],
                               writtenTo[y] - writtenFrom[y], pendingAlpha);
}

void resolveAndClearRows(const SphereMap& map, int first, int end)
{
    const Color4 white{1.0f, 1.0f, 1.0f, 1.0f};
    end = std::min(end, static_cast<int>(writtenFrom.size()));
    for (int y = std::max(first, 0); y < end; ++y) {
        const int from = std::min(writtenFrom[y], clearFrom[y]), to = std::max(writtenTo[y], clearTo[y]);
        if (from < to)
            colorPendingPixels(map, ColorBuffer.data() + static_cast<std::size_t>(y) * bufferWidth + from,
                               to - from, pendingAlpha, bestLookupLanes(), &white);
    }
    colorsCleared(first, end);
}

void fillPolygon(std::vector<Edge>& edges, int width, int height, const Scene& scene,
                 const Mesh& mesh)
{
    scanPolygon(edges.data(), static_cast<int>(edges.size()), width, height);
    std::vector<Edge>().swap(edges);
    resolveRows(SphereMap(scene, mesh), 0, bufferHeight);
}
