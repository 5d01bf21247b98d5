#pragma once

#include <cmath>
#include <string>

#include "scene/scene.h"
#include "inspect/frame_records.h"
#include "inspect/polygon_trace.h"
#include "inspect/rgb_image.h"
#include "inspect/slide.h"

// What a picture of the frame shows: its colours, or one of the debug views.
enum class DebugView { color, depth, normals, overdraw, polygons, edges, texels };

// The views' names in the enum's order, as --view and the page name them.
inline constexpr const char* debugViewNames[] = {"color", "depth", "normals", "overdraw", "polygons", "edges", "texels"};
// Its view; false for any other text.
bool debugViewFromName(const std::string& name, DebugView& view);

// The debug views of one frame as pictures, top row first like every image file. The
// buffers and records are indexed y * width + x with row 0 at the bottom. --help says
// what each colour means.

// Grey from black at the nearest to white at the farthest drawn depth; steel blue where
// the depth is still the cleared 1.0 (no fragment ever passes at 1.0 or more).
RgbImage depthView(const float* depth, int width, int height);
// The finite depths other than the cleared 1.0.
struct DepthRange {
    float nearest = INFINITY, farthest = -INFINITY;
    long long drawn = 0;
};
DepthRange depthRange(const float* depth, int width, int height);
// "depth: nearest N (black), farthest F (white), over P drawn pixels; ..."
std::string describeDepth(const DepthRange& range);
// The ramp from nearest to farthest with both numbers, and the steel blue of nothing.
RgbImage depthKey(const DepthRange& range, int scale);

// The winning fragment's normal at unit length in eye space, each component from -1..1
// to 0..255; white where nothing was drawn.
RgbImage normalsView(const Scene& scene, const Winners& winners, int height);

// Fragments tested per pixel as a heat scale; its key is a picture of its own.
RgbImage overdrawView(const FragmentCounts& counts, int height);
RgbImage overdrawKey(int scale);
// "overdraw: T fragments tested, at most M at one pixel; pixels with 0: a, 1: b, 2: c, 3: d, more: e"
std::string describeOverdraw(const FragmentCounts& counts);

// The colour of a polygon in the polygons view: consecutive polygons and those of
// neighbouring rings differ in hue.
void polygonColor(int mesh, int polygon, unsigned char rgb[3]);
RgbImage polygonsView(const Winners& winners, int height);
// On a slide of the polygons view: each polygon's number where it fits on its own pixels.
void labelPolygons(RgbImage& slide, const Winners& winners, const SlideWindow& window);

// A traced polygon on a slide of the frame: each fragment's pixel green where it passed
// the depth test and orange where it failed, the edges as lines between their true ends
// (blue where kept, grey where dropped).
void drawTrace(RgbImage& slide, const PolygonTrace& trace, const SlideWindow& window);

// The colour image with every span's first and last covered column marked: red where
// that fragment is what the pixel shows, halfway to yellow where it is hidden.
RgbImage edgesView(const Color4* colors, const SpanEnds& ends, int height);

// The texture, each texel as 2x2 pixels and its top row up; texels the frame read at full
// strength, the rest at a quarter.
RgbImage texelsView(const Texture* texture, const TexelsRead& texels);
// "texels read: N of T (P%)"
std::string describeTexels(const TexelsRead& texels);
