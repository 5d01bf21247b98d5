#pragma once

#include <string>
#include <vector>

#include "raster/fill_observer.h"
#include "scene/scene.h"
#include "shade/sphere_map.h"
#include "inspect/exact_number.h"

// The lookup that coloured a passing fragment, as the pipeline's own lookup made it.
struct HistoryLookup {
    float unitNormal[3];
    float eyeX, eyeY;     // the eye-space normal's x and y, which choose the texel
    float eyeLength;      // sqrt(eyeX^2 + eyeY^2): 1 on the map's inscribed circle
    bool centreOutside;   // the texel's centre lies outside that circle
    int u, v;
    TexelClamp uClamp, vClamp; // whether u, v were held at the map's first or last texel
    bool textured;        // false: the mesh has no texture, and the colour says so
    unsigned char bytes[3];
    Color4 color;
};

// One fragment the fill tested at the pixel.
struct HistoryFragment {
    int mesh, polygon;
    float left, right;    // x of the span's left and right edge on this row
    int xs, xe;           // the span's columns [xs, xe), clamped to the frame
    float depth, stored;  // its depth and the depth stored before the test
    bool passed;
    float normal[3];      // interpolated, as the fill had it
    HistoryLookup lookup; // only for a fragment that passed
    // Under rules: the primitive that covered the pixel (a triangle of the polygon, or the
    // polygon cut by the clip) with its corners, and for a fragment that passed, its
    // weights and how its colour was found.
    bool underRules = false;
    int triangle = -1;    // -1: the polygon walked row by row
    std::vector<RuleCorner> corners;
    RuleFragment rule{};
};

// Everything that happened at one pixel of a frame, in drawing order.
struct PixelHistory {
    int x = 0, y = 0;         // window coordinates, row 0 at the bottom
    int width = 0, height = 0;
    RasterRules rules;        // the rules the frame was drawn under
    std::vector<HistoryFragment> fragments;
    float finalDepth = 1.0f;
    Color4 finalColor;
};

// Collects the history of pixel (x, y) while a frame is drawn.
struct PixelHistoryObserver : FillObserver {
    PixelHistory history;
    int currentMesh = -1, currentPolygon = -1;
    float spanLeft = 0.0f, spanRight = 0.0f;
    int spanStart = 0, spanEnd = 0;

    int currentTriangle = -1;
    std::vector<RuleCorner> currentCorners;

    PixelHistoryObserver(int x, int y, int width, int height, RasterRules rules = RasterRules::none());
    void polygon(int mesh, int polygon, const std::vector<Vertex>&) override;
    void span(int y, const ActiveEdge& left, const ActiveEdge& right, int xs, int xe) override;
    void fragment(int x, int y, float depth, float stored, bool passed, const float* normal) override;
    void primitive(int index, const RuleCorner* corners, int count) override;
    void ruleFragment(const RuleFragment& fragment) override;
};

// After the frame: the lookup of every passing fragment, through the scene's own lookup,
// and the pixel's final colour and depth from the frame buffers.
void completeHistory(PixelHistory& history, const Scene& scene);

// A table for people: one line per fragment, its lookup under it; then, under "why:",
// the reason in words.
std::string describeHistory(const PixelHistory& history);

// {"pixel", "size", "fragments": [...], "final", "reason": [sentences]}, every float exact.
Json historyJson(const PixelHistory& history);
