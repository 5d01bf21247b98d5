#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "scene/color4.h"

// The software frame: one entry per pixel, index y * width + x, row 0 at the bottom,
// plus 1000 spare entries that nothing reads. Placeholders of 5 entries until the first
// frame sizes them.
extern std::vector<Color4> ColorBuffer;
extern std::vector<float> DepthBuffer;   // normalised device depth; 1.0 is empty
extern int bufferWidth;                  // size the buffers were made for; -1 before
extern int bufferHeight;                 // the first frame

// Per row of the current size, the columns [writtenFrom, writtenTo) that the fill has
// written this frame, and [clearFrom, clearTo) those written before and not yet cleared.
// Everything outside both holds the cleared values, so a clear need touch only those
// columns. The fill is the only writer.
extern std::vector<int> writtenFrom, writtenTo;
extern std::vector<int> clearFrom, clearTo;

// width * height, or 0 when either is not positive.
std::size_t pixelCount(int width, int height);

// The start of a frame: reallocates both buffers, cleared, when the size differs from
// the last frame's; otherwise what the last frame wrote becomes due for clearing.
void sizeBuffers(int width, int height);

// Clears the columns of rows [first, end) that are due, to white and depth 1.0.
void clearRows(int first, int end);

// Clears only the depth of the due columns of rows [first, end). Their colour stays due
// until the caller has cleared or overwritten it and says so with colorsCleared.
void clearDepthRows(int first, int end);
void colorsCleared(int first, int end);

// Row y cleared whole, whatever is due: for a frame drawn again on that row alone.
void clearWholeRow(int y);

// sizeBuffers and every row cleared: the buffers ready for any writer.
void prepareBuffers(int width, int height);

// Records that the fill wrote columns [from, to) of row y.
inline void noteWritten(int y, int from, int to)
{
    writtenFrom[y] = std::min(writtenFrom[y], from);
    writtenTo[y] = std::max(writtenTo[y], to);
}
