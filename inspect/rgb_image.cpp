#include "inspect/rgb_image.h"

#include <cmath>
#include <cstdint>
#include <cstring>

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
