#pragma once

#include "raster/raster_rules.h"
#include "scene/scene.h"

// Which renderer draws the next frame: OpenGL's fixed-function pipeline (at start-up)
// or the software pipeline. `g` toggles it.
extern bool useOpenGL;

// The rules the software renderer follows: the program's own, unless a tool asks for
// rules taken from OpenGL (raster/raster_rules.h).
extern RasterRules frameRules;

// Shows the colour buffer: one GL_POINTS vertex per pixel, bottom row first, in the
// one-unit-per-pixel projection that display sets up.
void presentColorBuffer(int width, int height);

// One frame: buffers sized and cleared in both modes, then either renderOpenGL or the
// software pipeline and its presentation.
void renderFrame(Scene& scene, int width, int height);
