#include "shade/sphere_map.h"

#include <algorithm>

#if defined(__wasm_simd128__)
#include "shade/four_pixels.h"
#endif

#if defined(__x86_64__)
// GCC 12 reports the undefined registers that its own AVX-512 intrinsics start from as
// possibly uninitialised.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#endif

SphereMap::SphereMap(const Scene& scene, const Mesh& mesh)
{
    const double* m = scene.modelView.current.m;
    for (int i = 0; i < 4; ++i) {
        row0[i] = m[i];
        row1[i] = m[4 + i];
    }
    const Texture* texture = mesh.texture;
    texels = texture ? texture->data.data() : nullptr;
    width = texture ? texture->width : 0;
    height = texture ? texture->height : 0;
    components = texture ? texture->components : 0;

    // M for the precision budget of the estimate, slightly enlarged for its own rounding.
    const double m0 = std::sqrt(row0[0] * row0[0] + row0[1] * row0[1] + row0[2] * row0[2]);
    const double m1 = std::sqrt(row1[0] * row1[0] + row1[1] * row1[1] + row1[2] * row1[2]);
    const double bound = std::max(m0, m1) * (1.0 + 1e-12);
    estimateApplies = texels && width == 256 && height == 256 && components == 3 && bound <= 4.0 &&
                      std::isfinite(row0[3]) && std::isfinite(row1[3]);
    for (int i = 0; i < 3; ++i) {
        estimateRow0[i] = static_cast<float>(row0[i]);
        estimateRow1[i] = static_cast<float>(row1[i]);
    }
    estimateMargin = static_cast<float>(128.0 * 32.0 * std::ldexp(bound, -24) + std::ldexp(1.0, -14));
}

Color4 sphereMapLookup(const Scene& scene, float nx, float ny, float nz, const Mesh& mesh)
{
    return SphereMap(scene, mesh).colorAt(nx, ny, nz);
}

#if defined(__x86_64__)
// The lookup is bound by its square root and division and by the float roundings in
// between: many lanes keep many pixels in flight. Every lane performs the scalar
// operations, each correctly rounded, in the same order, so the texel is bit for bit
// the one SphereMap::steps finds. The lanes find the texel's byte offset; the bytes are
// read one pixel at a time.

// The w = 0 term of the eye components, row[3] * 0.0, is a zero whenever row[3] is
// finite, and adding a zero changes no texel index (at most the sign of a zero sum). A
// non-finite row[3] makes every component NaN; such maps take the one-lane path.
// The lanes compute byte offsets in 32 bits.
static bool lanesApply(const SphereMap& map)
{
    return map.texels && std::isfinite(map.row0[3]) && std::isfinite(map.row1[3]) &&
           static_cast<double>(map.width) * map.height * map.components < 2147483648.0;
}

#define SPHAERIX_AVX2 __attribute__((target("avx2")))
#define SPHAERIX_AVX512 __attribute__((target("avx512f")))

// Float to double and back: the rounding to float of a double value.
SPHAERIX_AVX2 static __m256d toFloat4(__m256d x)
{
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(x));
}

// One row of the model-view times the unit normal, left to right, rounded to float.
SPHAERIX_AVX2 static __m256d eye4(const double* row, __m256d x, __m256d y, __m256d z)
{
    __m256d e = _mm256_mul_pd(_mm256_set1_pd(row[0]), x);
    e = _mm256_add_pd(e, _mm256_mul_pd(_mm256_set1_pd(row[1]), y));
    return toFloat4(_mm256_add_pd(e, _mm256_mul_pd(_mm256_set1_pd(row[2]), z)));
}

