#include "shade/texture_filter.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "shade/sphere_map.h"

float fusedMultiplyAdd(float a, float b, float c)
{
    // The product of two floats is exact in double; the sum is rounded to double and then
    // to float. The two roundings can differ from one only when the double sum lies halfway
    // between two floats (its low 29 bits are 1 followed by zeros); then the sum's own error
    // (by Knuth's two-sum) tells on which side the exact value lies.
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

namespace {

// Held to 0..1; NaN to 0.
float clampUnit(float x)
{
    return x >= 1.0f ? 1.0f : (x > 0.0f ? x : 0.0f);
}

// The whole number at or below x, for x within the int range.
int floorToInt(float x)
{
    const int i = static_cast<int>(x);
    return static_cast<float>(i) > x ? i - 1 : i;
}

// OpenGL's linear interpolation from a towards b by w.
float lerp(float w, float a, float b)
{
    return fusedMultiplyAdd(w, b - a, a);
}

// A channel 0..1 to its byte: times 255 in float, rounded to nearest, ties to even.
unsigned char toByte(float value)
{
    const float scaled = value * 255.0f;
    if (!(scaled > 0.0f))
        return 0;
    if (scaled >= 255.0f)
        return 255;
    return static_cast<unsigned char>(std::nearbyint(scaled));
}

} // namespace

FilterSteps filterSteps(const Texture& texture, float s, float t)
{
    FilterSteps f{};
    f.s = s;
    f.t = t;
    f.u = clampUnit(s) * static_cast<float>(texture.width) - 0.5f;
    f.v = clampUnit(t) * static_cast<float>(texture.height) - 0.5f;
    f.i0 = floorToInt(f.u);
    f.j0 = floorToInt(f.v);
    f.ws = f.u - static_cast<float>(f.i0);
    f.wt = f.v - static_cast<float>(f.j0);
    float channels[4][3];
    for (int k = 0; k < 4; ++k) {
        const int i = f.i0 + (k & 1), j = f.j0 + (k >> 1);
        f.border[k] = i < 0 || i >= texture.width || j < 0 || j >= texture.height;
        const unsigned char* texel =
            f.border[k] ? nullptr
                        : texture.data.data() + (static_cast<long>(j) * texture.width + i) * texture.components;
        for (int c = 0; c < 3; ++c) {
            f.texels[k][c] = texel ? texel[c] : 0;
            channels[k][c] = unitFromByte[f.texels[k][c]];
        }
    }
    float out[3];
    for (int c = 0; c < 3; ++c) {
        // Along s on both rows, then along t between them.
        const float below = lerp(f.ws, channels[0][c], channels[1][c]);
        const float above = lerp(f.ws, channels[2][c], channels[3][c]);
        f.bytes[c] = toByte(lerp(f.wt, below, above));
        out[c] = unitFromByte[f.bytes[c]];
    }
    f.color = Color4{out[0], out[1], out[2], 1.0f};
    return f;
}

int nearestTexelIndex(float coordinate, int size)
{
    const float scaled = clampUnit(coordinate) * static_cast<float>(size);
    const int index = static_cast<int>(scaled);
    return index < size ? index : size - 1;
}
