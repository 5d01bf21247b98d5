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

// What the fill has written since the buffers were last cleared: per row of the current
// size, the columns [writtenFrom, writtenTo). Everything outside still holds the cleared
// values, so the next clear need touch only these. The fill is the only writer.
extern std::vector<int> writtenFrom;
extern std::vector<int> writtenTo;

// width * height, or 0 when either is not positive.
std::size_t pixelCount(int width, int height);

// Reallocates both buffers when the size differs from the last frame's, then clears the
// pixels in use to white and depth 1.0: all of them after a reallocation, otherwise only
// the columns the last frame wrote.
void prepareBuffers(int width, int height);

// Records that the fill wrote columns [from, to) of row y.
inline void noteWritten(int y, int from, int to)
{
    writtenFrom[y] = std::min(writtenFrom[y], from);
    writtenTo[y] = std::max(writtenTo[y], to);
}
