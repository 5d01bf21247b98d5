#pragma once

#include <vector>

// Our sphere map: a glossy blue ball lit from the upper left, filling the circle
// inscribed in the texture, with plain corners. Raw layout (row 0 at the bottom); the
// same bytes on every run.
std::vector<unsigned char> generateSphereMap();

// The corners' colour, as bytes.
constexpr unsigned char sphereMapCorner[3] = {4, 10, 38};
