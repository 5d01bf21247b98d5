#pragma once

#include <cstddef>
#include <vector>

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

// The depth a depth file holds for the buffer's: under float-vertex the buffer holds the
// window depth z (0..1), and the file 2z - 1 in float, the device scale of every other
// depth file (and of OpenGL's read back); otherwise the buffer as it stands.
std::vector<float> depthForFile(const float* depth, std::size_t count, RasterRules rules);
