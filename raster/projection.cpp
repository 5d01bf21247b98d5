#include "raster/projection.h"

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
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

#if defined(__wasm_simd128__)
// The AVX lanes' four corners as two pairs of WebAssembly's two-double lanes: the same
// operations in the same order, each rounding to float where windowCorner rounds.
struct PairLanes {
    v128_t x, y, z, w;
};

static inline v128_t toFloat2(v128_t value)
{
    return wasm_f64x2_promote_low_f32x4(wasm_f32x4_demote_f64x2_zero(value));
}

static inline PairLanes transform2(const double* m, const PairLanes& p)
{
    PairLanes out;
    v128_t* rows[4] = {&out.x, &out.y, &out.z, &out.w};
    for (int r = 0; r < 4; ++r) {
        v128_t sum = wasm_f64x2_mul(wasm_f64x2_splat(m[4 * r]), p.x);
        sum = wasm_f64x2_add(sum, wasm_f64x2_mul(wasm_f64x2_splat(m[4 * r + 1]), p.y));
        sum = wasm_f64x2_add(sum, wasm_f64x2_mul(wasm_f64x2_splat(m[4 * r + 2]), p.z));
        sum = wasm_f64x2_add(sum, wasm_f64x2_mul(wasm_f64x2_splat(m[4 * r + 3]), p.w));
        *rows[r] = toFloat2(sum);
    }
    return out;
}

static void projectTwo(const Scene& scene, const Vertex* vertices, int width, int height, Vertex* corners)
{
    const PairLanes position{
        wasm_f64x2_make(vertices[0].position.x, vertices[1].position.x),
        wasm_f64x2_make(vertices[0].position.y, vertices[1].position.y),
        wasm_f64x2_make(vertices[0].position.z, vertices[1].position.z),
        wasm_f64x2_make(vertices[0].position.w, vertices[1].position.w)};
    const PairLanes clip = transform2(scene.projection.current.m, transform2(scene.modelView.current.m, position));
    const v128_t inverseW = wasm_f64x2_div(wasm_f64x2_splat(1.0), clip.w);
    const v128_t one = wasm_f64x2_splat(1.0), half = wasm_f64x2_splat(0.5);
    const v128_t deviceX = toFloat2(wasm_f64x2_mul(clip.x, inverseW));
    const v128_t deviceY = toFloat2(wasm_f64x2_mul(clip.y, inverseW));
    alignas(16) float x[4], y[4], z[4];
    wasm_v128_store(x, wasm_f32x4_demote_f64x2_zero(
                           wasm_f64x2_mul(wasm_f64x2_mul(wasm_f64x2_splat(width), wasm_f64x2_add(deviceX, one)), half)));
    wasm_v128_store(y, wasm_f32x4_demote_f64x2_zero(
                           wasm_f64x2_mul(wasm_f64x2_mul(wasm_f64x2_splat(height), wasm_f64x2_add(deviceY, one)), half)));
    wasm_v128_store(z, wasm_f32x4_demote_f64x2_zero(wasm_f64x2_mul(clip.z, inverseW)));
    for (int k = 0; k < 2; ++k) {
        Vertex& corner = corners[k];
        corner = Vertex{};
        corner.position = Vec4{x[k], y[k], z[k], 1.0f};
        for (int i = 0; i < 3; ++i)
            corner.normal[i] = vertices[k].normal[i];
    }
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
#elif defined(__wasm_simd128__)
    for (; k + 2 <= count; k += 2)
        projectTwo(scene, vertices + k, width, height, corners + k);
#endif
    for (; k < count; ++k)
        corners[k] = windowCorner(scene, vertices[k], width, height);
}
