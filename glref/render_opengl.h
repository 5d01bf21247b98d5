#pragma once

#include "scene/scene.h"

// Draws the scene through fixed-function OpenGL: first the report of every queued
// OpenGL error ("ERROR: 0x%x\n" on standard output), then the caption, the lights, each
// mesh's material and sphere-mapped texture, and its polygons in immediate mode.
void renderOpenGL(const Scene& scene, int width, int height);
