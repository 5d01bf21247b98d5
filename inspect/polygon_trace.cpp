#include "inspect/polygon_trace.h"

#include <cmath>
#include <utility>
#include <nlohmann/json.hpp>

#include "scene/torus.h"

void PolygonTraceObserver::polygon(int mesh, int polygon, const std::vector<Vertex>& corners)
{
    tracing = seen++ == trace.target;
    if (!tracing)
        return;
    trace.mesh = mesh;
    trace.polygon = polygon;
    trace.corners = corners;
}

void PolygonTraceObserver::edge(int from, int to, const Edge& edge, bool kept)
{
    if (!tracing)
        return;
    if (kept)
        keptEdges.push_back(static_cast<int>(trace.edges.size()));
    // Set-up may turn the side round so that it starts at its lower end; name its corners
    // in the order its values are given.
    const Vertex &start = trace.corners[std::size_t(from)], &end = trace.corners[std::size_t(to)];
    if (end.position.x == edge.x && end.position.y == edge.y &&
        !(start.position.x == edge.x && start.position.y == edge.y))
        std::swap(from, to);
    // (Under snap the edge starts at the snapped corner; its corners keep their order.)
    trace.edges.push_back(TraceEdge{from, to, edge, kept});
}

void PolygonTraceObserver::row(int y, const ActiveEdge* active, int count)
{
    if (!tracing)
        return;
    TraceRow row{y, {}, {}, {}};
    for (int i = 0; i < count; ++i) {
        row.activeEdges.push_back(keptEdges[static_cast<std::size_t>(active[i].index)]);
        row.activeX.push_back(active[i].x);
    }
    trace.rows.push_back(row);
}

void PolygonTraceObserver::primitive(int index, const RuleCorner* corners, int count)
{
    if (!tracing)
        return;
    trace.triangles.push_back(TraceTriangle{index, std::vector<RuleCorner>(corners, corners + count)});
    if (index >= 0)
        return;
    // What the clip left of the polygon: its sides are set up from these corners.
    trace.corners.clear();
    for (int k = 0; k < count; ++k) {
        Vertex v;
        v.position = Vec4{corners[k].x, corners[k].y, corners[k].depth, 1.0f};
        for (int i = 0; i < 3; ++i)
            v.normal[i] = corners[k].normal[i];
        trace.corners.push_back(v);
    }
}

void PolygonTraceObserver::span(int y, const ActiveEdge& left, const ActiveEdge& right, int xs, int xe)
{
    if (!tracing)
        return;
    if (left.index < 0) { // a triangle's run of centres: a row of its own
        TraceSpan run{-1, -1, left.x, right.x, xs, xe, 0, 0, {}};
        run.triangle = trace.triangles.empty() ? -1 : trace.triangles.back().index;
        trace.rows.push_back(TraceRow{y, {}, {}, {run}});
        return;
    }
    trace.rows.back().spans.push_back(TraceSpan{keptEdges[static_cast<std::size_t>(left.index)],
                                                keptEdges[static_cast<std::size_t>(right.index)],
                                                left.x, right.x, xs, xe, 0, 0, {}});
}

void PolygonTraceObserver::fragment(int x, int, float, float, bool passed, const float*)
{
    if (!tracing)
        return;
    TraceSpan& span = trace.rows.back().spans.back();
    ++(passed ? span.passed : span.failed);
    span.fragments.push_back(TraceFragment{x, passed});
}

std::string edgeVerdict(const TraceEdge& e)
{
    // The same tests, in the same order, as the frame driver's drop rule.
    if (std::isnan(e.edge.y) || std::isnan(e.edge.yEnd))
        return "its y is not a number";
    const float first = std::trunc(e.edge.y), end = std::trunc(e.edge.yEnd);
    if (first == end)
        return "starts and ends on row " + exactText(first);
    if (e.edge.yEnd <= 0.0f)
        return "ends at or below row 0";
    return "rows " + exactText(first) + " to " + exactText(end - 1.0f);
}