// trunc((e * 0.5 + 0.5) * size) clamped to 0 .. size - 1: min(size - 1, t) keeps a NaN
// t, whose truncation is INT_MIN, as are values beyond the int range; max with 0 then
// sends both below-range cases to 0, as texelIndex does.
SPHAERIX_AVX2 static __m128i texelIndex4(__m256d e, int size)
{
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d t = _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(e, half), half),
                                    _mm256_set1_pd(static_cast<double>(size)));
    const __m256d clamped = _mm256_min_pd(_mm256_set1_pd(size - 1.0), t);
    return _mm_max_epi32(_mm256_cvttpd_epi32(clamped), _mm_setzero_si128());
}

SPHAERIX_AVX2 static void texelOffsetsAvx2(const SphereMap& map, int count, const float* nx,
                                           const float* ny, const float* nz, int* offsets)
{
    const __m128i width = _mm_set1_epi32(map.width), components = _mm_set1_epi32(map.components);
    for (int k = 0; k < count; k += 4) {
        const __m256d x = _mm256_cvtps_pd(_mm_loadu_ps(nx + k));
        const __m256d y = _mm256_cvtps_pd(_mm_loadu_ps(ny + k));
        const __m256d z = _mm256_cvtps_pd(_mm_loadu_ps(nz + k));
        const __m256d sum = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(x, x), _mm256_mul_pd(y, y)),
                                          _mm256_mul_pd(z, z));
        const __m256d s = _mm256_div_pd(_mm256_set1_pd(1.0), _mm256_sqrt_pd(sum));
        const __m256d ux = toFloat4(_mm256_mul_pd(x, s));
        const __m256d uy = toFloat4(_mm256_mul_pd(y, s));
        const __m256d uz = toFloat4(_mm256_mul_pd(z, s));
        const __m128i u = texelIndex4(eye4(map.row0, ux, uy, uz), map.width);
        const __m128i v = texelIndex4(eye4(map.row1, ux, uy, uz), map.height);
        const __m128i texel = _mm_add_epi32(_mm_mullo_epi32(v, width), u);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(offsets + k), _mm_mullo_epi32(texel, components));
    }
}

#endif

LookupLanes bestLookupLanes()
{
#if defined(__x86_64__)
    static const LookupLanes best = __builtin_cpu_supports("avx512f") ? LookupLanes::avx512
                                    : __builtin_cpu_supports("avx2")  ? LookupLanes::avx2
                                                                      : LookupLanes::one;
    return best;
#elif defined(__wasm_simd128__)
    return LookupLanes::simd128;
#else
    return LookupLanes::one;
#endif
}

void colorsAt(const SphereMap& map, int count, const float* nx, const float* ny, const float* nz,
              Color4* const* out, [[maybe_unused]] LookupLanes lanes)
{
    int done = 0;
#if defined(__x86_64__)
    if (lanes != LookupLanes::one && lanesApply(map)) {
        constexpr int chunk = 64;
        int offsets[chunk];
        while (count - done >= 4) {
            const int n = std::min(count - done, chunk) / 4 * 4;
            texelOffsetsAvx2(map, n, nx + done, ny + done, nz + done, offsets);
            for (int k = 0; k < n; ++k)
                *out[done + k] = colorFromTexel(map.texels + offsets[k]);
            done += n;
        }
    }
#endif
    for (; done < count; ++done)
        *out[done] = map.colorAt(nx[done], ny[done], nz[done]);
}

