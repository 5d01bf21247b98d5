#pragma once

#include <vector>

#include "raster/edge.h"
#include "scene/scene.h"

// An edge of the fill's active list: its values on the current row, their changes per
// row, the first row it no longer takes part in, and its place in the polygon's list.
struct ActiveEdge {
    float x, z, normal[3];
    float dxdy, dzdy, dNormalDy[3];
    int endRow;
    int index;
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
    // xs >= xe.
    virtual void span(int, const ActiveEdge&, const ActiveEdge&, int, int) {}
    // One tested fragment: column, row, its depth, the depth stored before the test,
    // whether it passed, and its interpolated normal.
    virtual void fragment(int, int, float, float, bool, const float*) {}
};
