#include "raster/software_frame.h"

#include <algorithm>
#include <vector>

#include "raster/edge.h"
#include "raster/fill_polygon.h"
#include "raster/frame_buffers.h"
#include "raster/projection.h"
#include "raster/rules_frame.h"

namespace {

// One polygon's corners projected (each once: the same arithmetic twice gives the same
// bits) and its sides set up as edges, those that cover no row dropped.
void setUpEdges(const Scene& scene, int m, int p, int width, int height,
                std::vector<Vertex>& corners, std::vector<Edge>& edges, FillObserver* observer)
{
    const std::vector<Vertex>& vertices = scene.meshes[m].polygons[p].vertices;
    const int count = static_cast<int>(vertices.size());
    corners.resize(vertices.size());
    projectCorners(scene, vertices.data(), count, width, height, corners.data());
    if (observer)
        observer->polygon(m, p, corners);
    edges.clear();
    for (int k = 0; k < count; ++k) {
        const int next = vertices[k].next;
        if (next < 0 || next >= count)
            continue; // a broken ring names no corner: that side does not exist
        Edge edge;
        edge.setUp(corners[next], corners[k]);
        const bool kept = !coversNoRow(edge);
        if (observer)
            observer->edge(next, k, edge, kept);
        if (kept)
            edges.push_back(edge);
    }
}

// Rows per band: a band's colour and depth (20 bytes a pixel) fit the second-level cache
// with room to spare, so that its clear, its fill and its lookups meet there.
int rowsPerBand(int width)
{
    constexpr long bandBytes = 384 * 1024;
    return static_cast<int>(std::max(1L, bandBytes / (20L * width)));
}

// Each band's polygons in drawing order, by counting: band b's are bandPolygons
// [bandFirst[b], bandFirst[b + 1]).
void sortIntoBands(const std::vector<PolygonFill>& polygons, int bandRows, int bands,
                   std::vector<int>& bandFirst, std::vector<int>& bandPolygons)
{
    static std::vector<int> placed;
    // The bands [first, end) that the rows [nextRow, lastRow] of polygon i touch.
    auto firstBand = [&](int i) { return polygons[i].nextRow / bandRows; };
    auto endBand = [&](int i) {
        const PolygonFill& p = polygons[i];
        return p.nextRow <= p.lastRow ? p.lastRow / bandRows + 1 : 0;
    };
    const int count = static_cast<int>(polygons.size());
    bandFirst.assign(bands + 1, 0);
    for (int i = 0; i < count; ++i)
        for (int b = firstBand(i); b < endBand(i); ++b)
            ++bandFirst[b + 1];
    for (int b = 0; b < bands; ++b)
        bandFirst[b + 1] += bandFirst[b];
    bandPolygons.resize(bandFirst[bands]);
    placed.assign(bandFirst.begin(), bandFirst.end() - 1);
    for (int i = 0; i < count; ++i)
        for (int b = firstBand(i); b < endBand(i); ++b)
            bandPolygons[placed[b]++] = i;
}

// Polygon by polygon, each filled whole before the next is set up: the order in which
// an observer wants to see a frame.
void observedFrame(const Scene& scene, int width, int height, FillObserver* observer)
{
    std::vector<Vertex> corners;
    std::vector<Edge> edges;
    clearRows(0, height);
    for (std::size_t m = 0; m < scene.meshes.size(); ++m) {
        const Mesh& mesh = scene.meshes[m];
        for (std::size_t p = 0; p < mesh.polygons.size(); ++p) {
            setUpEdges(scene, static_cast<int>(m), static_cast<int>(p), width, height, corners, edges,
                       observer);
            scanPolygon(edges.data(), static_cast<int>(edges.size()), width, height, observer);
        }
        resolveRows(SphereMap(scene, mesh), 0, height);
    }
}

// The frame's one row: each polygon set up as in the whole frame, its edges walked from
// its first row, and only row y filled; the rows below are neither cleared nor written.
void observedRow(const Scene& scene, int width, int height, int y, FillObserver* observer)
{
    std::vector<Vertex> corners;
    std::vector<Edge> edges;
    FillEdges fill;
    // Without an observer the fill would fill the rows below y as well, and leave them
    // unresolved: one that watches nothing makes it only walk them.
    FillObserver nothing;
    FillObserver* const walking = observer ? observer : &nothing;
    clearWholeRow(y);
    for (std::size_t m = 0; m < scene.meshes.size(); ++m) {
        const Mesh& mesh = scene.meshes[m];
        for (std::size_t p = 0; p < mesh.polygons.size(); ++p) {
            setUpEdges(scene, static_cast<int>(m), static_cast<int>(p), width, height, corners, edges,
                       observer);
            fill.clear();
            PolygonFill polygon = startFill(fill, edges.data(), static_cast<int>(edges.size()), width, height);
            if (polygon.nextRow <= y && y <= polygon.lastRow)
                fillRows(polygon, fill, y + 1, width, walking, y);
        }
        resolveRows(SphereMap(scene, mesh), y, y + 1);
    }
}

} // namespace

