#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "scene/color4.h"
#include "shade/sphere_map.h"
#include "texture/texture.h"

// The texture read at continuous coordinates s, t (0..1 across the image, t = 0 at its
// bottom row), as OpenGL reads it with the program's texture settings: GL_LINEAR between
// the four texels around the sample, GL_CLAMP at the edges (coordinates held to 0..1, and
// texels beyond the image taken from a black border), weights in float, each step a fused
// multiply-add. Measured on Mesa's llvmpipe, to the bit, over millions of samples.

// a * b + c with a single rounding to float, as a fused multiply-add gives it, on every
// platform alike. The product of two floats is exact in double; the sum is rounded to
// double and then to float, and those two roundings differ from one only when the double
// sum lies halfway between two floats (its low 29 bits a one and zeros): then the sum's
// own error (Knuth's two-sum) says on which side the exact value lies. (Results in float's
// subnormal range may be one step off; the filter never makes any.)
inline float fusedMultiplyAdd(float a, float b, float c)
{
    const double product = static_cast<double>(a) * static_cast<double>(b);
    const double sum = product + static_cast<double>(c);
    std::uint64_t bits;
    std::memcpy(&bits, &sum, sizeof bits);
    if ((bits & 0x1fffffffu) != 0x10000000u)
        return static_cast<float>(sum);
    const double sumOfC = sum - product;
    const double error = (product - (sum - sumOfC)) + (static_cast<double>(c) - sumOfC);
    if (error == 0.0 || error != error)
        return static_cast<float>(sum); // a true tie: ties to even, as one rounding does
    bits += (error > 0.0) == (sum > 0.0) ? 1 : -1;
    double nudged;
    std::memcpy(&nudged, &bits, sizeof nudged);
    return static_cast<float>(nudged);
}

// fusedMultiplyAdd as a value, so that the arithmetic below can be handed the processor's
// own instruction instead where there is one (the same bits).
struct FusedMultiplyAdd {
    float operator()(float a, float b, float c) const { return fusedMultiplyAdd(a, b, c); }
};

#if defined(__x86_64__)
// The processor's fused multiply-add, for code compiled for it ([[gnu::target("fma")]])
// and called only where the processor has one: the same bits as FusedMultiplyAdd.
struct ProcessorFma {
    [[gnu::target("fma")]] float operator()(float a, float b, float c) const { return __builtin_fmaf(a, b, c); }
};
#endif

// Every step of one filtered read, for the tools that show where a colour came from.
struct FilterSteps {
    float s, t;               // as given
    float u, v;               // the sample in texel units, s * width - 0.5 after the clamp
    int i0, j0;               // the lower left of the four texels; i0 + 1, j0 + 1 the others
    float ws, wt;             // weights of the texels at i0 + 1 and at j0 + 1
    unsigned char texels[4][3]; // (i0, j0), (i0 + 1, j0), (i0, j0 + 1), (i0 + 1, j0 + 1)
    bool border[4];           // that texel lies beyond the image: black
    float scaled[3];          // each channel's filtered value times 255, before rounding
    unsigned char bytes[3];   // the result, as the frame stores it
    Color4 color;
};

namespace filterDetail {

// Held to 0..1; NaN to 0.
inline float clampUnit(float x)
{
    return std::min(1.0f, x > 0.0f ? x : 0.0f);
}

// The whole number at or below x, for x within the int range.
inline int floorToInt(float x)
{
    const int i = static_cast<int>(x);
    return static_cast<float>(i) > x ? i - 1 : i;
}

// A channel 0..1 to its byte: times 255 in float, rounded to nearest, ties to even. (For
// a scaled value below 255, adding 0.5 is exact.)
inline unsigned char toByte(float value)
{
    const float scaled = value * 255.0f;
    if (!(scaled > 0.0f))
        return 0;
    if (scaled >= 255.0f)
        return 255;
    int rounded = static_cast<int>(scaled + 0.5f);
    if (static_cast<float>(rounded) - scaled == 0.5f && (rounded & 1))
        --rounded;
    return static_cast<unsigned char>(rounded);
}

} // namespace filterDetail

