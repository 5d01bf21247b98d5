#pragma once

#include "scene/scene.h"

// Adds the torus point at (a, b) with its normal; a runs around the z axis, b around
// the tube. The caller sets currentU and currentV.
void addTorusVertex(Scene& scene, float a, float b);

// One mesh of rings x sides independent quadrilaterals.
void buildTorus(Scene& scene, int rings, int sides);
