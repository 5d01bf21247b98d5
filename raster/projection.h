#pragma once

#include "scene/scene.h"

// Projects one scene vertex to a window-space corner: (window x, window y, device z, 1)
// with the model-space normal copied unchanged.
Vertex windowCorner(const Scene& scene, const Vertex& vertex, int width, int height);

// corners[k] = windowCorner(scene, vertices[k], width, height) for k < count, bit for
// bit; four corners at a time where the processor has AVX.
void projectCorners(const Scene& scene, const Vertex* vertices, int count, int width, int height,
                    Vertex* corners);
