#include "raster/frame_buffers.h"

#include <algorithm>

std::vector<Color4> ColorBuffer(5, Color4{0.0f, 0.0f, 0.0f, 1.0f});
std::vector<float> DepthBuffer(5);
int bufferWidth = -1;
int bufferHeight = -1;

std::size_t pixelCount(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

void prepareBuffers(int width, int height)
{
    const std::size_t pixels = pixelCount(width, height);
    if (width != bufferWidth || height != bufferHeight) {
        const std::size_t n = pixels + 1000;
        // Release the old arrays before the new ones exist: a resize never holds both.
        std::vector<float>().swap(DepthBuffer);
        std::vector<Color4>().swap(ColorBuffer);
        DepthBuffer.resize(n);
        ColorBuffer.assign(n, Color4{0.0f, 0.0f, 0.0f, 1.0f});
        bufferWidth = width;
        bufferHeight = height;
    }
    std::fill_n(DepthBuffer.begin(), pixels, 1.0f);
    std::fill_n(ColorBuffer.begin(), pixels, Color4{1.0f, 1.0f, 1.0f, 1.0f});
}
