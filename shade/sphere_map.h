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

// How a texel index was found: inside the map, held at the first texel (an eye-space
// component below -1), held at the last (1 or more), or 0 for a NaN.
enum class TexelClamp : unsigned char { none, first, last, notANumber };

// Every step of one lookup, for tools that show where a colour came from.
struct SphereMapSteps {
    float unit[3];      // the normal at unit length, each component rounded to float
    float eyeX, eyeY;   // its eye-space x and y
    int u, v;           // the texel's column and row
    TexelClamp uClamp, vClamp;
    const unsigned char* texel; // its three bytes; null for a mesh without a texture
    Color4 color;
};

// The lookup with its inputs gathered once per mesh, so that the per-pixel work is the
// normalisation, two rows of the model-view product and one texel read.
struct SphereMap {
    double row0[4];               // model-view rows 0 and 1; only eye x and y are used
    double row1[4];
    const unsigned char* texels;  // null for a mesh without a texture
    int width;
    int height;
    int components;
    // The float estimate that decides most texels without the square root and division
    // (its precision budget is in sphere_map.cpp): the rows in float and the distance
    // from a texel boundary beyond which the estimate is certain, on the texel scale.
    bool estimateApplies;
    float estimateRow0[3], estimateRow1[3];
    float estimateMargin;

    SphereMap(const Scene& scene, const Mesh& mesh);

    // trunc((e * 0.5 + 0.5) * size) clamped to 0..size-1, in double; NaN lands on 0
    // without ever reaching an integer conversion. `clamp` says which way it went, for the
    // pixel history; the plain frame drops it.
    static int texelIndex(float e, int size, TexelClamp& clamp)
    {
        const double t = (static_cast<double>(e) * 0.5 + 0.5) * size;
        clamp = TexelClamp::none;
        if (!(t >= 1.0)) {
            if (t < 0.0)
                clamp = TexelClamp::first;
            else if (t != t)
                clamp = TexelClamp::notANumber;
            return 0;
        }
        if (t >= size) {
            clamp = TexelClamp::last;
            return size - 1;
        }
        return static_cast<int>(t);
    }

    SphereMapSteps steps(float nx, float ny, float nz) const
    {
        SphereMapSteps s{};
        // Normalised in double, each component rounded to float; a zero or non-finite
        // normal becomes NaN here and reads texel (0, 0).
        const double dx = nx, dy = ny, dz = nz;
        const double scale = 1.0 / std::sqrt(dx * dx + dy * dy + dz * dz);
        s.unit[0] = static_cast<float>(dx * scale);
        s.unit[1] = static_cast<float>(dy * scale);
        s.unit[2] = static_cast<float>(dz * scale);
        const double x = s.unit[0], y = s.unit[1], z = s.unit[2];
        // As Matrix4::transform computes them, w = 0 included.
        s.eyeX = static_cast<float>(row0[0] * x + row0[1] * y + row0[2] * z + row0[3] * 0.0);
        s.eyeY = static_cast<float>(row1[0] * x + row1[1] * y + row1[2] * z + row1[3] * 0.0);
        if (!texels) {
            s.color = missingTextureColor;
            return s;
        }
        s.u = texelIndex(s.eyeX, width, s.uClamp);
        s.v = texelIndex(s.eyeY, height, s.vClamp);
        s.texel = texels + (static_cast<long>(s.v) * width + s.u) * components;
        s.color = colorFromTexel(s.texel);
        return s;
    }

    Color4 colorAt(float nx, float ny, float nz) const { return steps(nx, ny, nz).color; }
};

// Which lanes the lookups may use: the best the processor has, or fewer. simd128 is
// WebAssembly's, in the module built with it.
enum class LookupLanes { one, avx2, avx512, simd128 };
LookupLanes bestLookupLanes();

// count lookups, *out[k] = colorAt(nx[k], ny[k], nz[k]): the same IEEE operations in the
// same order, four lanes at a time where the processor has AVX2.
void colorsAt(const SphereMap& map, int count, const float* nx, const float* ny, const float* nz,
              Color4* const* out, LookupLanes lanes = bestLookupLanes());

// Looks up every pending pixel of the run pixels[0, count) in place, each exactly as
// colorAt would, and leaves the others as they are, or with `others` set makes them
// that colour. A pixel is pending when its alpha is `pending` (a value no finished
// colour has; every looked-up colour has alpha 1): its r, g, b hold the normal. With AVX-512, sixteen at a time through the float estimate, with
// WebAssembly SIMD four at a time through the same estimate; otherwise in batches
// through colorsAt.
void colorPendingPixels(const SphereMap& map, Color4* pixels, int count, float pending,
                        LookupLanes lanes = bestLookupLanes(), const Color4* others = nullptr);

// Colour of a pixel from its interpolated object-space normal: the normal is turned
// into eye space by the model-view matrix and its x, y index the texture as a sphere map.
Color4 sphereMapLookup(const Scene& scene, float nx, float ny, float nz, const Mesh& mesh);
