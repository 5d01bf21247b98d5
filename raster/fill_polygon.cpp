#include "raster/fill_polygon.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "raster/frame_buffers.h"
#include "texture/sphere_map.h"

// A pixel waiting for its colour holds its normal in r, g, b and this alpha; every
// finished colour has alpha 1.
constexpr float pendingAlpha = 0.0f;

// The entries [pendingFirst, pendingEnd) of ColorBuffer hold every pixel that waits for
// its colour; resolvePendingColors walks them in memory order.
static std::size_t pendingFirst = SIZE_MAX;
static std::size_t pendingEnd = 0;

// Fills columns trunc(L.x) .. trunc(R.x) - 1 of row y. Every value here is float: the
// depth step by division, the normal steps by the float reciprocal, and one addition
// per pixel for each.
static void scanSpan(const Edge& left, const Edge& right, int y, int width)
{
    const float dx = right.x - left.x;
    const float dz = (right.z - left.z) / dx;
    const float q = 1.0f / dx;
    float dn[3];
    for (int i = 0; i < 3; ++i)
        dn[i] = (right.normal[i] - left.normal[i]) * q;

    float z = left.z;
    float n[3] = {left.normal[0], left.normal[1], left.normal[2]};

    // Columns are found from the truncated x as a float, so that an x far outside the
    // int range is clipped by the same whole-pixel steps without an int conversion.
    const float widthF = static_cast<float>(width);
    const float xsF = std::trunc(left.x);
    int xs;
    if (xsF < 0.0f) {
        z -= xsF * dz;
        for (int i = 0; i < 3; ++i)
            n[i] -= xsF * dn[i];
        xs = 0;
    } else {
        xs = xsF < widthF ? static_cast<int>(xsF) : width; // NaN: empty span
    }
    const float xeF = std::trunc(right.x);
    const int xe = xeF > 0.0f ? (xeF < widthF ? static_cast<int>(xeF) : width) : 0;
    if (xs >= xe)
        return;

    const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    float* depth = DepthBuffer.data() + row;
    Color4* color = ColorBuffer.data() + row;
    pendingFirst = std::min(pendingFirst, row + xs);
    pendingEnd = std::max(pendingEnd, row + xe);
    for (int x = xs; x < xe; ++x) {
        if (z < depth[x]) {
            depth[x] = z;
            color[x] = Color4{n[0], n[1], n[2], pendingAlpha};
        }
        z += dz;
        n[0] += dn[0];
        n[1] += dn[1];
        n[2] += dn[2];
    }
}

// An edge of the active list with its last row + 1, truncated once on arrival.
struct ActiveEdge {
    Edge edge;
    int endRow;
};

// Insertion sort by x: the lists are a handful of edges, and unlike std::sort it stays
// safe when an x is NaN.
static void sortByX(std::vector<ActiveEdge>& active)
{
    for (std::size_t i = 1; i < active.size(); ++i) {
        if (!(active[i].edge.x < active[i - 1].edge.x))
            continue; // already in place: the usual case, and no copy of the record
        const ActiveEdge moving = active[i];
        std::size_t j = i;
        for (; j > 0 && moving.edge.x < active[j - 1].edge.x; --j)
            active[j] = active[j - 1];
        active[j] = moving;
    }
}

void scanPolygon(std::vector<Edge>& edges, int width, int height)
{
    // Kept between calls only to spare allocations per polygon; emptied every time.
    static std::vector<ActiveEdge> active;
    static std::vector<int> startRows;
    active.clear();
    startRows.clear();

    const std::size_t pixels = pixelCount(width, height);
    const bool fits = pixels > 0 && pixels <= DepthBuffer.size() && pixels <= ColorBuffer.size();
    int yFirst = 9999999, yLast = 0;
    for (const Edge& edge : edges) {
        startRows.push_back(truncateToInt(edge.y));
        yFirst = std::min(yFirst, startRows.back());
        yLast = std::max(yLast, truncateToInt(edge.yEnd));
    }
    yLast = std::min(yLast, height - 1);
    yFirst = std::max(yFirst, 0);

    for (int y = yFirst; fits && y <= yLast; ++y) {
        // An edge takes part in rows trunc(y) .. trunc(yEnd) - 1.
        for (ActiveEdge& a : active)
            a.edge.retired = a.endRow <= y;
        active.erase(std::remove_if(active.begin(), active.end(),
                                    [](const ActiveEdge& a) { return a.edge.retired; }),
                     active.end());
        for (ActiveEdge& a : active) {
            Edge& edge = a.edge;
            edge.x += edge.dxdy;
            edge.z += edge.dzdy;
            for (int i = 0; i < 3; ++i)
                edge.normal[i] += edge.dNormalDy[i];
        }
        // A new edge is not advanced on its first row: it stays at its set-up x.
        for (std::size_t k = 0; k < edges.size(); ++k)
            if (startRows[k] == y)
                active.push_back(ActiveEdge{edges[k], truncateToInt(edges[k].yEnd)});
        sortByX(active);
        for (std::size_t i = 0; i + 1 < active.size(); i += 2)
            scanSpan(active[i].edge, active[i + 1].edge, y, width);
    }

    edges.clear();
    active.clear();
}

void resolvePendingColors(const Scene& scene, const Mesh& mesh)
{
    const SphereMap map(scene, mesh);
    const std::size_t end = std::min(pendingEnd, ColorBuffer.size());
    // Pending pixels are gathered into batches for the many-lane lookup.
    constexpr int batchSize = 64;
    Color4* batch[batchSize];
    float nx[batchSize], ny[batchSize], nz[batchSize];
    Color4 colors[batchSize];
    int count = 0;
    auto flush = [&] {
        colorsAt(map, count, nx, ny, nz, colors);
        for (int k = 0; k < count; ++k)
            *batch[k] = colors[k];
        count = 0;
    };
    for (std::size_t i = pendingFirst; i < end; ++i) {
        Color4& pixel = ColorBuffer[i];
        if (pixel.a != pendingAlpha)
            continue;
        batch[count] = &pixel;
        nx[count] = pixel.r;
        ny[count] = pixel.g;
        nz[count] = pixel.b;
        if (++count == batchSize)
            flush();
    }
    flush();
    pendingFirst = SIZE_MAX;
    pendingEnd = 0;
}

void fillPolygon(std::vector<Edge>& edges, int width, int height, const Scene& scene,
                 const Mesh& mesh)
{
    scanPolygon(edges, width, height);
    resolvePendingColors(scene, mesh);
}
