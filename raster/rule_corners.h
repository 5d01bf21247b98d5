#pragma once

#include <vector>

#include "raster/raster_rules.h"
#include "scene/scene.h"
#include "shade/sphere_map_coordinates.h"

// A polygon corner as a frame under rules makes it: where it lies in clip space and in
// the window, its depth, and the values the fill interpolates towards its colour.
struct RuleCorner {
    float clip[4];      // clip coordinates x, y, z, w
    float x, y;         // window position, before any snapping
    float depth;        // device z (-1..1); window z (0..1) under float-vertex
    float inverseW;     // 1 / w, for perspective correction
    float values[3];    // the model-space normal; under texgen s, t (and 0)
    float normal[3];    // the model-space normal, carried for observers under texgen
    int corner;         // the polygon's corner it is; -1 for one the clip made
};

// What every corner of a mesh's polygons needs, gathered once per frame.
struct CornerSetup {
    RasterRules rules;
    int width = 0, height = 0;
    Matrix4 modelView, projection;    // as the camera built them
    float modelViewF[16], projectionF[16]; // rounded to float, column by column, as
                                           // glLoadMatrixf receives them
    CornerSetup(const Scene& scene, int width, int height, RasterRules rules);
};

// The polygon's corners, in index order.
void makeRuleCorners(const CornerSetup& setup, const std::vector<Vertex>& vertices,
                     std::vector<RuleCorner>& corners, std::vector<SphereMapCoordinates>* texgen = nullptr);

// Every polygon's corners of the mesh, polygon after polygon, each as makeRuleCorners
// makes it.
void makeMeshCorners(const CornerSetup& setup, const Mesh& mesh, std::vector<RuleCorner>& corners);

// A corner's window position, depth and 1/w from its clip coordinates: the program's
// division in double, or under float-vertex OpenGL's in float.
void projectClipped(const CornerSetup& setup, RuleCorner& corner);

// Cuts the convex polygon `in` (corners in order around it) by the near plane
// (z >= -w) and then the far plane (z <= w). Returns false when no corner lies outside
// either, leaving `out` untouched; otherwise `out` is what is left, perhaps nothing.
bool clipNearFar(const CornerSetup& setup, const std::vector<RuleCorner>& in, std::vector<RuleCorner>& out);

// x on the grid of 1/256 pixel, ties to even; infinities and NaN as they are.
float snapToGrid(float x);
