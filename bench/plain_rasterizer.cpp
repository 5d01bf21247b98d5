#include "bench/plain_rasterizer.h"

#include <algorithm>
#include <cmath>

#include "raster/edge.h"

static Color4 plainLookup(const Scene& scene, float nx, float ny, float nz, const Mesh& mesh)
{
    const double s = 1.0 / std::sqrt(static_cast<double>(nx) * nx + static_cast<double>(ny) * ny +
                                     static_cast<double>(nz) * nz);
    const Vec4 n{static_cast<float>(nx * s), static_cast<float>(ny * s), static_cast<float>(nz * s), 0};
    Vec4 e;
    scene.modelView.current.transform(e, n);
    int u = static_cast<int>((e.x * 0.5 + 0.5) * mesh.texture->width);
    int v = static_cast<int>((e.y * 0.5 + 0.5) * mesh.texture->height);
    u = std::clamp(u, 0, mesh.texture->width - 1);
    v = std::clamp(v, 0, mesh.texture->height - 1);
    const unsigned char* t = &mesh.texture->data[(v * mesh.texture->width + u) * 3];
    const float k = 0.003921569f;
    return Color4{t[0] * k, t[1] * k, t[2] * k, 1.0f};
}

static Vertex plainProject(const Scene& scene, const Vertex& source, int width, int height)
{
    Vec4 a, b;
    scene.modelView.current.transform(a, source.position);
    scene.projection.current.transform(b, a);
    const double r = 1.0 / b.w;
    const float dx = static_cast<float>(b.x * r), dy = static_cast<float>(b.y * r),
                dz = static_cast<float>(b.z * r);
    Vertex w = source;
    w.position = Vec4{static_cast<float>(width * (dx + 1.0) * 0.5),
                      static_cast<float>(height * (dy + 1.0) * 0.5), dz, 1.0f};
    return w;
}

static void plainFill(PlainFrame& frame, std::vector<Edge> edges, int width, int height, const Scene& scene,
               const Mesh& mesh)
{
    int yFirst = 9999999, yLast = 0;
    for (const Edge& e : edges) {
        yFirst = std::min(yFirst, static_cast<int>(e.y));
        yLast = std::max(yLast, static_cast<int>(e.yEnd));
    }
    yLast = std::min(yLast, height - 1);
    yFirst = std::max(yFirst, 0);
    std::vector<Edge> active;
    for (int y = yFirst; y <= yLast; ++y) {
        std::vector<Edge> kept;
        for (const Edge& e : active)
            if (static_cast<int>(e.yEnd) > y)
                kept.push_back(e);
        active = kept;
        for (Edge& e : active) {
            e.x += e.dxdy;
            e.z += e.dzdy;
            for (int i = 0; i < 3; ++i)
                e.normal[i] += e.dNormalDy[i];
        }
        for (const Edge& e : edges)
            if (static_cast<int>(e.y) == y)
                active.push_back(e);
        std::stable_sort(active.begin(), active.end(), [](const Edge& a, const Edge& b) { return a.x < b.x; });
        for (std::size_t i = 0; i + 1 < active.size(); i += 2) {
            const Edge& L = active[i];
            const Edge& R = active[i + 1];
            const float dx = R.x - L.x;
            const float dz = (R.z - L.z) / dx;
            const float q = 1.0f / dx;
            float dn[3], n[3];
            for (int k = 0; k < 3; ++k) {
                dn[k] = (R.normal[k] - L.normal[k]) * q;
                n[k] = L.normal[k];
            }
            float z = L.z;
            int xs = static_cast<int>(L.x), xe = static_cast<int>(R.x);
            if (xs < 0) {
                z -= xs * dz;
                for (int k = 0; k < 3; ++k)
                    n[k] -= xs * dn[k];
                xs = 0;
            }
            xs = std::min(xs, width);
            xe = std::min(std::max(xe, 0), width);
            for (int x = xs; x < xe; ++x) {
                const int index = y * width + x;
                if (z < frame.depth[index]) {
                    frame.depth[index] = z;
                    frame.color[index] = plainLookup(scene, n[0], n[1], n[2], mesh);
                }
                z += dz;
                for (int k = 0; k < 3; ++k)
                    n[k] += dn[k];
            }
        }
    }
}

PlainFrame plainFrame(const Scene& scene, int width, int height)
{
    PlainFrame frame;
    frame.color.assign(width * height, Color4{1, 1, 1, 1});
    frame.depth.assign(width * height, 1.0f);
    for (const Mesh& mesh : scene.meshes)
        for (const Polygon& polygon : mesh.polygons) {
            std::vector<Edge> edges;
            for (const Vertex& c : polygon.vertices) {
                const Vertex& n = polygon.vertices[c.next];
                Edge e;
                e.setUp(plainProject(scene, n, width, height), plainProject(scene, c, width, height));
                if (static_cast<int>(e.yEnd) == static_cast<int>(e.y) || e.yEnd <= 0.0f)
                    continue;
                edges.push_back(e);
            }
            plainFill(frame, edges, width, height, scene, mesh);
        }
    return frame;
}