namespace {

std::string list(std::initializer_list<float> values)
{
    std::string text;
    for (float v : values)
        text += (text.empty() ? "" : ", ") + exactText(v);
    return text;
}

Json jsonList(std::initializer_list<float> values)
{
    Json j = Json::array();
    for (float v : values)
        j.push_back(exactJson(v));
    return j;
}

int totalOf(const PolygonTrace& trace, bool passed)
{
    int total = 0;
    for (const TraceRow& row : trace.rows)
        for (const TraceSpan& span : row.spans)
            total += passed ? span.passed : span.failed;
    return total;
}

} // namespace

std::string describeTrace(const PolygonTrace& t)
{
    std::string text = "polygon " + std::to_string(t.target) + " of the frame: mesh " +
                       std::to_string(t.mesh) + ", polygon " + std::to_string(t.polygon) + ", ring " +
                       std::to_string(t.polygon / torusSides) + ", side " +
                       std::to_string(t.polygon % torusSides) + "\n";
    text += "corners (window x, y, depth; normal):\n";
    for (std::size_t k = 0; k < t.corners.size(); ++k) {
        const Vertex& c = t.corners[k];
        text += "  " + std::to_string(k) + ": " + list({c.position.x, c.position.y, c.position.z}) +
                "; normal " + list({c.normal[0], c.normal[1], c.normal[2]}) + "\n";
    }
    text += "edges after set-up (start -> end as x, y, depth; change per row):\n";
    for (std::size_t k = 0; k < t.edges.size(); ++k) {
        const TraceEdge& e = t.edges[k];
        const Edge& d = e.edge;
        text += "  e" + std::to_string(k) + " corner " + std::to_string(e.from) + " -> " +
                std::to_string(e.to) + ": (" + list({d.x, d.y, d.z}) + ") -> (" +
                list({d.xEnd, d.yEnd, d.zEnd}) + "); dx " + exactText(d.dxdy) + ", dz " +
                exactText(d.dzdy) + ", normal (" + list({d.dNormalDy[0], d.dNormalDy[1], d.dNormalDy[2]}) +
                "); " + (e.kept ? "kept, " : "dropped: ") + edgeVerdict(e) + "\n";
    }
    for (const TraceTriangle& triangle : t.triangles) {
        text += triangle.index >= 0 ? "triangle " + std::to_string(triangle.index) + " (corners counterclockwise):\n"
                                    : std::string("cut by the clip, what is left:\n");
        for (const RuleCorner& c : triangle.corners)
            text += "  " + (c.corner >= 0 ? "corner " + std::to_string(c.corner) : std::string("cut point")) +
                    ": window " + list({c.x, c.y}) + ", depth " + exactText(c.depth) + ", 1/w " +
                    exactText(c.inverseW) + "\n";
    }
    text += t.triangles.empty() || t.triangles[0].index < 0
                ? "rows (active edges sorted by x and paired into spans):\n"
                : "rows (each triangle's run of covered centres):\n";
    for (const TraceRow& row : t.rows) {
        text += "  row " + std::to_string(row.y) + ":";
        if (!row.spans.empty() && row.spans[0].leftEdge < 0) {
            const TraceSpan& s = row.spans[0];
            text += " triangle " + std::to_string(s.triangle) + " columns [" + std::to_string(s.xs) + ", " +
                    std::to_string(s.xe) + "): " + std::to_string(s.passed) + " passed, " +
                    std::to_string(s.failed) + " failed\n";
            continue;
        }
        for (std::size_t i = 0; i < row.activeEdges.size(); ++i)
            text += std::string(i ? ", e" : " e") + std::to_string(row.activeEdges[i]) + " at " +
                    exactText(row.activeX[i]);
        if (row.activeEdges.empty())
            text += " no active edge";
        for (const TraceSpan& s : row.spans) {
            text += "; span e" + std::to_string(s.leftEdge) + "-e" + std::to_string(s.rightEdge) +
                    " columns [" + std::to_string(s.xs) + ", " + std::to_string(s.xe) + ")";
            text += s.xs < s.xe ? ": " + std::to_string(s.passed) + " passed, " +
                                      std::to_string(s.failed) + " failed"
                                : " empty";
        }
        text += "\n";
    }
    text += "depth test: " + std::to_string(totalOf(t, true)) + " passed, " +
            std::to_string(totalOf(t, false)) + " failed\n";
    return text;
}

