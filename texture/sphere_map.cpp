#include "texture/sphere_map.h"

#include <cmath>

// trunc((e * 0.5 + 0.5) * size) clamped to 0..size-1; NaN lands on 0 without ever
// reaching an integer conversion.
static int texelIndex(float e, int size)
{
    const double t = (static_cast<double>(e) * 0.5 + 0.5) * size;
    if (!(t >= 1.0))
        return 0;
    if (t >= size)
        return size - 1;
    return static_cast<int>(t);
}

Color4 sphereMapLookup(const Scene& scene, float nx, float ny, float nz, const Mesh& mesh)
{
    const Texture* texture = mesh.texture;
    if (!texture)
        return missingTextureColor;

    const double dx = nx, dy = ny, dz = nz;
    const double s = 1.0 / std::sqrt(dx * dx + dy * dy + dz * dz);
    const Vec4 n{static_cast<float>(dx * s), static_cast<float>(dy * s),
                 static_cast<float>(dz * s), 0.0f};
    // Only e.x and e.y are used; computed as transform() computes them.
    const double* m = scene.modelView.current.m;
    const double x = n.x, y = n.y, z = n.z;
    const float ex = static_cast<float>(m[0] * x + m[1] * y + m[2] * z + m[3] * 0.0);
    const float ey = static_cast<float>(m[4] * x + m[5] * y + m[6] * z + m[7] * 0.0);

    const int u = texelIndex(ex, texture->width);
    const int v = texelIndex(ey, texture->height);
    const unsigned char* texel =
        texture->data.data() + (static_cast<long>(v) * texture->width + u) * texture->components;
    return Color4{texel[0] * byteToUnit, texel[1] * byteToUnit, texel[2] * byteToUnit, 1.0f};
}
