#pragma once

#include "scene/scene.h"

// Adds the torus point at (a, b) with its normal; a runs around the z axis, b around
// the tube. The caller sets currentU and currentV.
void addTorusVertex(Scene& scene, float a, float b);

// The scene's torus: polygon ring * torusSides + side lies between rings ring and ring + 1
// and sides side and side + 1.
constexpr int torusRings = 48;
constexpr int torusSides = 48;

// One mesh of rings x sides independent quadrilaterals.
void buildTorus(Scene& scene, int rings, int sides);
