#pragma once

#include "raster/fill_observer.h"
#include "raster/projection.h"
#include "raster/raster_rules.h"
#include "scene/scene.h"

// Projects, sets up and fills every polygon of every mesh into the buffers, which
// sizeBuffers (or prepareBuffers) has made ready for this size; rows still due for
// clearing are cleared first. No clipping: corners at or behind the
// eye (w <= 0) project to wherever the arithmetic puts them, and the row and column
// clamps of the fill keep every write inside the buffers. An observer sees every
// polygon, edge, row, span and fragment as they are drawn.
// `finished`, if given, is told each band of rows as soon as its colours are final.
struct FinishedRows;
void rasterizeScene(const Scene& scene, int width, int height, FillObserver* observer = nullptr,
                    FinishedRows* finished = nullptr);

// Told rows [first, end) of the frame once their colours are final, while they are still
// in the cache: the page turns them into its canvas's bytes there, in the same pass.
struct FinishedRows {
    virtual ~FinishedRows() = default;
    virtual void rows(int first, int end) = 0;
};

// The frame on row y alone, for an observer that looks only there (a pixel's history):
// the polygons whose rows cover y are walked up to it, and only row y is cleared, filled
// and looked up, as the whole frame does it. The other rows of the buffers keep what they
// hold; after a whole frame of the same view, row y comes out as that frame left it.
void rasterizeRow(const Scene& scene, int width, int height, int y, FillObserver* observer);

// One whole software frame without presentation: sizing, clearing, projection, fill.
void renderSoftwareFrame(const Scene& scene, int width, int height);

// The same three under `rules`: with none taken, the program's own frame above; with any,
// the rules' own path (raster/rules_frame.h), which leaves the plain frame's speed alone.
void rasterizeScene(const Scene& scene, int width, int height, RasterRules rules, FillObserver* observer = nullptr,
                    FinishedRows* finished = nullptr);
void rasterizeRow(const Scene& scene, int width, int height, int y, FillObserver* observer, RasterRules rules);
void renderSoftwareFrame(const Scene& scene, int width, int height, RasterRules rules);
