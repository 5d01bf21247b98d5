#include "raster/frame_buffers.h"

std::vector<Color4> ColorBuffer(5, Color4{0.0f, 0.0f, 0.0f, 1.0f});
std::vector<float> DepthBuffer(5);
int bufferWidth = -1;
int bufferHeight = -1;
std::vector<int> writtenFrom, writtenTo;
std::vector<int> clearFrom, clearTo;

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

void sizeBuffers(int width, int height)
{
    const std::size_t pixels = pixelCount(width, height);
    const int rows = pixels ? height : 0;
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
        clearFrom.assign(rows, width);
        clearTo.assign(rows, 0);
    } else {
        for (int y = 0; y < rows; ++y) {
            clearFrom[y] = std::min(clearFrom[y], writtenFrom[y]);
            clearTo[y] = std::max(clearTo[y], writtenTo[y]);
        }
    }
    writtenFrom.assign(rows, width);
    writtenTo.assign(rows, 0);
}

void clearRows(int first, int end)
{
    end = std::min(end, static_cast<int>(clearFrom.size()));
    for (int y = std::max(first, 0); y < end; ++y) {
        if (clearFrom[y] < clearTo[y]) {
            const std::size_t row = static_cast<std::size_t>(y) * bufferWidth;
            clearColumns(row + clearFrom[y], row + clearTo[y]);
        }
        clearFrom[y] = bufferWidth;
        clearTo[y] = 0;
    }
}

void clearDepthRows(int first, int end)
{
    end = std::min(end, static_cast<int>(clearFrom.size()));
    for (int y = std::max(first, 0); y < end; ++y)
        if (clearFrom[y] < clearTo[y]) {
            const std::size_t row = static_cast<std::size_t>(y) * bufferWidth;
            std::fill(DepthBuffer.begin() + row + clearFrom[y], DepthBuffer.begin() + row + clearTo[y], 1.0f);
        }
}

void colorsCleared(int first, int end)
{
    end = std::min(end, static_cast<int>(clearFrom.size()));
    for (int y = std::max(first, 0); y < end; ++y) {
        clearFrom[y] = bufferWidth;
        clearTo[y] = 0;
    }
}

void prepareBuffers(int width, int height)
{
    sizeBuffers(width, height);
    clearRows(0, height);
}

void clearWholeRow(int y)
{
    const std::size_t row = static_cast<std::size_t>(y) * bufferWidth;
    clearColumns(row, row + bufferWidth);
    clearFrom[y] = bufferWidth;
    clearTo[y] = 0;
}
