#pragma once

#include <vector>

#include "raster/edge.h"
#include "scene/scene.h"

// A window-space corner at (x, y, z) with normal (nx, ny, nz).
Vertex corner(float x, float y, float z, float nx = 0, float ny = 0, float nz = 1);

Edge edgeBetween(const Vertex& a, const Vertex& b);

// A texture whose texel (u, v) holds the bytes (u, v, 7), so a colour names its texel.
Texture distinctTexture();

// Column and row of the texel a colour was read from.
int texelColumn(const Color4& color);
int texelRow(const Color4& color);
