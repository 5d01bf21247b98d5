#pragma once

#include "scene/color4.h"
#include "scene/scene.h"

// Colour of byte b: b times the float nearest to 1/255.
constexpr float byteToUnit = 0.003921569f;

// Pixels of a mesh without a texture: magenta, the usual "texture missing" colour, so
// that the gap cannot pass for a rendering.
constexpr Color4 missingTextureColor{1.0f, 0.0f, 1.0f, 1.0f};

// Colour of a pixel from its interpolated object-space normal: the normal is turned
// into eye space by the model-view matrix and its x, y index the texture as a sphere map.
// A zero or non-finite normal reads texel (0, 0).
Color4 sphereMapLookup(const Scene& scene, float nx, float ny, float nz, const Mesh& mesh);
