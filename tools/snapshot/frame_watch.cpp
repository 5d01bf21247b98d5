#include "tools/snapshot/frame_watch.h"

#include "raster/frame_buffers.h"
#include "tools/snapshot/debug_views.h"

FrameWatch::FrameWatch(const SnapshotOptions& o, const Scene& scene)
{
    const int w = o.width, h = o.height;
    if (o.view == DebugView::overdraw)
        fan.observers.push_back(&counts.emplace(w, h));
    if (o.view == DebugView::normals || o.view == DebugView::polygons)
        fan.observers.push_back(&winners.emplace(w, h));
    if (o.view == DebugView::edges)
        fan.observers.push_back(&spanEnds.emplace(w, h));
    if (o.view == DebugView::texels)
        fan.observers.push_back(&texels.emplace(scene));
    if (o.history)
        fan.observers.push_back(&history.emplace(o.historyX, o.historyY, w, h));
    if (o.tracePolygon >= 0)
        fan.observers.push_back(&trace.emplace(o.tracePolygon));
}

RgbImage viewImage(DebugView view, const FrameWatch& watch, const Scene& scene, int width,
                   int height, std::string& line)
{
    switch (view) {
    case DebugView::depth:
        return depthView(DepthBuffer.data(), width, height);
    case DebugView::normals:
        return normalsView(scene, *watch.winners, height);
    case DebugView::overdraw:
        line = describeOverdraw(*watch.counts);
        return overdrawView(*watch.counts, height);
    case DebugView::polygons:
        return polygonsView(*watch.winners, height);
    case DebugView::edges:
        return edgesView(ColorBuffer.data(), *watch.spanEnds, height);
    case DebugView::texels:
        line = describeTexels(*watch.texels);
        return texelsView(scene.currentTexture, *watch.texels);
    case DebugView::color:
        break;
    }
    return imageFromColors(ColorBuffer.data(), width, height);
}
