#pragma once

#include "raster/edge.h"
#include "tests/support/test_texture.h"

// A window-space corner at (x, y, z) with normal (nx, ny, nz).
inline Vertex corner(float x, float y, float z, float nx = 0, float ny = 0, float nz = 1)
{
    Vertex v;
    v.position = Vec4{x, y, z, 1.0f};
    v.normal[0] = nx;
    v.normal[1] = ny;
    v.normal[2] = nz;
    return v;
}

inline Edge edgeBetween(const Vertex& a, const Vertex& b)
{
    Edge edge;
    edge.setUp(a, b);
    return edge;
}