#if defined(__x86_64__)
// The texel of most pixels without the exact chain's square root and division: a float
// estimate of the eye component, and the exact chain only where the estimate lies so
// close to a texel boundary that it could fall on either side.
//
// Precision budget, with u = 2^-24 and M = |(r0, r1, r2)| for the model-view row r of
// the eye component (Cauchy-Schwarz bounds the dot product of r with a unit vector by M):
//  - the exact chain: the float unit normal is within u (relative) of the true one, the
//    double dot product adds next to nothing, and its rounding to float adds u*M: the
//    exact eye component lies within 2.01 u M of the true dot product;
//  - the estimate: squares and sums in float (5u on |n|^2, 2.5u on its root), rsqrt14
//    (relative error below 2^-14, so 1.5 * 2^-28 after one Newton step) and the step's
//    four roundings: the scale is within 5.6u of 1/|n|, each unit component within
//    6.6u; the row rounded to float (u), the products (u) and two sums (2u) give
//    (6.6 + 1 + 1 + 2) u M: within 10.6 u M of the true dot product.
// They differ by less than 12.7 u M; the budget below allows 32 u M. On the texel scale
// t = e * 128 + 128 that is 128 * 32 u M, and t itself is rounded by at most 2^-15 (it
// stays below 1024 for M <= 4). A t farther than that from every whole number lies, with
// the exact t, between the same two whole numbers, which are the boundaries of the
// texel index; and an eye component that far from 0 is large enough for the exact
// chain's (e * 0.5 + 0.5) * 256 to be exact. Squares that leave float's normal range,
// NaN and infinity take the exact chain too.
// Bits 4q..4q+3 of a pixel mask widened to one bit per float of the four pixels.
static constexpr unsigned short floatsOfPixels[16] = {
    0x0000, 0x000f, 0x00f0, 0x00ff, 0x0f00, 0x0f0f, 0x0ff0, 0x0fff,
    0xf000, 0xf00f, 0xf0f0, 0xf0ff, 0xff00, 0xff0f, 0xfff0, 0xffff};

