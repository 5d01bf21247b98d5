#include "tests/support/test_texture.h"

#include <cmath>

Texture distinctTexture()
{
    Texture texture;
    texture.width = texture.height = textureSize;
    texture.components = textureComponents;
    texture.data.resize(textureBytes);
    for (int v = 0; v < textureSize; ++v)
        for (int u = 0; u < textureSize; ++u) {
            unsigned char* t = &texture.data[(v * textureSize + u) * 3];
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
