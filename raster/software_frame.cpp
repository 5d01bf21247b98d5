#include "raster/software_frame.h"

#include <vector>

#include "raster/edge.h"
#include "raster/fill_polygon.h"
#include "raster/frame_buffers.h"
#include "raster/projection.h"

void rasterizeScene(const Scene& scene, int width, int height, FillObserver* observer)
{
    if (pixelCount(width, height) == 0)
        return;
    // Scratch lists reused from polygon to polygon; each polygon starts with them empty.
    static std::vector<Vertex> corners;
    static std::vector<Edge> edges;
    for (std::size_t m = 0; m < scene.meshes.size(); ++m) {
        const Mesh& mesh = scene.meshes[m];
        for (std::size_t p = 0; p < mesh.polygons.size(); ++p) {
            const std::vector<Vertex>& vertices = mesh.polygons[p].vertices;
            const int count = static_cast<int>(vertices.size());
            // Each corner is projected once: the same arithmetic twice gives the same bits.
            corners.resize(vertices.size());
            projectCorners(scene, vertices.data(), count, width, height, corners.data());
            if (observer)
                observer->polygon(static_cast<int>(m), static_cast<int>(p), corners);
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
            scanPolygon(edges.data(), static_cast<int>(edges.size()), width, height, observer);
        }
        resolvePendingColors(scene, mesh);
    }
}

void renderSoftwareFrame(const Scene& scene, int width, int height)
{
    prepareBuffers(width, height);
    rasterizeScene(scene, width, height);
}
