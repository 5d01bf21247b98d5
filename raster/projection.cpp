#include "raster/projection.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

Vertex windowCorner(const Scene& scene, const Vertex& vertex, int width, int height)
{
    Vec4 eye, clip;
    scene.modelView.current.transform(eye, vertex.position);
    scene.projection.current.transform(clip, eye);
    // Device coordinates: the reciprocal of the float w in double, each product rounded
    // once to float. Window coordinates in double, left to right, rounded to float.
    const double inverseW = 1.0 / static_cast<double>(clip.w);
    const float deviceX = static_cast<float>(clip.x * inverseW);
    const float deviceY = static_cast<float>(clip.y * inverseW);
    const float deviceZ = static_cast<float>(clip.z * inverseW);
    Vertex corner;
    corner.position.x = static_cast<float>(static_cast<double>(width) * (deviceX + 1.0) * 0.5);
    corner.position.y = static_cast<float>(static_cast<double>(height) * (deviceY + 1.0) * 0.5);
    corner.position.z = deviceZ;
    corner.position.w = 1.0f;
    for (int i = 0; i < 3; ++i)
        corner.normal[i] = vertex.normal[i];
    return corner;
}

#if defined(__x86_64__)
// Four corners side by side, one lane each: every lane performs windowCorner's double
// operations in its order, each rounding to float where windowCorner rounds.
#define SPHAERIX_AVX __attribute__((target("avx")))

struct Lanes {
    __m256d x, y, z, w;
};

[[gnu::always_inline]] SPHAERIX_AVX static inline __m256d toFloat(__m256d value)
{
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(value));
}

// As Matrix4::transform: each row's products summed left to right, rounded to float.
[[gnu::always_inline]] SPHAERIX_AVX static inline Lanes transform(const double* m, const Lanes& p)
{
    Lanes out;
    __m256d* rows[4] = {&out.x, &out.y, &out.z, &out.w};
    for (int r = 0; r < 4; ++r) {
        __m256d sum = _mm256_mul_pd(_mm256_set1_pd(m[4 * r]), p.x);
        sum = _mm256_add_pd(sum, _mm256_mul_pd(_mm256_set1_pd(m[4 * r + 1]), p.y));
        sum = _mm256_add_pd(sum, _mm256_mul_pd(_mm256_set1_pd(m[4 * r + 2]), p.z));
        sum = _mm256_add_pd(sum, _mm256_mul_pd(_mm256_set1_pd(m[4 * r + 3]), p.w));
        *rows[r] = toFloat(sum);
    }
    return out;
}

SPHAERIX_AVX static void projectFour(const Scene& scene, const Vertex* vertices, int width, int height,
                                     Vertex* corners)
{
    alignas(16) float x[4], y[4], z[4], w[4];
    for (int k = 0; k < 4; ++k) {
        x[k] = vertices[k].position.x;
        y[k] = vertices[k].position.y;
        z[k] = vertices[k].position.z;
        w[k] = vertices[k].position.w;
    }
    const Lanes position{_mm256_cvtps_pd(_mm_load_ps(x)), _mm256_cvtps_pd(_mm_load_ps(y)),
                         _mm256_cvtps_pd(_mm_load_ps(z)), _mm256_cvtps_pd(_mm_load_ps(w))};
    const Lanes clip = transform(scene.projection.current.m, transform(scene.modelView.current.m, position));
    const __m256d inverseW = _mm256_div_pd(_mm256_set1_pd(1.0), clip.w);
    const __m256d one = _mm256_set1_pd(1.0), half = _mm256_set1_pd(0.5);
    const __m256d deviceX = toFloat(_mm256_mul_pd(clip.x, inverseW));
    const __m256d deviceY = toFloat(_mm256_mul_pd(clip.y, inverseW));
    _mm_store_ps(x, _mm256_cvtpd_ps(_mm256_mul_pd(
                        _mm256_mul_pd(_mm256_set1_pd(width), _mm256_add_pd(deviceX, one)), half)));
    _mm_store_ps(y, _mm256_cvtpd_ps(_mm256_mul_pd(
                        _mm256_mul_pd(_mm256_set1_pd(height), _mm256_add_pd(deviceY, one)), half)));
    _mm_store_ps(z, _mm256_cvtpd_ps(_mm256_mul_pd(clip.z, inverseW)));
    for (int k = 0; k < 4; ++k) {
        Vertex& corner = corners[k];
        corner = Vertex{};
        corner.position = Vec4{x[k], y[k], z[k], 1.0f};
        for (int i = 0; i < 3; ++i)
            corner.normal[i] = vertices[k].normal[i];
    }
}

static bool hasAvx()
{
    static const bool has = __builtin_cpu_supports("avx");
    return has;
}
#endif

void projectCorners(const Scene& scene, const Vertex* vertices, int count, int width, int height,
                    Vertex* corners)
{
    int k = 0;
#if defined(__x86_64__)
    if (hasAvx())
        for (; k + 4 <= count; k += 4)
            projectFour(scene, vertices + k, width, height, corners + k);
#endif
    for (; k < count; ++k)
        corners[k] = windowCorner(scene, vertices[k], width, height);
}
