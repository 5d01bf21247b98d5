#pragma once

#include "shade/texture_filter.h"

// Filters every pending pixel of pixels[0, count) in place, each exactly as filteredColor
// does at (s, t) = its (r, g), and leaves the others as they are. A pixel is pending when
// its alpha is `pending`. With the processor's fused multiply-add where it has one, with
// WebAssembly SIMD four pixels at a time.
void filterPendingPixels(const Texture& texture, Color4* pixels, int count, float pending);
