#pragma once

#include "texture/texture.h"
#include "tools/sphaerix-snapshot/options.h"

// --ladder DIR and --explain X,Y: the OpenGL frame drawn in the program's window, then the
// software frame of the same view at each step of the ladder, compared with it. Returns
// the exit status: 0, or 1 without a display or for a file that cannot be written.
int ladderSnapshot(const char* programName, const SnapshotOptions& options, const Texture& texture);
