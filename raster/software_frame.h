#pragma once

#include "raster/fill_observer.h"
#include "raster/projection.h"
#include "scene/scene.h"

// Projects, sets up and fills every polygon of every mesh into the buffers, which
// sizeBuffers (or prepareBuffers) has made ready for this size; rows still due for
// clearing are cleared first. No clipping: corners at or behind the
// eye (w <= 0) project to wherever the arithmetic puts them, and the row and column
// clamps of the fill keep every write inside the buffers. An observer sees every
// polygon, edge, row, span and fragment as they are drawn.
void rasterizeScene(const Scene& scene, int width, int height, FillObserver* observer = nullptr);

// One whole software frame without presentation: sizing, clearing, projection, fill.
void renderSoftwareFrame(const Scene& scene, int width, int height);
