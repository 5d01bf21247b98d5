#pragma once

#include <string>
#include <vector>

#include "inspect/pixel_history.h"

// Why the pixel has its colour, in one to three plain sentences made from its history
// alone: who won it (or that nothing did), what failed or was drawn over and by how much,
// and how the lookup chose the winner's texel. Every number is the history's, printed as
// the history prints it; polygons go by their numbers.
std::vector<std::string> pixelReason(const PixelHistory& history);
