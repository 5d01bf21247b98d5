#pragma once

#include <string>
#include <vector>

#include "inspect/rgb_image.h"
#include "texture/texture.h"
#include "tools/sphaerix-snapshot/options.h"

// The software frame straight from the program's pipeline, with no OpenGL, GLUT or X:
// -o and --depth, the debug views, the pixel history, the polygon trace and the
// comparisons with another rasterizer's files, then the timed frames. Returns the exit
// status: 0, 1 for a file problem, 2 for a polygon the frame does not have, 3 when a
// comparison found differences.
int softwareSnapshot(const SnapshotOptions& options, const Texture& texture);

// "sphaerix-snapshot: MESSAGE" on standard error; status 1.
int fail(const std::string& message);
// The same with the usage reminder; status 2.
int usageError(const std::string& message);

// -o with `image` and --depth with `depth` (bottom row first), when asked for; 0 or 1.
int writeOutputs(const SnapshotOptions& options, const RgbImage& image, const float* depth);
// The software frame's depth as --depth writes it (the device scale under every rule).
std::vector<float> softwareDepth(const SnapshotOptions& options);
// "frames: N, median: X ms" when frames were timed.
void printTiming(const std::vector<double>& samples);
