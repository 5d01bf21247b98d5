#pragma once

#include <string>
#include <vector>

#include "raster/fill_observer.h"
#include "inspect/exact_number.h"

// One side of the traced polygon after set-up: from corner `from`, where set-up starts it
// (its lower end), to corner `to`; `kept` false when the frame driver dropped it.
struct TraceEdge {
    int from, to;
    Edge edge;
    bool kept;
};

struct TraceFragment {
    int x;
    bool passed;
};

// The span between two active edges (numbered as in the edge list) on one row.
struct TraceSpan {
    int leftEdge, rightEdge;        // -1 for a triangle's run of centres (the rule centres)
    float left, right;
    int xs, xe;
    int passed = 0, failed = 0;
    std::vector<TraceFragment> fragments;
    int triangle = -1;              // the triangle whose run it is
};

// Under rules: a triangle of the polygon (or, index -1, what the clip left of it) with its
// corners as the rules made them.
struct TraceTriangle {
    int index;
    std::vector<RuleCorner> corners;
};

struct TraceRow {
    int y;
    std::vector<int> activeEdges;   // sorted by x, as the fill paired them
    std::vector<float> activeX;
    std::vector<TraceSpan> spans;
};

struct PolygonTrace {
    int target = -1;                // polygon of the frame, in drawing order
    int mesh = -1, polygon = -1;    // -1 until the fill reaches it
    std::vector<Vertex> corners;    // window x, y, device depth; model-space normal
    std::vector<TraceEdge> edges;
    std::vector<TraceRow> rows;
    std::vector<TraceTriangle> triangles;
};

// Follows polygon `target` of a frame through set-up and fill.
struct PolygonTraceObserver : FillObserver {
    PolygonTrace trace;
    int seen = 0;
    bool tracing = false;
    std::vector<int> keptEdges;     // edge number of each entry of the fill's edge list

    explicit PolygonTraceObserver(int target) { trace.target = target; }
    void polygon(int mesh, int polygon, const std::vector<Vertex>& corners) override;
    void edge(int from, int to, const Edge& edge, bool kept) override;
    void row(int y, const ActiveEdge* active, int count) override;
    void span(int y, const ActiveEdge& left, const ActiveEdge& right, int xs, int xe) override;
    void fragment(int, int, float, float, bool passed, const float*) override;
    void primitive(int index, const RuleCorner* corners, int count) override;
};

// Why the frame driver kept or dropped an edge, in words: "rows 3 to 6",
// "starts and ends on row 10", "ends at or below row 0", "its y is not a number".
std::string edgeVerdict(const TraceEdge& edge);

std::string describeTrace(const PolygonTrace& trace);
Json traceJson(const PolygonTrace& trace);
