#pragma once

#include <vector>

#include "raster/edge.h"
#include "raster/fill_observer.h"
#include "scene/scene.h"
#include "shade/sphere_map.h"

// A pixel whose colour is still to be looked up holds its interpolated normal in r, g, b
// and this alpha; every finished colour has alpha 1.
constexpr float pendingAlpha = 0.0f;

// Scan-converts one polygon from its edge list into DepthBuffer and ColorBuffer, which
// must have been prepared for width x height: row by row from the lowest row it touches,
// spans between pairs of edges sorted by x, a strict depth test, and a sphere-map colour
// for every pixel that passes. Empties the edge list. Rows and columns are clamped to
// the frame, whatever the edges hold.
void fillPolygon(std::vector<Edge>& edges, int width, int height, const Scene& scene,
                 const Mesh& mesh);

// The fill in steps. A pixel's colour depends only on the normal of the last fragment
// that passed the depth test there, so the fill stores that normal in the pixel (see
// pendingAlpha) and the colours are looked up once per pixel afterwards, for a run of
// polygons of one mesh: the same image, with the lookups of overdrawn fragments skipped.
// And a polygon's fill may stop after any row and go on later, so that a frame can be
// filled a band of rows at a time.

// The edges of the polygons being filled: each polygon's in list order (advanced in
// place once they join the active list), their start rows, the order in which they
// join, and the active list (positions of edges, sorted by x).
struct FillEdges {
    std::vector<ActiveEdge> edges;
    std::vector<int> startRow;
    std::vector<int> joinOrder;
    std::vector<int> active;
    int used = 0; // entries in use; the arrays only grow, to spare allocations
    void clear();
};

// Where one polygon's fill stands: its edges in FillEdges, the rows still to fill, the
// edges of the join order taken so far and the length of its active list.
struct PolygonFill {
    int firstEdge = 0, edgeCount = 0;
    int nextRow = 0, lastRow = -1;
    int joined = 0, live = 0;
};

// Adds a polygon's edge list to `fill`. A frame of another size than the buffers' gets
// no rows.
PolygonFill startFill(FillEdges& fill, const Edge* edges, int count, int width, int height);

// Fills the polygon's rows below endRow that are still to fill. With an observer, rows
// below fromRow are only walked (the edges advance, nothing is filled or shown).
void fillRows(PolygonFill& polygon, FillEdges& fill, int endRow, int width,
              FillObserver* observer = nullptr, int fromRow = 0);

// Every row of one polygon.
void scanPolygon(const Edge* edges, int count, int width, int height,
                 FillObserver* observer = nullptr);

// Looks up the pending pixels of rows [first, end).
void resolveRows(const SphereMap& map, int first, int end);

// resolveRows for the last mesh of a frame whose rows had only their depth cleared: in
// the same pass, every other pixel written this frame or due for clearing turns white.
void resolveAndClearRows(const SphereMap& map, int first, int end);
