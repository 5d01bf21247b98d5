#pragma once

#include "raster/fill_observer.h"
#include "raster/raster_rules.h"
#include "scene/scene.h"

struct FinishedRows;

// One frame under `rules`, into buffers made ready for this size (rows still due for
// clearing are cleared first): polygon by polygon, each through the rules' corners,
// primitives, coverage, interpolation and colour, with the strict depth test. With
// `onlyRow` at 0 or more, only that row is cleared and drawn; the polygons are walked to
// it as the whole frame walks them. A separate path from the program's own frame, whose
// speed it leaves alone; with no rule at all it draws that frame bit for bit.
void rasterizeUnderRules(const Scene& scene, int width, int height, RasterRules rules,
                         FillObserver* observer, FinishedRows* finished, int onlyRow = -1);
