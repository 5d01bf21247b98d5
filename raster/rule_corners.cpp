#include "raster/rule_corners.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "shade/texture_filter.h"

CornerSetup::CornerSetup(const Scene& scene, int width, int height, RasterRules rules)
    : rules(rules), width(width), height(height), modelView(scene.modelView.current),
      projection(scene.projection.current)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            modelViewF[c * 4 + r] = static_cast<float>(modelView.m[r * 4 + c]);
            projectionF[c * 4 + r] = static_cast<float>(projection.m[r * 4 + c]);
        }
}

namespace {

// m (column by column) times v in float: per row the x term rounded, then y, z and w each
// added by a fused multiply-add.
template <typename Fma>
[[gnu::always_inline]] inline void transformInFloat(const float* m, const float v[4], float out[4], Fma fma)
{
    float r[4];
    for (int i = 0; i < 4; ++i) {
        float sum = m[i] * v[0];
        sum = fma(m[4 + i], v[1], sum);
        sum = fma(m[8 + i], v[2], sum);
        r[i] = fma(m[12 + i], v[3], sum);
    }
    for (int i = 0; i < 4; ++i)
        out[i] = r[i];
}

template <typename Fma>
[[gnu::always_inline]] inline void projectClippedWith(const CornerSetup& setup, RuleCorner& corner, Fma fma)
{
    const float* clip = corner.clip;
    if (setup.rules.has(Rule::floatVertex)) {
        // OpenGL's: the reciprocal of w in float, the viewport as a fused multiply-add by
        // half the size, the depth range 0..1 the same way.
        const float inverseW = 1.0f / clip[3];
        const float halfWidth = 0.5f * static_cast<float>(setup.width);
        const float halfHeight = 0.5f * static_cast<float>(setup.height);
        corner.x = fma(clip[0] * inverseW, halfWidth, halfWidth);
        corner.y = fma(clip[1] * inverseW, halfHeight, halfHeight);
        corner.depth = fma(clip[2] * inverseW, 0.5f, 0.5f);
        corner.inverseW = inverseW;
        return;
    }
    // The program's own, exactly as windowCorner computes it.
    const double inverseW = 1.0 / static_cast<double>(clip[3]);
    const float deviceX = static_cast<float>(clip[0] * inverseW);
    const float deviceY = static_cast<float>(clip[1] * inverseW);
    corner.depth = static_cast<float>(clip[2] * inverseW);
    corner.x = static_cast<float>(static_cast<double>(setup.width) * (deviceX + 1.0) * 0.5);
    corner.y = static_cast<float>(static_cast<double>(setup.height) * (deviceY + 1.0) * 0.5);
    corner.inverseW = static_cast<float>(inverseW);
}

template <typename Fma>
[[gnu::always_inline]] inline void cornersWith(const CornerSetup& setup, const Vertex* vertices, int count,
                                               RuleCorner* corners, SphereMapCoordinates* texgen, Fma fma)
{
    const bool inFloat = setup.rules.has(Rule::floatVertex);
    const bool sphereCoordinates = setup.rules.has(Rule::texgen);
    for (int k = 0; k < count; ++k) {
        const Vertex& vertex = vertices[k];
        RuleCorner& c = corners[k];
        float eye[4];
        if (inFloat) {
            const float p[4] = {vertex.position.x, vertex.position.y, vertex.position.z, vertex.position.w};
            transformInFloat(setup.modelViewF, p, eye, fma);
            transformInFloat(setup.projectionF, eye, c.clip, fma);
        } else {
            Vec4 e, clip;
            setup.modelView.transform(e, vertex.position);
            setup.projection.transform(clip, e);
            eye[0] = e.x, eye[1] = e.y, eye[2] = e.z, eye[3] = e.w;
            c.clip[0] = clip.x, c.clip[1] = clip.y, c.clip[2] = clip.z, c.clip[3] = clip.w;
        }
        projectClippedWith(setup, c, fma);
        for (int i = 0; i < 3; ++i)
            c.normal[i] = c.values[i] = vertex.normal[i];
        if (sphereCoordinates) {
            const SphereMapCoordinates sphere = inFloat ? sphereMapCoordinatesInFloat(setup.modelViewF, eye, vertex.normal, fma)
                                                   : sphereMapCoordinates(setup.modelView, eye, vertex.normal);
            c.values[0] = sphere.s;
            c.values[1] = sphere.t;
            c.values[2] = 0.0f;
            if (texgen)
                texgen[k] = sphere;
        }
        c.corner = k;
    }
}

// A corner's inputs, its position and normal, as bits: corners with the same key become
// the same rule corner but for the index of the polygon's corner it is.
struct CornerKey {
    std::uint32_t bits[7];
    bool operator==(const CornerKey&) const = default;
};

CornerKey keyOf(const Vertex& vertex)
{
    CornerKey key;
    const float values[7] = {vertex.position.x, vertex.position.y, vertex.position.z, vertex.position.w,
                             vertex.normal[0], vertex.normal[1], vertex.normal[2]};
    std::memcpy(key.bits, values, sizeof key.bits);
    return key;
}

struct CornerKeyHash {
    std::size_t operator()(const CornerKey& key) const
    {
        std::uint64_t h = 1469598103934665603u;
        for (std::uint32_t b : key.bits)
            h = (h ^ b) * 1099511628211u;
        return static_cast<std::size_t>(h ^ h >> 32);
    }
};

// The mesh's corners in order and, for each, the first one with the same inputs (itself
// if none came before): the torus's polygons share each corner with three neighbours.
// Kept from frame to frame, and found again whenever a corner's inputs differ from those
// it was found for.
struct SharedCorners {
    std::vector<CornerKey> keys;
    std::vector<int> first;

