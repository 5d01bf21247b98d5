#pragma once

#include <array>
#include <cmath>

#include "scene/color4.h"
#include "scene/scene.h"

// Colour of byte b: b times the float nearest to 1/255.
constexpr float byteToUnit = 0.003921569f;

// Every byte's colour value, b * byteToUnit rounded to float, computed once.
inline constexpr std::array<float, 256> unitFromByte = [] {
    std::array<float, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] = static_cast<float>(b) * byteToUnit;
    return table;
}();

inline Color4 colorFromTexel(const unsigned char* texel)
{
    return Color4{unitFromByte[texel[0]], unitFromByte[texel[1]], unitFromByte[texel[2]], 1.0f};
}

// Pixels of a mesh without a texture: magenta, the usual "texture missing" colour, so
// that the gap cannot pass for a rendering.
constexpr Color4 missingTextureColor{1.0f, 0.0f, 1.0f, 1.0f};

// The lookup with its inputs gathered once per mesh, so that the per-pixel work is the
// normalisation, two rows of the model-view product and one texel read.
struct SphereMap {
    double row0[4];               // model-view rows 0 and 1; only eye x and y are used
    double row1[4];
    const unsigned char* texels;  // null for a mesh without a texture
    int width;
    int height;
    int components;

    SphereMap(const Scene& scene, const Mesh& mesh);

    // trunc((e * 0.5 + 0.5) * size) clamped to 0..size-1, in double; NaN lands on 0
    // without ever reaching an integer conversion.
    static int texelIndex(float e, int size)
    {
        const double t = (static_cast<double>(e) * 0.5 + 0.5) * size;
        if (!(t >= 1.0))
            return 0;
        if (t >= size)
            return size - 1;
        return static_cast<int>(t);
    }

    Color4 colorAt(float nx, float ny, float nz) const
    {
        if (!texels)
            return missingTextureColor;
        // Normalised in double, each component rounded to float; a zero or non-finite
        // normal becomes NaN here and reads texel (0, 0).
        const double dx = nx, dy = ny, dz = nz;
        const double s = 1.0 / std::sqrt(dx * dx + dy * dy + dz * dz);
        const double x = static_cast<float>(dx * s);
        const double y = static_cast<float>(dy * s);
        const double z = static_cast<float>(dz * s);
        // As Matrix4::transform computes them, w = 0 included.
        const float ex = static_cast<float>(row0[0] * x + row0[1] * y + row0[2] * z + row0[3] * 0.0);
        const float ey = static_cast<float>(row1[0] * x + row1[1] * y + row1[2] * z + row1[3] * 0.0);
        const int u = texelIndex(ex, width);
        const int v = texelIndex(ey, height);
        return colorFromTexel(texels + (static_cast<long>(v) * width + u) * components);
    }
};

// count lookups, out[k] = colorAt(nx[k], ny[k], nz[k]): the same IEEE operations in the
// same order, four lanes at a time where the processor has AVX2.
void colorsAt(const SphereMap& map, int count, const float* nx, const float* ny, const float* nz,
              Color4* out);

// Colour of a pixel from its interpolated object-space normal: the normal is turned
// into eye space by the model-view matrix and its x, y index the texture as a sphere map.
Color4 sphereMapLookup(const Scene& scene, float nx, float ny, float nz, const Mesh& mesh);
