#pragma once

#include <string>
#include <vector>

#include "inspect/rgb_image.h"
#include "texture/texture.h"

// Opens the program's own window (openWindow) at exactly width x height, builds the scene
// around `texture` and handles GLUT events until the window is mapped and reshape has
// set a width x height viewport. False with a one-line `error` if that never happens.
bool openSnapshotWindow(const char* programName, int width, int height, const Texture& texture,
                        std::string& error);

struct WindowFrame {
    RgbImage image;
    std::vector<float> depth; // bottom row first, normalised device depth; empty if not asked
};

// One frame of the program with the chosen renderer: drawFrame, the back buffer read
// back, then the swap.
WindowFrame captureWindowFrame(bool openGL, int width, int height, bool wantDepth);

// n more whole frames (drawFrame, swap, glFinish), each timed; the times in ms.
std::vector<double> timeWindowFrames(bool openGL, int n);
