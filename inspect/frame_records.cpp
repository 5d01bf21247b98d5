#include "inspect/frame_records.h"

void ObserverFan::polygon(int mesh, int polygon, const std::vector<Vertex>& corners)
{
    for (FillObserver* o : observers)
        o->polygon(mesh, polygon, corners);
}

void ObserverFan::edge(int from, int to, const Edge& edge, bool kept)
{
    for (FillObserver* o : observers)
        o->edge(from, to, edge, kept);
}

void ObserverFan::row(int y, const ActiveEdge* active, int count)
{
    for (FillObserver* o : observers)
        o->row(y, active, count);
}

void ObserverFan::span(int y, const ActiveEdge& left, const ActiveEdge& right, int xs, int xe)
{
    for (FillObserver* o : observers)
        o->span(y, left, right, xs, xe);
}

void ObserverFan::fragment(int x, int y, float depth, float stored, bool passed, const float* normal)
{
    for (FillObserver* o : observers)
        o->fragment(x, y, depth, stored, passed, normal);
}

void ObserverFan::primitive(int index, const RuleCorner* corners, int count)
{
    for (FillObserver* o : observers)
        o->primitive(index, corners, count);
}

void ObserverFan::ruleFragment(const RuleFragment& fragment)
{
    for (FillObserver* o : observers)
        o->ruleFragment(fragment);
}

static std::size_t pixelIndex(int x, int y, int width)
{
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
}

FragmentCounts::FragmentCounts(int width, int height)
    : width(width), counts(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
{
}

void FragmentCounts::fragment(int x, int y, float, float, bool, const float*)
{
    ++counts[pixelIndex(x, y, width)];
    ++total;
}

Winners::Winners(int width, int height)
    : width(width), pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
{
}

void Winners::polygon(int mesh, int polygon, const std::vector<Vertex>&)
{
    currentMesh = mesh;
    currentPolygon = polygon;
}

void Winners::fragment(int x, int y, float, float, bool passed, const float* normal)
{
    if (!passed)
        return;
    Winner& w = pixels[pixelIndex(x, y, width)];
    w.mesh = currentMesh;
    w.polygon = currentPolygon;
    for (int i = 0; i < 3; ++i)
        w.normal[i] = normal[i];
}

SpanEnds::SpanEnds(int width, int height)
    : width(width), marks(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
{
}

void SpanEnds::span(int, const ActiveEdge&, const ActiveEdge&, int xs, int xe)
{
    spanFirst = xs;
    spanLast = xe - 1;
}

void SpanEnds::fragment(int x, int y, float, float, bool passed, const float*)
{
    Mark& mark = marks[pixelIndex(x, y, width)];
    if (x == spanFirst || x == spanLast)
        mark = passed ? visible : mark == none ? hidden : mark;
    else if (passed && mark == visible)
        mark = hidden;
}

TexelsRead::TexelsRead(const Scene& scene, RasterRules rules) : scene(scene), rules(rules)
{
    for (const Mesh& mesh : scene.meshes)
        maps.emplace_back(scene, mesh);
    if (scene.currentTexture)
        read.resize(static_cast<std::size_t>(scene.currentTexture->width) * scene.currentTexture->height);
}

void TexelsRead::polygon(int mesh, int, const std::vector<Vertex>&)
{
    currentMesh = mesh;
}

void TexelsRead::fragment(int, int, float, float, bool passed, const float* normal)
{
    if (!passed || currentMesh < 0 || rules.has(Rule::texgen) || rules.has(Rule::filter))
        return;
    const SphereMap& map = maps[static_cast<std::size_t>(currentMesh)];
    // Only texels of the scene's one texture are counted; a mesh without it reads none.
    if (!scene.currentTexture || map.texels != scene.currentTexture->data.data())
        return;
    const SphereMapSteps steps = map.steps(normal[0], normal[1], normal[2]);
    read[static_cast<std::size_t>(steps.v) * map.width + steps.u] = 1;
}

void TexelsRead::ruleFragment(const RuleFragment& f)
{
    if (!(f.texgen || f.filter) || currentMesh < 0)
        return;
    const SphereMap& map = maps[static_cast<std::size_t>(currentMesh)];
    if (!scene.currentTexture || map.texels != scene.currentTexture->data.data())
        return;
    if (!f.filter) {
        read[static_cast<std::size_t>(f.v) * map.width + f.u] = 1;
        return;
    }
    for (int k = 0; k < 4; ++k)
        if (!f.filtered.border[k])
            read[static_cast<std::size_t>(f.filtered.j0 + (k >> 1)) * map.width + f.filtered.i0 + (k & 1)] = 1;
}