// One eye component estimated in float, and its texel index where that is certain.
SPHAERIX_AVX512 static __m512i fastIndex(const float* row, __m512 x, __m512 y, __m512 z,
                                         float margin, __mmask16& certain)
{
    __m512 e = _mm512_mul_ps(_mm512_set1_ps(row[0]), x);
    e = _mm512_add_ps(e, _mm512_mul_ps(_mm512_set1_ps(row[1]), y));
    e = _mm512_add_ps(e, _mm512_mul_ps(_mm512_set1_ps(row[2]), z));
    const __m512 t = _mm512_add_ps(_mm512_mul_ps(e, _mm512_set1_ps(128.0f)), _mm512_set1_ps(128.0f));
    const __m512 nearest = _mm512_roundscale_ps(t, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m512 distance = _mm512_abs_ps(_mm512_sub_ps(t, nearest));
    certain &= _mm512_cmp_ps_mask(distance, _mm512_set1_ps(margin), _CMP_GT_OQ);
    const __m512i index = _mm512_cvttps_epi32(_mm512_min_ps(_mm512_max_ps(t, _mm512_setzero_ps()),
                                                            _mm512_set1_ps(255.0f)));
    return index;
}

SPHAERIX_AVX512 static void colorPendingAvx512(const SphereMap& map, Color4* pixels, int count,
                                               float pendingAlpha, const Color4* others)
{
    // Pixels 4q..4q+3 fill register q; these gather one component of all sixteen.
    const __m512i firstHalf = _mm512_setr_epi32(0, 4, 8, 12, 16, 20, 24, 28, 1, 5, 9, 13, 17, 21, 25, 29);
    const __m512i secondHalf = _mm512_setr_epi32(2, 6, 10, 14, 18, 22, 26, 30, 3, 7, 11, 15, 19, 23, 27, 31);
    const __m512i lows = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 23);
    const __m512i highs = _mm512_setr_epi32(8, 9, 10, 11, 12, 13, 14, 15, 24, 25, 26, 27, 28, 29, 30, 31);
    // And back: pairs (r, g) and (b, 1) interleaved, then the pairs of four pixels.
    const __m512i pairLow = _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const __m512i pairHigh = _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    const __m512i quadLow = _mm512_setr_epi32(0, 1, 16, 17, 2, 3, 18, 19, 4, 5, 20, 21, 6, 7, 22, 23);
    const __m512i quadHigh = _mm512_setr_epi32(8, 9, 24, 25, 10, 11, 26, 27, 12, 13, 28, 29, 14, 15, 30, 31);
    const __m512 one = _mm512_set1_ps(1.0f), unit = _mm512_set1_ps(byteToUnit);
    const __m512i byteMask = _mm512_set1_epi32(0xff);
    const int lastSafeOffset = map.width * map.height * map.components - 4; // a 4-byte read fits
    for (int k = 0; k < count; k += 16) {
        // The last group of a run may be short: the missing pixels are neither read nor written.
        const __mmask16 inRun = count - k >= 16 ? 0xffff : (1u << (count - k)) - 1;
        float* p = &pixels[k].r;
        const __m512 q0 = _mm512_maskz_loadu_ps(floatsOfPixels[inRun & 15], p);
        const __m512 q1 = _mm512_maskz_loadu_ps(floatsOfPixels[(inRun >> 4) & 15], p + 16);
        const __m512 q2 = _mm512_maskz_loadu_ps(floatsOfPixels[(inRun >> 8) & 15], p + 32);
        const __m512 q3 = _mm512_maskz_loadu_ps(floatsOfPixels[inRun >> 12], p + 48);
        const __m512 xy01 = _mm512_permutex2var_ps(q0, firstHalf, q1);  // x0-7, y0-7
        const __m512 za01 = _mm512_permutex2var_ps(q0, secondHalf, q1); // z0-7, a0-7
        const __m512 xy23 = _mm512_permutex2var_ps(q2, firstHalf, q3);
        const __m512 za23 = _mm512_permutex2var_ps(q2, secondHalf, q3);
        const __m512 alpha = _mm512_permutex2var_ps(za01, highs, za23);
        const __mmask16 pending = inRun & _mm512_cmp_ps_mask(alpha, _mm512_set1_ps(pendingAlpha), _CMP_EQ_OQ);
        if (others && (inRun & ~pending)) {
            const __m512 other = _mm512_broadcast_f32x4(_mm_loadu_ps(&others->r));
            const __mmask16 set = inRun & ~pending;
            _mm512_mask_storeu_ps(p, floatsOfPixels[set & 15], other);
            _mm512_mask_storeu_ps(p + 16, floatsOfPixels[(set >> 4) & 15], other);
            _mm512_mask_storeu_ps(p + 32, floatsOfPixels[(set >> 8) & 15], other);
            _mm512_mask_storeu_ps(p + 48, floatsOfPixels[set >> 12], other);
        }
        if (!pending)
            continue;
        const __m512 x = _mm512_permutex2var_ps(xy01, lows, xy23);
        const __m512 y = _mm512_permutex2var_ps(xy01, highs, xy23);
        const __m512 z = _mm512_permutex2var_ps(za01, lows, za23);

        const __m512 squares = _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(x, x), _mm512_mul_ps(y, y)),
                                             _mm512_mul_ps(z, z));
        __mmask16 certain = pending &
                            _mm512_cmp_ps_mask(squares, _mm512_set1_ps(0x1p-60f), _CMP_GE_OQ) &
                            _mm512_cmp_ps_mask(squares, _mm512_set1_ps(0x1p100f), _CMP_LE_OQ);
        __m512 scale = _mm512_rsqrt14_ps(squares);
        const __m512 step = _mm512_mul_ps(_mm512_mul_ps(squares, _mm512_mul_ps(scale, scale)),
                                          _mm512_set1_ps(0.5f));
        scale = _mm512_mul_ps(scale, _mm512_sub_ps(_mm512_set1_ps(1.5f), step));
        const __m512 ux = _mm512_mul_ps(x, scale), uy = _mm512_mul_ps(y, scale), uz = _mm512_mul_ps(z, scale);
        const __m512i u = fastIndex(map.estimateRow0, ux, uy, uz, map.estimateMargin, certain);
        const __m512i v = fastIndex(map.estimateRow1, ux, uy, uz, map.estimateMargin, certain);
        const __m512i offset = _mm512_mullo_epi32(_mm512_add_epi32(_mm512_slli_epi32(v, 8), u),
                                                  _mm512_set1_epi32(3));
        const __mmask16 fast16 = certain & _mm512_cmp_epi32_mask(offset, _mm512_set1_epi32(lastSafeOffset),
                                                                 _MM_CMPINT_LE);
        const __m512i texel = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), fast16, offset, map.texels, 1);
        const __m512 r = _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_and_si512(texel, byteMask)), unit);
        const __m512 g = _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_and_si512(_mm512_srli_epi32(texel, 8), byteMask)), unit);
        const __m512 b = _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_and_si512(_mm512_srli_epi32(texel, 16), byteMask)), unit);

        const __m512 rgLow = _mm512_permutex2var_ps(r, pairLow, g), rgHigh = _mm512_permutex2var_ps(r, pairHigh, g);
        const __m512 b1Low = _mm512_permutex2var_ps(b, pairLow, one), b1High = _mm512_permutex2var_ps(b, pairHigh, one);
        _mm512_mask_storeu_ps(p, floatsOfPixels[fast16 & 15], _mm512_permutex2var_ps(rgLow, quadLow, b1Low));
        _mm512_mask_storeu_ps(p + 16, floatsOfPixels[(fast16 >> 4) & 15], _mm512_permutex2var_ps(rgLow, quadHigh, b1Low));
        _mm512_mask_storeu_ps(p + 32, floatsOfPixels[(fast16 >> 8) & 15], _mm512_permutex2var_ps(rgHigh, quadLow, b1High));
        _mm512_mask_storeu_ps(p + 48, floatsOfPixels[fast16 >> 12], _mm512_permutex2var_ps(rgHigh, quadHigh, b1High));
        // The few left: too close to a texel boundary, outside the estimate's range, or
        // the last texel, whose 4-byte read would pass the end of the image.
        for (unsigned rest = pending & ~fast16; rest; rest &= rest - 1) {
            Color4& pixel = pixels[k + __builtin_ctz(rest)];
            pixel = map.colorAt(pixel.r, pixel.g, pixel.b);
        }
    }
}
#endif

