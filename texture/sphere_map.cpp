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
// The lookup is latency-bound (square root, division, two roundings to float, the texel
// read): four lanes keep four pixels in flight. Every operation is the scalar one,
// correctly rounded, in the same order, so the result is bit for bit colorAt's.
#define SPHAERIX_AVX2 __attribute__((target("avx2")))

// One row of the model-view times the unit normal, w = 0 included, rounded to float.
SPHAERIX_AVX2 static __m256d eyeComponent(const double row[4], __m256d x, __m256d y, __m256d z)
{
    __m256d e = _mm256_mul_pd(_mm256_set1_pd(row[0]), x);
    e = _mm256_add_pd(e, _mm256_mul_pd(_mm256_set1_pd(row[1]), y));
    e = _mm256_add_pd(e, _mm256_mul_pd(_mm256_set1_pd(row[2]), z));
    e = _mm256_add_pd(e, _mm256_mul_pd(_mm256_set1_pd(row[3]), _mm256_setzero_pd()));
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(e));
}

// As SphereMap::texelIndex: below 1 or NaN gives 0, size or beyond gives size - 1, and
// only the remaining, fitting values are truncated.
SPHAERIX_AVX2 static __m128i texelIndices(__m256d e, int size)
{
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d sizeD = _mm256_set1_pd(static_cast<double>(size));
    const __m256d t = _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(e, half), half), sizeD);
    const __m256d inside = _mm256_cmp_pd(t, _mm256_set1_pd(1.0), _CMP_GE_OQ);
    const __m256d beyond = _mm256_cmp_pd(t, sizeD, _CMP_GE_OQ);
    const __m256d clamped = _mm256_blendv_pd(t, _mm256_set1_pd(size - 1.0), beyond);
    return _mm256_cvttpd_epi32(_mm256_and_pd(clamped, inside));
}

// The unit normal of four lanes, each component rounded to float and widened again.
SPHAERIX_AVX2 static void unitNormals(const float* nx, const float* ny, const float* nz,
                                      __m256d& ux, __m256d& uy, __m256d& uz)
{
    const __m256d x = _mm256_cvtps_pd(_mm_loadu_ps(nx));
    const __m256d y = _mm256_cvtps_pd(_mm_loadu_ps(ny));
    const __m256d z = _mm256_cvtps_pd(_mm_loadu_ps(nz));
    const __m256d sum = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(x, x), _mm256_mul_pd(y, y)),
                                      _mm256_mul_pd(z, z));
    const __m256d s = _mm256_div_pd(_mm256_set1_pd(1.0), _mm256_sqrt_pd(sum));
    ux = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_mul_pd(x, s)));
    uy = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_mul_pd(y, s)));
    uz = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_mul_pd(z, s)));
}

// In stages over the whole batch, so that the long chain of one group (root, division,
// roundings) overlaps the chains of the next groups; then the texel reads.
SPHAERIX_AVX2 static int colorsAtAvx2(const SphereMap& map, int count, const float* nx,
                                      const float* ny, const float* nz, Color4* out)
{
    constexpr int chunk = 64;
    alignas(16) int u[chunk], v[chunk];
    int done = 0;
    while (count - done >= 4) {
        const int groups = std::min(count - done, chunk) / 4;
        for (int g = 0; g < groups; ++g) {
            const int k = done + 4 * g;
            __m256d ux, uy, uz;
            unitNormals(nx + k, ny + k, nz + k, ux, uy, uz);
            _mm_store_si128(reinterpret_cast<__m128i*>(u + 4 * g),
                            texelIndices(eyeComponent(map.row0, ux, uy, uz), map.width));
            _mm_store_si128(reinterpret_cast<__m128i*>(v + 4 * g),
                            texelIndices(eyeComponent(map.row1, ux, uy, uz), map.height));
        }
        for (int k = 0; k < 4 * groups; ++k)
            out[done + k] = colorFromTexel(map.texels + (static_cast<long>(v[k]) * map.width + u[k]) *
                                                            map.components);
        done += 4 * groups;
    }
    return done;
}

static bool hasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

void colorsAt(const SphereMap& map, int count, const float* nx, const float* ny, const float* nz,
              Color4* out)
{
    int k = 0;
#if defined(__x86_64__)
    if (map.texels && hasAvx2())
        k = colorsAtAvx2(map, count, nx, ny, nz, out);
#endif
    for (; k < count; ++k)
        out[k] = map.colorAt(nx[k], ny[k], nz[k]);
}
