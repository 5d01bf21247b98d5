#pragma once

#include "texture/image.h"

// Resizes each axis on its own: an axis that shrinks averages the source area under
// each output pixel; one that grows interpolates linearly between pixel centres,
// holding the edge values. An axis of the same size is copied unchanged.
Image resample(const Image& image, int width, int height);