#if defined(__wasm_simd128__)
// The AVX-512 lanes' float estimate four pixels at a time with WebAssembly SIMD, whose
// square root and division are correctly rounded: the scale is within 3.5u of 1/|n|
// (squares and sums 5u on |n|^2, the root 0.5u more, the division 0.5u), each unit
// component within 4.5u, the eye component within (4.5 + 1 + 1 + 2) u M of the true dot
// product, inside the budget that the estimate's margin allows (see above the AVX-512
// lanes). The texels are read a pixel at a time; WebAssembly has no gather.

// One eye component estimated in float, its texel index, and whether that is certain.
static v128_t fastIndexSimd(const float* row, v128_t x, v128_t y, v128_t z, v128_t margin, v128_t& certain)
{
    v128_t e = wasm_f32x4_mul(wasm_f32x4_splat(row[0]), x);
    e = wasm_f32x4_add(e, wasm_f32x4_mul(wasm_f32x4_splat(row[1]), y));
    e = wasm_f32x4_add(e, wasm_f32x4_mul(wasm_f32x4_splat(row[2]), z));
    const v128_t t = wasm_f32x4_add(wasm_f32x4_mul(e, wasm_f32x4_splat(128.0f)), wasm_f32x4_splat(128.0f));
    const v128_t distance = wasm_f32x4_abs(wasm_f32x4_sub(t, wasm_f32x4_nearest(t)));
    certain = wasm_v128_and(certain, wasm_f32x4_gt(distance, margin));
    return wasm_i32x4_trunc_sat_f32x4(
        wasm_f32x4_pmin(wasm_f32x4_pmax(t, wasm_f32x4_splat(0.0f)), wasm_f32x4_splat(255.0f)));
}

