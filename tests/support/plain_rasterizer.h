#pragma once

#include <vector>

#include "scene/scene.h"

// A deliberately plain second rasterizer of the same arithmetic: both ends of every edge
// projected, fresh lists per polygon, a library sort, one lookup per passing fragment
// through Matrix4::transform. The tests compare the program's pipeline with it bit for
// bit, and the benchmark measures what the program's shortcuts save.
struct PlainFrame {
    std::vector<Color4> color;
    std::vector<float> depth;
};

PlainFrame plainFrame(const Scene& scene, int width, int height);