    void update(const Mesh& mesh)
    {
        std::size_t i = 0;
        bool same = true;
        for (const Polygon& polygon : mesh.polygons)
            for (const Vertex& vertex : polygon.vertices) {
                const CornerKey key = keyOf(vertex);
                if (i >= keys.size()) {
                    keys.push_back(key);
                    same = false;
                } else if (!(keys[i] == key)) {
                    keys[i] = key;
                    same = false;
                }
                ++i;
            }
        if (same && i == keys.size())
            return;
        keys.resize(i);
        first.resize(i);
        std::unordered_map<CornerKey, int, CornerKeyHash> seen;
        for (std::size_t k = 0; k < i; ++k)
            first[k] = seen.emplace(keys[k], static_cast<int>(k)).first->second;
    }
};

// Every corner of the mesh, each computed once for all the corners that share its inputs.
template <typename Fma>
[[gnu::always_inline]] inline void meshCornersWith(const CornerSetup& setup, const Mesh& mesh,
                                                   const SharedCorners& shared, RuleCorner* corners, Fma fma)
{
    int i = 0;
    for (const Polygon& polygon : mesh.polygons) {
        const int n = static_cast<int>(polygon.vertices.size());
        for (int k = 0; k < n; ++k, ++i) {
            const int first = shared.first[i];
            if (first == i)
                cornersWith(setup, &polygon.vertices[k], 1, &corners[i], nullptr, fma);
            else
                corners[i] = corners[first];
            corners[i].corner = k;
        }
    }
}

#if defined(__x86_64__)
[[gnu::target("fma")]] void meshCornersFma(const CornerSetup& setup, const Mesh& mesh, const SharedCorners& shared,
                                           RuleCorner* corners)
{
    meshCornersWith(setup, mesh, shared, corners, ProcessorFma{});
}
#endif

} // namespace

void projectClipped(const CornerSetup& setup, RuleCorner& corner)
{
    projectClippedWith(setup, corner, FusedMultiplyAdd{});
}

void makeRuleCorners(const CornerSetup& setup, const std::vector<Vertex>& vertices,
                     std::vector<RuleCorner>& corners, std::vector<SphereMapCoordinates>* texgen)
{
    corners.resize(vertices.size());
    if (texgen)
        texgen->resize(vertices.size());
    cornersWith(setup, vertices.data(), static_cast<int>(vertices.size()), corners.data(),
                texgen ? texgen->data() : nullptr, FusedMultiplyAdd{});
}

void makeMeshCorners(const CornerSetup& setup, const Mesh& mesh, std::vector<RuleCorner>& corners)
{
    static SharedCorners shared;
    shared.update(mesh);
    corners.resize(shared.keys.size());
#if defined(__x86_64__)
    static const bool hasFma = __builtin_cpu_supports("fma");
    if (hasFma && setup.rules.has(Rule::floatVertex)) {
        meshCornersFma(setup, mesh, shared, corners.data());
        return;
    }
#endif
    meshCornersWith(setup, mesh, shared, corners.data(), FusedMultiplyAdd{});
}

namespace {

// Signed distance of a corner inside the plane: z + w for the near plane, w - z for the far.
double inside(const RuleCorner& c, bool far)
{
    return far ? static_cast<double>(c.clip[3]) - c.clip[2] : static_cast<double>(c.clip[2]) + c.clip[3];
}

// The point where the side from `in` (inside) to `out` (outside) meets the plane: always
// measured from the inside corner, so that two polygons sharing the side meet at one point.
RuleCorner crossing(const CornerSetup& setup, const RuleCorner& in, const RuleCorner& out, bool far)
{
    const double dIn = inside(in, far), dOut = inside(out, far);
    const double t = dIn / (dIn - dOut);
    RuleCorner c = in;
    auto along = [t](float a, float b) { return static_cast<float>(a + t * (static_cast<double>(b) - a)); };
    for (int i = 0; i < 4; ++i)
        c.clip[i] = along(in.clip[i], out.clip[i]);
    for (int i = 0; i < 3; ++i) {
        c.values[i] = along(in.values[i], out.values[i]);
        c.normal[i] = along(in.normal[i], out.normal[i]);
    }
    c.corner = -1;
    projectClipped(setup, c);
    return c;
}

void clipBy(const CornerSetup& setup, const std::vector<RuleCorner>& in, std::vector<RuleCorner>& out, bool far)
{
    out.clear();
    const std::size_t n = in.size();
    for (std::size_t k = 0; k < n; ++k) {
        const RuleCorner& p = in[k];
        const RuleCorner& q = in[(k + 1) % n];
        const bool pIn = inside(p, far) >= 0.0, qIn = inside(q, far) >= 0.0;
        if (pIn)
            out.push_back(p);
        if (pIn != qIn)
            out.push_back(pIn ? crossing(setup, p, q, far) : crossing(setup, q, p, far));
    }
}

} // namespace

bool clipNearFar(const CornerSetup& setup, const std::vector<RuleCorner>& in, std::vector<RuleCorner>& out)
{
    bool cut = false;
    for (const RuleCorner& c : in)
        cut = cut || !(inside(c, false) >= 0.0) || !(inside(c, true) >= 0.0);
    if (!cut)
        return false;
    std::vector<RuleCorner> nearCut;
    clipBy(setup, in, nearCut, false);
    clipBy(setup, nearCut, out, true);
    return true;
}

float snapToGrid(float x)
{
    if (!std::isfinite(x))
        return x;
    return static_cast<float>(std::nearbyint(static_cast<double>(x) * 256.0) / 256.0);
}
