#include "shade/filter_pending.h"

#if defined(__wasm_simd128__)
#include "shade/four_pixels.h"
#endif

namespace {

template <typename Fma>
[[gnu::always_inline]] inline void filterRun(const Texture& texture, Color4* pixels, int count, float pending,
                                             Fma fma)
{
    for (int k = 0; k < count; ++k)
        if (pixels[k].a == pending)
            pixels[k] = filteredColor(texture, pixels[k].r, pixels[k].g, nullptr, fma);
}

#if defined(__x86_64__)
[[gnu::target("fma")]] void filterRunFma(const Texture& texture, Color4* pixels, int count, float pending)
{
    filterRun(texture, pixels, count, pending, ProcessorFma{});
}
#endif

#if defined(__wasm_simd128__)
// WebAssembly has no fused multiply-add: fusedMultiplyAdd's arithmetic in two halves of
// doubles, a given as its halves widened. False when a lane's double sum lies halfway
// between two floats, where only the sum's own error decides; the caller then takes the
// scalar path for the four pixels.
inline bool fusedMultiplyAdd4(v128_t aLow, v128_t aHigh, v128_t b, v128_t c, v128_t& out)
{
    const v128_t bHigh = wasm_i32x4_shuffle(b, b, 2, 3, 0, 1), cHigh = wasm_i32x4_shuffle(c, c, 2, 3, 0, 1);
    const v128_t low = wasm_f64x2_add(wasm_f64x2_mul(aLow, wasm_f64x2_promote_low_f32x4(b)),
                                      wasm_f64x2_promote_low_f32x4(c));
    const v128_t high = wasm_f64x2_add(wasm_f64x2_mul(aHigh, wasm_f64x2_promote_low_f32x4(bHigh)),
                                       wasm_f64x2_promote_low_f32x4(cHigh));
    const v128_t tieMask = wasm_i64x2_splat(0x1fffffff), tie = wasm_i64x2_splat(0x10000000);
    const v128_t ties = wasm_v128_or(wasm_i64x2_eq(wasm_v128_and(low, tieMask), tie),
                                     wasm_i64x2_eq(wasm_v128_and(high, tieMask), tie));
    out = wasm_i32x4_shuffle(wasm_f32x4_demote_f64x2_zero(low), wasm_f32x4_demote_f64x2_zero(high), 0, 1, 4, 5);
    return !wasm_v128_any_true(ties);
}

// filterDetail::toByte of four lanes, as bytes in 32-bit lanes.
inline v128_t toByte4(v128_t value)
{
    const v128_t scaled = wasm_f32x4_mul(value, wasm_f32x4_splat(255.0f));
    v128_t rounded = wasm_i32x4_trunc_sat_f32x4(wasm_f32x4_add(scaled, wasm_f32x4_splat(0.5f)));
    const v128_t tie = wasm_v128_and(
        wasm_f32x4_eq(wasm_f32x4_sub(wasm_f32x4_convert_i32x4(rounded), scaled), wasm_f32x4_splat(0.5f)),
        wasm_i32x4_eq(wasm_v128_and(rounded, wasm_i32x4_splat(1)), wasm_i32x4_splat(1)));
    rounded = wasm_i32x4_add(rounded, tie); // a true lane is -1
    rounded = wasm_v128_bitselect(wasm_i32x4_splat(255), rounded, wasm_f32x4_ge(scaled, wasm_f32x4_splat(255.0f)));
    return wasm_v128_and(rounded, wasm_f32x4_gt(scaled, wasm_f32x4_splat(0.0f)));
}

// clampUnit(c) * size - 0.5 of four lanes, split into floor and weight.
inline void sample4(v128_t c, float size, v128_t& index, v128_t& weight)
{
    const v128_t held = wasm_f32x4_pmin(wasm_f32x4_splat(1.0f),
                                        wasm_v128_and(c, wasm_f32x4_gt(c, wasm_f32x4_splat(0.0f))));
    const v128_t u = wasm_f32x4_sub(wasm_f32x4_mul(held, wasm_f32x4_splat(size)), wasm_f32x4_splat(0.5f));
    const v128_t below = wasm_f32x4_floor(u);
    index = wasm_i32x4_trunc_sat_f32x4(below);
    weight = wasm_f32x4_sub(u, below);
}

// Four pixels at a time: the same float operations as filteredColor in each lane, the
// texels read one pixel at a time (WebAssembly has no gather).
void filterRunSimd128(const Texture& texture, Color4* pixels, int count, float pending)
{
    static constexpr unsigned char black[3] = {0, 0, 0};
    const int width = texture.width, height = texture.height;
    const long stride = static_cast<long>(width) * 3;
    const unsigned char* data = texture.data.data();
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        v128_t s, t, unused, a;
        loadFourPixels(pixels + k, s, t, unused, a);
        const int pendingBits = wasm_i32x4_bitmask(wasm_f32x4_eq(a, wasm_f32x4_splat(pending)));
        if (!pendingBits)
            continue;
        v128_t i0, j0, ws, wt;
        sample4(s, static_cast<float>(width), i0, ws);
        sample4(t, static_cast<float>(height), j0, wt);
        alignas(16) int is[4], js[4];
        wasm_v128_store(is, i0);
        wasm_v128_store(js, j0);
        const unsigned char* texels[4][4]; // texel n of pixel q: texels[n][q]
        for (int q = 0; q < 4; ++q) {
            const int i = is[q], j = js[q];
            if (i >= 0 && j >= 0 && i + 1 < width && j + 1 < height) {
                texels[0][q] = data + j * stride + static_cast<long>(i) * 3;
                texels[1][q] = texels[0][q] + 3;
                texels[2][q] = texels[0][q] + stride;
                texels[3][q] = texels[2][q] + 3;
            } else {
                for (int n = 0; n < 4; ++n) {
                    const int u = i + (n & 1), v = j + (n >> 1);
                    texels[n][q] = u < 0 || u >= width || v < 0 || v >= height
                                       ? black
                                       : data + v * stride + static_cast<long>(u) * 3;
                }
            }
        }
        // Texel n's channel c of the four pixels, as colour values.
        auto texel = [&](int n, int c) {
            return wasm_f32x4_make(unitFromByte[texels[n][0][c]], unitFromByte[texels[n][1][c]],
                                   unitFromByte[texels[n][2][c]], unitFromByte[texels[n][3][c]]);
        };
        const v128_t wsLow = wasm_f64x2_promote_low_f32x4(ws);
        const v128_t wsHigh = wasm_f64x2_promote_low_f32x4(wasm_i32x4_shuffle(ws, ws, 2, 3, 0, 1));
        const v128_t wtLow = wasm_f64x2_promote_low_f32x4(wt);
        const v128_t wtHigh = wasm_f64x2_promote_low_f32x4(wasm_i32x4_shuffle(wt, wt, 2, 3, 0, 1));
        v128_t channel[3];
        bool exact = true;
        for (int c = 0; c < 3 && exact; ++c) {
            const v128_t t0 = texel(0, c), t1 = texel(1, c), t2 = texel(2, c), t3 = texel(3, c);
            v128_t below, above, value;
            exact = fusedMultiplyAdd4(wsLow, wsHigh, wasm_f32x4_sub(t1, t0), t0, below);
            exact &= fusedMultiplyAdd4(wsLow, wsHigh, wasm_f32x4_sub(t3, t2), t2, above);
            exact &= fusedMultiplyAdd4(wtLow, wtHigh, wasm_f32x4_sub(above, below), below, value);
            channel[c] = wasm_f32x4_mul(wasm_f32x4_convert_i32x4(toByte4(value)), wasm_f32x4_splat(byteToUnit));
        }
        if (!exact) {
            filterRun(texture, pixels + k, 4, pending, FusedMultiplyAdd{});
            continue;
        }
        // Back to four pixels (r, g, b, 1); a pixel that was not pending keeps its colour.
        const v128_t rg01 = wasm_i32x4_shuffle(channel[0], channel[1], 0, 4, 1, 5);
        const v128_t rg23 = wasm_i32x4_shuffle(channel[0], channel[1], 2, 6, 3, 7);
        const v128_t b1 = wasm_i32x4_shuffle(channel[2], wasm_f32x4_splat(1.0f), 0, 4, 1, 5);
        const v128_t b3 = wasm_i32x4_shuffle(channel[2], wasm_f32x4_splat(1.0f), 2, 6, 3, 7);
        const v128_t out[4] = {wasm_i32x4_shuffle(rg01, b1, 0, 1, 4, 5), wasm_i32x4_shuffle(rg01, b1, 2, 3, 6, 7),
                               wasm_i32x4_shuffle(rg23, b3, 0, 1, 4, 5), wasm_i32x4_shuffle(rg23, b3, 2, 3, 6, 7)};
        for (int q = 0; q < 4; ++q)
            if (pendingBits >> q & 1)
                wasm_v128_store(&pixels[k + q], out[q]);
    }
    filterRun(texture, pixels + k, count - k, pending, FusedMultiplyAdd{});
}
#endif

} // namespace

void filterPendingPixels(const Texture& texture, Color4* pixels, int count, float pending)
{
#if defined(__x86_64__)
    static const bool hasFma = __builtin_cpu_supports("fma");
    if (hasFma)
        return filterRunFma(texture, pixels, count, pending);
#endif
#if defined(__wasm_simd128__)
    if (texture.components == 3)
        return filterRunSimd128(texture, pixels, count, pending);
#endif
    filterRun(texture, pixels, count, pending, FusedMultiplyAdd{});
}