void rasterizeRow(const Scene& scene, int width, int height, int y, FillObserver* observer)
{
    // Only buffers of this size hold the row.
    if (pixelCount(width, height) == 0 || y < 0 || y >= height || width != bufferWidth || height != bufferHeight)
        return;
    observedRow(scene, width, height, y, observer);
}

void rasterizeScene(const Scene& scene, int width, int height, FillObserver* observer, FinishedRows* finished)
{
    if (pixelCount(width, height) == 0)
        return;
    if (observer) {
        observedFrame(scene, width, height, observer);
        if (finished)
            finished->rows(0, height);
        return;
    }
    // Every polygon of a mesh is set up first; then the frame is cleared, filled and
    // looked up one band of rows at a time, each band's polygons in drawing order. Each
    // pixel sees its fragments in the same order as polygon by polygon.
    static std::vector<Vertex> corners;
    static std::vector<Edge> edges;
    static FillEdges fill;
    static std::vector<PolygonFill> polygons;
    static std::vector<int> bandFirst, bandPolygons;
    const int bandRows = rowsPerBand(width);
    const int bands = (height + bandRows - 1) / bandRows;
    for (std::size_t m = 0; m < scene.meshes.size(); ++m) {
        const Mesh& mesh = scene.meshes[m];
        fill.clear();
        polygons.clear();
        for (std::size_t p = 0; p < mesh.polygons.size(); ++p) {
            setUpEdges(scene, static_cast<int>(m), static_cast<int>(p), width, height, corners, edges,
                       nullptr);
            polygons.push_back(startFill(fill, edges.data(), static_cast<int>(edges.size()), width, height));
        }
        sortIntoBands(polygons, bandRows, bands, bandFirst, bandPolygons);
        // With one mesh, the colour clear joins the lookup's pass over the band: the pixels
        // it finds not pending are those this frame did not draw, and they turn white.
        const bool oneMesh = scene.meshes.size() == 1;
        const SphereMap map(scene, mesh);
        for (int b = 0; b < bands; ++b) {
            const int first = b * bandRows, end = std::min(height, first + bandRows);
            if (oneMesh)
                clearDepthRows(first, end);
            else
                clearRows(first, end);
            for (int k = bandFirst[b]; k < bandFirst[b + 1]; ++k)
                fillRows(polygons[bandPolygons[k]], fill, end, width);
            if (oneMesh)
                resolveAndClearRows(map, first, end);
            else
                resolveRows(map, first, end);
            if (finished && m + 1 == scene.meshes.size())
                finished->rows(first, end);
        }
    }
    clearRows(0, height); // rows no band reached, as in a frame without meshes
    if (finished && scene.meshes.empty())
        finished->rows(0, height);
}

void renderSoftwareFrame(const Scene& scene, int width, int height)
{
    sizeBuffers(width, height);
    rasterizeScene(scene, width, height);
}

void rasterizeScene(const Scene& scene, int width, int height, RasterRules rules, FillObserver* observer,
                    FinishedRows* finished)
{
    if (rules.any())
        rasterizeUnderRules(scene, width, height, rules, observer, finished);
    else
        rasterizeScene(scene, width, height, observer, finished);
}

void rasterizeRow(const Scene& scene, int width, int height, int y, FillObserver* observer, RasterRules rules)
{
    if (!rules.any())
        rasterizeRow(scene, width, height, y, observer);
    else if (y >= 0)
        rasterizeUnderRules(scene, width, height, rules, observer, nullptr, y);
}

void renderSoftwareFrame(const Scene& scene, int width, int height, RasterRules rules)
{
    sizeBuffers(width, height);
    rasterizeScene(scene, width, height, rules);
}
