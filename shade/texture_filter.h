#pragma once

#include "scene/color4.h"
#include "texture/texture.h"

// The texture read at continuous coordinates s, t (0..1 across the image, t = 0 at its
// bottom row), as OpenGL reads it with the program's texture settings: GL_LINEAR between
// the four texels around the sample, GL_CLAMP at the edges (coordinates held to 0..1, and
// texels beyond the image taken from a black border), weights in float, each step a fused
// multiply-add. Measured on Mesa's llvmpipe, to the bit, over millions of samples.

// a * b + c with a single rounding to float, as a fused multiply-add gives it, on every
// platform alike. (Results in float's subnormal range may be off by one step; the filter
// never makes any.)
float fusedMultiplyAdd(float a, float b, float c);

// Every step of one filtered read, for the tools that show where a colour came from.
struct FilterSteps {
    float s, t;               // as given
    float u, v;               // the sample in texel units, s * width - 0.5 after the clamp
    int i0, j0;               // the lower left of the four texels; i0 + 1, j0 + 1 the others
    float ws, wt;             // weights of the texels at i0 + 1 and at j0 + 1
    unsigned char texels[4][3]; // (i0, j0), (i0 + 1, j0), (i0, j0 + 1), (i0 + 1, j0 + 1)
    bool border[4];           // that texel lies beyond the image: black
    unsigned char bytes[3];   // the result, as the frame stores it
    Color4 color;
};

FilterSteps filterSteps(const Texture& texture, float s, float t);

inline Color4 filteredColor(const Texture& texture, float s, float t)
{
    return filterSteps(texture, s, t).color;
}

// Without the filter: the texel whose square holds (s, t), as GL_NEAREST with GL_CLAMP
// finds it: floor(s * width) held to 0..width - 1 (NaN to 0), the same for t.
int nearestTexelIndex(float coordinate, int size);
