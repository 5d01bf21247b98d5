#pragma once

#include <vector>

#include "raster/edge.h"
#include "raster/rule_corners.h"
#include "scene/scene.h"
#include "shade/sphere_map.h"
#include "shade/texture_filter.h"

// An edge of the fill's active list: its values on the current row, their changes per
// row, the first row it no longer takes part in, and its place in the polygon's list.
struct ActiveEdge {
    float x, z, normal[3];
    float dxdy, dzdy, dNormalDy[3];
    int endRow;
    int index;
};

// What a frame under rules did for one fragment that passed the depth test: the
// primitive's weights at the pixel's centre and how its colour was found.
struct RuleFragment {
    int x = 0, y = 0;
    int triangle = -1;          // the polygon's triangle (from 0) that covered it; -1 when
                                // the polygon was walked row by row (no centres)
    double weights[3] = {0, 0, 0};      // of the triangle's corners, at the centre
    double corrected[3] = {0, 0, 0};    // the same corrected for perspective
    float depth = 0.0f;
    float values[3] = {0, 0, 0}; // interpolated: the normal, or under texgen s, t
    bool texgen = false, filter = false;
    float s = 0.0f, t = 0.0f;   // the texture coordinates the colour was read at
    SphereMapSteps lookup{};    // without texgen: the lookup of the interpolated normal
    FilterSteps filtered{};     // with the filter
    int u = 0, v = 0;           // texgen without the filter: the nearest texel
    Color4 color;
};

// Watches a frame as the software pipeline draws it: every call hands over the values the
// pipeline itself computed, so that a tool can show why a pixel is what it is without a
// second copy of the arithmetic. The plain frame runs without one, and the calls are
// compiled out of it. The defaults ignore everything.
struct FillObserver {
    virtual ~FillObserver() = default;
    // Mesh and polygon index (drawing order, from 0), and the polygon's corners in window
    // coordinates, as the frame driver projected them.
    virtual void polygon(int, int, const std::vector<Vertex>&) {}
    // The edge from corner `from` (the corner its `next` names) to corner `to`, after
    // set-up; `kept` is false for an edge that covers no row and is dropped.
    virtual void edge(int, int, const Edge&, bool) {}
    // Row y with its active edges, advanced and sorted by x.
    virtual void row(int, const ActiveEdge*, int) {}
    // The span between a pair of active edges on row y, columns [xs, xe); empty when
    // xs >= xe. Under the rule centres: a triangle's run of covered centres on row y, the
    // two edges standing for its ends (x = xs and xe, index -1).
    virtual void span(int, const ActiveEdge&, const ActiveEdge&, int, int) {}
    // One tested fragment: column, row, its depth, the depth stored before the test,
    // whether it passed, and its interpolated normal.
    virtual void fragment(int, int, float, float, bool, const float*) {}
    // Under rules other than the program's own, the primitive whose pixels follow: one of
    // the polygon's triangles (index from 0), or the polygon cut by the clip (index -1),
    // with its corners.
    virtual void primitive(int, const RuleCorner*, int) {}
    // Under rules, after `fragment` for one that passed: its arithmetic.
    virtual void ruleFragment(const RuleFragment&) {}
};
