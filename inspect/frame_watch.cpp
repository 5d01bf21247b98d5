#include "inspect/frame_watch.h"

#include "raster/frame_buffers.h"
#include "raster/rules_frame.h"

FrameWatch::FrameWatch(DebugView view, const int* historyPixel, int tracePolygon, int w, int h,
                       const Scene& scene, RasterRules rules)
    : rules(rules)
{
    if (view == DebugView::overdraw)
        fan.observers.push_back(&counts.emplace(w, h));
    if (view == DebugView::normals || view == DebugView::polygons)
        fan.observers.push_back(&winners.emplace(w, h));
    if (view == DebugView::edges)
        fan.observers.push_back(&spanEnds.emplace(w, h));
    if (view == DebugView::texels)
        fan.observers.push_back(&texels.emplace(scene, rules));
    if (historyPixel)
        fan.observers.push_back(&history.emplace(historyPixel[0], historyPixel[1], w, h, rules));
    if (tracePolygon >= 0)
        fan.observers.push_back(&trace.emplace(tracePolygon));
}

RgbImage viewImage(DebugView view, const FrameWatch& watch, const Scene& scene, int width,
                   int height, std::string& line)
{
    switch (view) {
    case DebugView::depth: {
        // As the depth file holds them: the device scale under every rule.
        const std::vector<float> depth = depthForFile(DepthBuffer.data(), pixelCount(width, height), watch.rules);
        line = describeDepth(depthRange(depth.data(), width, height));
        return depthView(depth.data(), width, height);
    }
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

void viewSize(DebugView view, const Scene& scene, int width, int height, int& pictureWidth, int& pictureHeight)
{
    const Texture* texture = scene.currentTexture;
    pictureWidth = view == DebugView::texels ? 2 * (texture ? texture->width : 256) : width;
    pictureHeight = view == DebugView::texels ? 2 * (texture ? texture->height : 256) : height;
}

RgbImage slideImage(DebugView view, const FrameWatch& watch, const Scene& scene, int width,
                    int height, const SlideWindow& window, std::string& line)
{
    RgbImage slide = slidePicture(viewImage(view, watch, scene, width, height, line), window);
    if (watch.trace && view != DebugView::texels) {
        drawTrace(slide, watch.trace->trace, window);
        if (window.grid) // again, over the trace's pixels
            drawGrid(slide, window);
    }
    if (view == DebugView::polygons && window.scale > 1)
        labelPolygons(slide, *watch.winners, window);
    if (view == DebugView::overdraw)
        return withKeyBelow(slide, overdrawKey(keyScale(slide.width)));
    if (view == DebugView::depth) {
        const std::vector<float> depth = depthForFile(DepthBuffer.data(), pixelCount(width, height), watch.rules);
        return withKeyBelow(slide, depthKey(depthRange(depth.data(), width, height), keyScale(slide.width)));
    }
    return slide;
}
