#include "inspect/rgb_image.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#ifdef __wasm_simd128__
#include <wasm_simd128.h>
#endif

unsigned char channelByte(float c)
{
    // round(c * 255) with halves away from zero, written without std::round, which is a
    // library call in WebAssembly and cost the page's frame several milliseconds. The
    // fraction scaled - whole is exact below 2^23, so the two agree on every float.
    const float scaled = c * 255.0f;
    if (!(scaled >= 0.5f)) // NaN too
        return 0;
    if (scaled >= 254.5f)
        return 255;
    const int whole = static_cast<int>(scaled);
    return static_cast<unsigned char>(whole + (scaled - static_cast<float>(whole) >= 0.5f ? 1 : 0));
}

RgbImage imageFromColors(const Color4* colors, int width, int height)
{
    RgbImage image{width, height, std::vector<unsigned char>(std::size_t(width) * height * 3)};
    unsigned char* out = image.rgb.data();
    for (int row = height - 1; row >= 0; --row) {
        const Color4* in = colors + std::size_t(row) * width;
        for (int x = 0; x < width; ++x) {
            *out++ = channelByte(in[x].r);
            *out++ = channelByte(in[x].g);
            *out++ = channelByte(in[x].b);
        }
    }
    return image;
}

#ifdef __wasm_simd128__
// Four pixels at a time, lane by lane the operations of channelByte: the truncation and
// the fraction are exact in the range where channelByte computes them, and outside it
// the comparisons choose 0 (NaN too) or 255 as it does.
static void rgbaRowSimd(const Color4* in, int width, unsigned char* out)
{
    const v128_t scale = wasm_f32x4_splat(255.0f), half = wasm_f32x4_splat(0.5f);
    const v128_t top = wasm_f32x4_splat(254.5f), full = wasm_i32x4_splat(255);
    const v128_t alpha = wasm_i32x4_make(0, 0, 0, -1);
    auto bytes = [&](const Color4& c) {
        const v128_t scaled = wasm_f32x4_mul(wasm_v128_load(&c), scale);
        const v128_t whole = wasm_i32x4_trunc_sat_f32x4(scaled);
        const v128_t up = wasm_f32x4_ge(wasm_f32x4_sub(scaled, wasm_f32x4_convert_i32x4(whole)), half);
        v128_t b = wasm_v128_and(wasm_i32x4_sub(whole, up), wasm_f32x4_ge(scaled, half));
        b = wasm_v128_bitselect(full, b, wasm_f32x4_ge(scaled, top));
        return wasm_v128_or(b, wasm_v128_and(full, alpha));
    };
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const v128_t low = wasm_u16x8_narrow_i32x4(bytes(in[x]), bytes(in[x + 1]));
        const v128_t high = wasm_u16x8_narrow_i32x4(bytes(in[x + 2]), bytes(in[x + 3]));
        wasm_v128_store(out + 4 * x, wasm_u8x16_narrow_i16x8(low, high));
    }
    for (; x < width; ++x) {
        out[4 * x] = channelByte(in[x].r);
        out[4 * x + 1] = channelByte(in[x].g);
        out[4 * x + 2] = channelByte(in[x].b);
        out[4 * x + 3] = 255;
    }
}
#endif

void rgbaFromColors(const Color4* colors, int width, int height, int first, int end, unsigned char* rgba,
                    int columns)
{
    const int count = columns < 0 ? width : columns;
    for (int row = first; row < end; ++row) {
        const Color4* in = colors + std::size_t(row) * width;
        unsigned char* out = rgba + std::size_t(height - 1 - row) * width * 4;
#ifdef __wasm_simd128__
        rgbaRowSimd(in, count, out);
#else
        for (int x = 0; x < count; ++x, out += 4) {
            out[0] = channelByte(in[x].r);
            out[1] = channelByte(in[x].g);
            out[2] = channelByte(in[x].b);
            out[3] = 255;
        }
#endif
    }
}

std::vector<unsigned char> rgbFromRgba(const std::vector<unsigned char>& rgba)
{
    std::vector<unsigned char> rgb(rgba.size() / 4 * 3);
    for (std::size_t i = 0, j = 0; j < rgb.size(); i += 4, j += 3) {
        rgb[j] = rgba[i];
        rgb[j + 1] = rgba[i + 1];
        rgb[j + 2] = rgba[i + 2];
    }
    return rgb;
}

std::vector<unsigned char> rgbaFromRgb(const std::vector<unsigned char>& rgb)
{
    std::vector<unsigned char> rgba(rgb.size() / 3 * 4);
    for (std::size_t i = 0, j = 0; j < rgb.size(); i += 4, j += 3) {
        rgba[i] = rgb[j];
        rgba[i + 1] = rgb[j + 1];
        rgba[i + 2] = rgb[j + 2];
        rgba[i + 3] = 255;
    }
    return rgba;
}

RgbImage imageFromBottomUpRgb(const unsigned char* rgb, int width, int height)
{
    RgbImage image{width, height, std::vector<unsigned char>(std::size_t(width) * height * 3)};
    const std::size_t stride = std::size_t(width) * 3;
    for (int row = 0; row < height; ++row)
        std::memcpy(image.rgb.data() + std::size_t(height - 1 - row) * stride,
                    rgb + std::size_t(row) * stride, stride);
    return image;
}

std::vector<unsigned char> depthFileBytes(const float* depth, std::size_t count)
{
    std::vector<unsigned char> bytes(count * 4);
    for (std::size_t i = 0; i < count; ++i) {
        // Little-endian whatever the host: the file format does not follow the machine.
        std::uint32_t bits;
        std::memcpy(&bits, &depth[i], 4);
        for (int k = 0; k < 4; ++k)
            bytes[i * 4 + k] = static_cast<unsigned char>(bits >> (8 * k));
    }
    return bytes;
}
