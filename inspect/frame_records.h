#pragma once

#include <vector>

#include "raster/fill_observer.h"
#include "scene/scene.h"
#include "shade/sphere_map.h"

// Hands every call of the fill on to several observers, in the order they were added.
struct ObserverFan : FillObserver {
    std::vector<FillObserver*> observers;

    void polygon(int mesh, int polygon, const std::vector<Vertex>& corners) override;
    void edge(int from, int to, const Edge& edge, bool kept) override;
    void row(int y, const ActiveEdge* active, int count) override;
    void span(int y, const ActiveEdge& left, const ActiveEdge& right, int xs, int xe) override;
    void fragment(int x, int y, float depth, float stored, bool passed, const float* normal) override;
    void primitive(int index, const RuleCorner* corners, int count) override;
    void ruleFragment(const RuleFragment& fragment) override;
};

// Fragments tested per pixel (index y * width + x), for the overdraw view.
struct FragmentCounts : FillObserver {
    int width;
    std::vector<int> counts;
    long long total = 0;

    FragmentCounts(int width, int height);
    void fragment(int x, int y, float, float, bool, const float*) override;
};

// Per pixel, the polygon of the last fragment that passed the depth test there (the one
// whose colour the pixel keeps) and its interpolated normal; mesh -1 where none passed.
struct Winners : FillObserver {
    struct Winner {
        int mesh = -1;
        int polygon = -1;
        float normal[3] = {0.0f, 0.0f, 0.0f};
    };
    int width;
    std::vector<Winner> pixels;
    int currentMesh = -1, currentPolygon = -1;

    Winners(int width, int height);
    void polygon(int mesh, int polygon, const std::vector<Vertex>&) override;
    void fragment(int x, int y, float, float, bool passed, const float* normal) override;
};

// Pixels that are the first or the last covered column of some span: `visible` where
// such a fragment is the one the pixel shows in the end, `hidden` where every one of them
// failed the depth test or was drawn over.
struct SpanEnds : FillObserver {
    enum Mark : unsigned char { none, hidden, visible };
    int width;
    std::vector<Mark> marks;
    int spanFirst = 0, spanLast = -1;

    SpanEnds(int width, int height);
    void span(int y, const ActiveEdge&, const ActiveEdge&, int xs, int xe) override;
    void fragment(int x, int y, float, float, bool passed, const float*) override;
};

// Which texels the lookups of passing fragments read: the lookup is asked again for
// each such fragment, with the mesh it belongs to. Under texgen or the filter the frame
// says itself which texels it read: the nearest one, or the filter's four (not the border).
struct TexelsRead : FillObserver {
    const Scene& scene;
    RasterRules rules;
    std::vector<SphereMap> maps;           // one per mesh, in mesh order
    std::vector<unsigned char> read;       // per texel of the scene's texture, v * width + u
    int currentMesh = -1;

    explicit TexelsRead(const Scene& scene, RasterRules rules = RasterRules::none());
    void polygon(int mesh, int polygon, const std::vector<Vertex>&) override;
    void fragment(int, int, float, float, bool passed, const float* normal) override;
    void ruleFragment(const RuleFragment& fragment) override;
};
