#pragma once

#include <optional>

#include "inspect/frame_records.h"
#include "inspect/debug_views.h"
#include "inspect/pixel_history.h"
#include "inspect/polygon_trace.h"

// The observers one run asks for, all fed by the same observed frame. Only what the
// options need is made: the per-pixel records cost memory in proportion to the frame.
struct FrameWatch {
    std::optional<FragmentCounts> counts;
    std::optional<Winners> winners;
    std::optional<SpanEnds> spanEnds;
    std::optional<TexelsRead> texels;
    std::optional<PixelHistoryObserver> history;
    std::optional<PolygonTraceObserver> trace;
    ObserverFan fan;

    // After the camera is set: the texel records take the scene's model-view as it is.
    // `historyPixel` is null for no history; `tracePolygon` -1 for no trace.
    // Under `rules` the history and the texels read follow them.
    FrameWatch(DebugView view, const int* historyPixel, int tracePolygon, int width,
               int height, const Scene& scene, RasterRules rules = RasterRules::none());
    RasterRules rules;
    FrameWatch(const FrameWatch&) = delete;
    FrameWatch& operator=(const FrameWatch&) = delete;

    // What rasterizeScene is given: null when nothing is watched, so the plain frame runs.
    FillObserver* observer() { return fan.observers.empty() ? nullptr : &fan; }
};

// The picture of `view`, from the buffers and the watch of the frame just drawn, at its
// own size; `line` gets what the view prints, if anything.
RgbImage viewImage(DebugView view, const FrameWatch& watch, const Scene& scene, int width,
                   int height, std::string& line);

// The width and height of that picture: the frame's, or the texels view's.
void viewSize(DebugView view, const Scene& scene, int width, int height, int& pictureWidth, int& pictureHeight);

// What -o writes: the view's picture through `window`, with what goes on it (polygon
// numbers, the traced polygon) and its key below.
RgbImage slideImage(DebugView view, const FrameWatch& watch, const Scene& scene, int width,
                    int height, const SlideWindow& window, std::string& line);