static void colorPendingSimd128(const SphereMap& map, Color4* pixels, int count, float pendingAlpha,
                                const Color4* others)
{
    const v128_t margin = wasm_f32x4_splat(map.estimateMargin);
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        v128_t x, y, z, a;
        loadFourPixels(pixels + k, x, y, z, a);
        const v128_t pending = wasm_f32x4_eq(a, wasm_f32x4_splat(pendingAlpha));
        const int pendingBits = wasm_i32x4_bitmask(pending);
        if (others && pendingBits != 15) {
            const Color4 other = *others;
            for (int q = 0; q < 4; ++q)
                if (!(pendingBits >> q & 1))
                    pixels[k + q] = other;
        }
        if (!pendingBits)
            continue;
        const v128_t squares = wasm_f32x4_add(wasm_f32x4_add(wasm_f32x4_mul(x, x), wasm_f32x4_mul(y, y)),
                                              wasm_f32x4_mul(z, z));
        v128_t certain = wasm_v128_and(pending, wasm_v128_and(wasm_f32x4_ge(squares, wasm_f32x4_splat(0x1p-60f)),
                                                               wasm_f32x4_le(squares, wasm_f32x4_splat(0x1p100f))));
        const v128_t scale = wasm_f32x4_div(wasm_f32x4_splat(1.0f), wasm_f32x4_sqrt(squares));
        const v128_t ux = wasm_f32x4_mul(x, scale), uy = wasm_f32x4_mul(y, scale), uz = wasm_f32x4_mul(z, scale);
        const v128_t u = fastIndexSimd(map.estimateRow0, ux, uy, uz, margin, certain);
        const v128_t v = fastIndexSimd(map.estimateRow1, ux, uy, uz, margin, certain);
        alignas(16) int offsets[4];
        wasm_v128_store(offsets, wasm_i32x4_mul(wasm_i32x4_add(wasm_i32x4_shl(v, 8), u), wasm_i32x4_splat(3)));
        const int certainBits = wasm_i32x4_bitmask(certain);
        for (int q = 0; q < 4; ++q) {
            if (!(pendingBits >> q & 1))
                continue;
            Color4& pixel = pixels[k + q];
            // The few left: too close to a texel boundary, or outside the estimate's range.
            pixel = certainBits >> q & 1 ? colorFromTexel(map.texels + offsets[q]) : map.colorAt(pixel.r, pixel.g, pixel.b);
        }
    }
    for (; k < count; ++k) {
        if (pixels[k].a == pendingAlpha)
            pixels[k] = map.colorAt(pixels[k].r, pixels[k].g, pixels[k].b);
        else if (others)
            pixels[k] = *others;
    }
}
#endif

void colorPendingPixels(const SphereMap& map, Color4* pixels, int count, float pendingAlpha,
                        LookupLanes lanes, const Color4* others)
{
#if defined(__x86_64__)
    if (lanes == LookupLanes::avx512 && map.estimateApplies) {
        colorPendingAvx512(map, pixels, count, pendingAlpha, others);
        return;
    }
#endif
#if defined(__wasm_simd128__)
    if (lanes == LookupLanes::simd128 && map.estimateApplies) {
        colorPendingSimd128(map, pixels, count, pendingAlpha, others);
        return;
    }
#endif
    // Gathered into batches for the exact lanes.
    constexpr int batchSize = 64;
    Color4* batch[batchSize];
    float nx[batchSize], ny[batchSize], nz[batchSize];
    int gathered = 0;
    for (int k = 0; k < count; ++k) {
        if (pixels[k].a != pendingAlpha) {
            if (others)
                pixels[k] = *others;
            continue;
        }
        batch[gathered] = &pixels[k];
        nx[gathered] = pixels[k].r;
        ny[gathered] = pixels[k].g;
        nz[gathered] = pixels[k].b;
        if (++gathered == batchSize) {
            colorsAt(map, gathered, nx, ny, nz, batch, lanes);
            gathered = 0;
        }
    }
    colorsAt(map, gathered, nx, ny, nz, batch, lanes);
}
