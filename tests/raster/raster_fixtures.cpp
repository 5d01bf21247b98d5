#include "raster_fixtures.h"

#include <cmath>

Vertex corner(float x, float y, float z, float nx, float ny, float nz)
{
    Vertex v;
    v.position = Vec4{x, y, z, 1.0f};
    v.normal[0] = nx;
    v.normal[1] = ny;
    v.normal[2] = nz;
    return v;
}

Edge edgeBetween(const Vertex& a, const Vertex& b)
{
    Edge edge;
    edge.setUp(a, b);
    return edge;
}

Texture distinctTexture()
{
    Texture texture;
    texture.width = texture.height = 256;
    texture.components = 3;
    texture.data.resize(textureBytes);
    for (int v = 0; v < 256; ++v)
        for (int u = 0; u < 256; ++u) {
            unsigned char* t = &texture.data[(v * 256 + u) * 3];
            t[0] = static_cast<unsigned char>(u);
            t[1] = static_cast<unsigned char>(v);
            t[2] = 7;
        }
    return texture;
}

int texelColumn(const Color4& color)
{
    return static_cast<int>(std::lround(color.r * 255));
}

int texelRow(const Color4& color)
{
    return static_cast<int>(std::lround(color.g * 255));
}
