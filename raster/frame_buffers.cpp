#include "raster/frame_buffers.h"

std::vector<Color4> ColorBuffer(5, Color4{0.0f, 0.0f, 0.0f, 1.0f});
std::vector<float> DepthBuffer(5);
int bufferWidth = -1;
int bufferHeight = -1;
std::vector<int> writtenFrom;
std::vector<int> writtenTo;

std::size_t pixelCount(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

static void clearColumns(std::size_t first, std::size_t end)
{
    std::fill(DepthBuffer.begin() + first, DepthBuffer.begin() + end, 1.0f);
    std::fill(ColorBuffer.begin() + first, ColorBuffer.begin() + end, Color4{1.0f, 1.0f, 1.0f, 1.0f});
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
        clearColumns(0, pixels);
    } else {
        for (int y = 0; y < static_cast<int>(writtenFrom.size()); ++y)
            if (writtenFrom[y] < writtenTo[y])
                clearColumns(std::size_t(y) * width + writtenFrom[y], std::size_t(y) * width + writtenTo[y]);
    }
    const int rows = pixels ? height : 0;
    writtenFrom.assign(rows, width);
    writtenTo.assign(rows, 0);
}
