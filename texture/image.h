#pragma once

#include <vector>

// An RGB picture in the order a PNG stores it: top row first, left to right, each
// sample 0.0 (black) to 1.0 (full), alpha already composited or ignored.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<double> rgb; // width * height * 3
};
