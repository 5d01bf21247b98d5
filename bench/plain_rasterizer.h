#pragma once

#include <vector>

#include "scene/scene.h"

// A deliberately plain second rasterizer of the same arithmetic: both ends of every edge
// projected, fresh lists per polygon, a library sort, one lookup per passing fragment
// through Matrix4::transform, no bands. The benchmark runs it beside the pipeline to show
// what the pipeline's shortcuts save.
struct PlainFrame {
    std::vector<Color4> color;
    std::vector<float> depth;
};

PlainFrame plainFrame(const Scene& scene, int width, int height);