Json traceJson(const PolygonTrace& t)
{
    Json corners = Json::array(), edges = Json::array(), rows = Json::array();
    for (const Vertex& c : t.corners)
        corners.push_back({{"position", jsonList({c.position.x, c.position.y, c.position.z})},
                           {"normal", jsonList({c.normal[0], c.normal[1], c.normal[2]})}});
    for (const TraceEdge& e : t.edges) {
        const Edge& d = e.edge;
        edges.push_back({{"from", e.from},
                         {"to", e.to},
                         {"start", jsonList({d.x, d.y, d.z})},
                         {"end", jsonList({d.xEnd, d.yEnd, d.zEnd})},
                         {"normal", jsonList({d.normal[0], d.normal[1], d.normal[2]})},
                         {"normal_end", jsonList({d.normalEnd[0], d.normalEnd[1], d.normalEnd[2]})},
                         {"dxdy", exactJson(d.dxdy)},
                         {"dzdy", exactJson(d.dzdy)},
                         {"dnormal_dy", jsonList({d.dNormalDy[0], d.dNormalDy[1], d.dNormalDy[2]})},
                         {"kept", e.kept},
                         {"why", edgeVerdict(e)}});
    }
    for (const TraceRow& row : t.rows) {
        Json active = Json::array(), spans = Json::array();
        for (std::size_t i = 0; i < row.activeEdges.size(); ++i)
            active.push_back({{"edge", row.activeEdges[i]}, {"x", exactJson(row.activeX[i])}});
        for (const TraceSpan& s : row.spans)
            spans.push_back({{"edges", {s.leftEdge, s.rightEdge}},
                             {"left", exactJson(s.left)},
                             {"right", exactJson(s.right)},
                             {"columns", {s.xs, s.xe}},
                             {"passed", s.passed},
                             {"failed", s.failed}});
        rows.push_back({{"y", row.y}, {"active", active}, {"spans", spans}});
    }
    Json triangles = Json::array();
    for (const TraceTriangle& triangle : t.triangles) {
        Json corners = Json::array();
        for (const RuleCorner& c : triangle.corners)
            corners.push_back({{"corner", c.corner},
                               {"window", jsonList({c.x, c.y})},
                               {"depth", exactJson(c.depth)},
                               {"inverse_w", exactJson(c.inverseW)}});
        triangles.push_back({{"index", triangle.index}, {"corners", corners}});
    }
    for (Json& row : rows)
        for (Json& span : row["spans"])
            if (span["edges"][0] == -1)
                span.erase("edges");
    for (std::size_t i = 0; i < t.rows.size(); ++i)
        if (!t.rows[i].spans.empty() && t.rows[i].spans[0].leftEdge < 0)
            rows[i]["triangle"] = t.rows[i].spans[0].triangle;
    Json trace = {{"frame_polygon", t.target},
                  {"mesh", t.mesh},
                  {"polygon", t.polygon},
                  {"ring", t.polygon / torusSides},
                  {"side", t.polygon % torusSides},
                  {"corners", corners},
                  {"edges", edges}};
    if (!t.triangles.empty()) // under rules only
        trace["triangles"] = triangles;
    trace["rows"] = rows;
    trace["passed"] = totalOf(t, true);
    trace["failed"] = totalOf(t, false);
    return trace;
}
