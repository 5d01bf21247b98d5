#pragma once

#if defined(__wasm_simd128__)
#include <wasm_simd128.h>

#include "scene/color4.h"

// Four pixels' (r, g, b, a) as the four r, the four g, the four b and the four a, for the
// passes that colour pending pixels four at a time (the pending pixels hold what their
// colour is made from in r, g and b, and the pending mark in a).
inline void loadFourPixels(const Color4* pixels, v128_t& r, v128_t& g, v128_t& b, v128_t& a)
{
    const v128_t p0 = wasm_v128_load(&pixels[0]), p1 = wasm_v128_load(&pixels[1]);
    const v128_t p2 = wasm_v128_load(&pixels[2]), p3 = wasm_v128_load(&pixels[3]);
    const v128_t rg01 = wasm_i32x4_shuffle(p0, p1, 0, 4, 1, 5), rg23 = wasm_i32x4_shuffle(p2, p3, 0, 4, 1, 5);
    const v128_t ba01 = wasm_i32x4_shuffle(p0, p1, 2, 6, 3, 7), ba23 = wasm_i32x4_shuffle(p2, p3, 2, 6, 3, 7);
    r = wasm_i32x4_shuffle(rg01, rg23, 0, 1, 4, 5);
    g = wasm_i32x4_shuffle(rg01, rg23, 2, 3, 6, 7);
    b = wasm_i32x4_shuffle(ba01, ba23, 0, 1, 4, 5);
    a = wasm_i32x4_shuffle(ba01, ba23, 2, 3, 6, 7);
}
#endif
