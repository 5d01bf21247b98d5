#pragma once

#include "tools/snapshot/options.h"

// The software frame straight from the program's pipeline, with no OpenGL, GLUT or X:
// -o and --depth, the debug views, the pixel history, the polygon trace and the
// comparisons with another rasterizer's files, then the timed frames. Returns the exit
// status: 0, 1 for a file problem, 2 for a polygon the frame does not have, 3 when a
// comparison found differences.
int softwareSnapshot(const SnapshotOptions& options);

// "sphaerix-snapshot: MESSAGE" on standard error; status 1.
int fail(const std::string& message);
// The same with the usage reminder; status 2.
int usageError(const std::string& message);
