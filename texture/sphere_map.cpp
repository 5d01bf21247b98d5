#include "texture/sphere_map.h"

#include <algorithm>

#if defined(__x86_64__)
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

// The all-lanes masked forms: the plain ones start from an undefined register, which
// GCC 12 reports as possibly uninitialised.
constexpr __mmask8 allLanes = 0xff;

SPHAERIX_AVX512 static __m512d widen8(__m256 x)
{
    return _mm512_maskz_cvtps_pd(allLanes, x);
}

SPHAERIX_AVX512 static __m512d toFloat8(__m512d x)
{
    return widen8(_mm512_maskz_cvtpd_ps(allLanes, x));
}

SPHAERIX_AVX512 static __m512d eye8(const double* row, __m512d x, __m512d y, __m512d z)
{
    __m512d e = _mm512_mul_pd(_mm512_set1_pd(row[0]), x);
    e = _mm512_add_pd(e, _mm512_mul_pd(_mm512_set1_pd(row[1]), y));
    return toFloat8(_mm512_add_pd(e, _mm512_mul_pd(_mm512_set1_pd(row[2]), z)));
}

SPHAERIX_AVX512 static __m256i texelIndex8(__m512d e, int size)
{
    const __m512d half = _mm512_set1_pd(0.5);
    const __m512d t = _mm512_mul_pd(_mm512_add_pd(_mm512_mul_pd(e, half), half),
                                    _mm512_set1_pd(static_cast<double>(size)));
    const __m512d clamped = _mm512_min_pd(_mm512_set1_pd(size - 1.0), t);
    return _mm256_max_epi32(_mm512_maskz_cvttpd_epi32(allLanes, clamped), _mm256_setzero_si256());
}

SPHAERIX_AVX512 static void texelOffsetsAvx512(const SphereMap& map, int count, const float* nx,
                                               const float* ny, const float* nz, int* offsets)
{
    const __m256i width = _mm256_set1_epi32(map.width), components = _mm256_set1_epi32(map.components);
    for (int k = 0; k < count; k += 8) {
        const __m512d x = widen8(_mm256_loadu_ps(nx + k));
        const __m512d y = widen8(_mm256_loadu_ps(ny + k));
        const __m512d z = widen8(_mm256_loadu_ps(nz + k));
        const __m512d sum = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(x, x), _mm512_mul_pd(y, y)),
                                          _mm512_mul_pd(z, z));
        const __m512d s = _mm512_div_pd(_mm512_set1_pd(1.0), _mm512_maskz_sqrt_pd(allLanes, sum));
        const __m512d ux = toFloat8(_mm512_mul_pd(x, s));
        const __m512d uy = toFloat8(_mm512_mul_pd(y, s));
        const __m512d uz = toFloat8(_mm512_mul_pd(z, s));
        const __m256i u = texelIndex8(eye8(map.row0, ux, uy, uz), map.width);
        const __m256i v = texelIndex8(eye8(map.row1, ux, uy, uz), map.height);
        const __m256i texel = _mm256_add_epi32(_mm256_mullo_epi32(v, width), u);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(offsets + k), _mm256_mullo_epi32(texel, components));
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
#else
    return LookupLanes::one;
#endif
}

void colorsAt(const SphereMap& map, int count, const float* nx, const float* ny, const float* nz,
              Color4* const* out, LookupLanes lanes)
{
    int done = 0;
#if defined(__x86_64__)
    if (lanes != LookupLanes::one && lanesApply(map)) {
        constexpr int chunk = 64;
        int offsets[chunk];
        const int step = lanes == LookupLanes::avx512 ? 8 : 4;
        while (count - done >= step) {
            const int n = std::min(count - done, chunk) / step * step;
            if (lanes == LookupLanes::avx512)
                texelOffsetsAvx512(map, n, nx + done, ny + done, nz + done, offsets);
            else
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