// The filtered read; `steps`, if given, gets every step of it. `fma` gives a * b + c
// rounded once.
template <typename Fma = FusedMultiplyAdd>
[[gnu::always_inline]] inline Color4 filteredColor(const Texture& texture, float s, float t,
                                                   FilterSteps* steps = nullptr, Fma fma = Fma{})
{
    using namespace filterDetail;
    const float u = clampUnit(s) * static_cast<float>(texture.width) - 0.5f;
    const float v = clampUnit(t) * static_cast<float>(texture.height) - 0.5f;
    const int i0 = floorToInt(u), j0 = floorToInt(v);
    const float ws = u - static_cast<float>(i0), wt = v - static_cast<float>(j0);
    static constexpr unsigned char black[3] = {0, 0, 0};
    const unsigned char* texels[4];
    const long stride = static_cast<long>(texture.width) * texture.components;
    if (i0 >= 0 && j0 >= 0 && i0 + 1 < texture.width && j0 + 1 < texture.height) {
        texels[0] = texture.data.data() + j0 * stride + static_cast<long>(i0) * texture.components;
        texels[1] = texels[0] + texture.components;
        texels[2] = texels[0] + stride;
        texels[3] = texels[2] + texture.components;
        if (steps)
            steps->border[0] = steps->border[1] = steps->border[2] = steps->border[3] = false;
    } else {
        for (int k = 0; k < 4; ++k) {
            const int i = i0 + (k & 1), j = j0 + (k >> 1);
            const bool border = i < 0 || i >= texture.width || j < 0 || j >= texture.height;
            texels[k] = border ? black : texture.data.data() + j * stride + static_cast<long>(i) * texture.components;
            if (steps)
                steps->border[k] = border;
        }
    }
    unsigned char bytes[3];
    // Along s on both rows, then along t between them: lerp(w, a, b) = fma(w, b - a, a).
    // (A loop, not a lambda: a lambda is a function of its own, compiled without the
    // caller's processor features, where the processor's fma would not be inlined.)
    for (int c = 0; c < 3; ++c) {
        const float t0 = unitFromByte[texels[0][c]], t1 = unitFromByte[texels[1][c]];
        const float t2 = unitFromByte[texels[2][c]], t3 = unitFromByte[texels[3][c]];
        const float below = fma(ws, t1 - t0, t0);
        const float above = fma(ws, t3 - t2, t2);
        const float value = fma(wt, above - below, below);
        bytes[c] = toByte(value);
        if (steps)
            steps->scaled[c] = value * 255.0f;
    }
    const Color4 color{unitFromByte[bytes[0]], unitFromByte[bytes[1]], unitFromByte[bytes[2]], 1.0f};
    if (steps) {
        steps->s = s, steps->t = t, steps->u = u, steps->v = v;
        steps->i0 = i0, steps->j0 = j0, steps->ws = ws, steps->wt = wt;
        for (int k = 0; k < 4; ++k)
            std::memcpy(steps->texels[k], texels[k], 3);
        std::memcpy(steps->bytes, bytes, 3);
        steps->color = color;
    }
    return color;
}

inline FilterSteps filterSteps(const Texture& texture, float s, float t)
{
    FilterSteps steps{};
    filteredColor(texture, s, t, &steps);
    return steps;
}

// Without the filter: the texel whose square holds (s, t), as GL_NEAREST with GL_CLAMP
// finds it: floor(s * width) held to 0..width - 1 (NaN to 0), the same for t.
inline int nearestTexelIndex(float coordinate, int size)
{
    const float scaled = filterDetail::clampUnit(coordinate) * static_cast<float>(size);
    const int index = static_cast<int>(scaled);
    return index < size ? index : size - 1;
}
