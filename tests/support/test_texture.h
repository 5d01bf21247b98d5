#pragma once

#include "scene/color4.h"
#include "texture/texture.h"

// A texture whose texel (u, v) holds the bytes (u, v, 7), so a colour names its texel.
Texture distinctTexture();

// Column and row of the texel of distinctTexture that a colour was read from.
int texelColumn(const Color4& color);
int texelRow(const Color4& color);
