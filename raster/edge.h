#pragma once

#include <climits>

#include "scene/scene.h"

// One polygon side in window coordinates (x, y in pixels, z the device depth), from its
// start (the smaller y) towards its end, with the change of each value per unit of y.
struct Edge {
    float x = 0.0f, y = 0.0f, z = 0.0f;  // current point; y keeps the start row
    float xEnd = 0.0f, yEnd = 0.0f, zEnd = 0.0f;
    float dxdy = 0.0f;
    float dzdy = 0.0f;
    float normal[3] = {0.0f, 0.0f, 0.0f};
    float normalEnd[3] = {0.0f, 0.0f, 0.0f};
    float dNormalDy[3] = {0.0f, 0.0f, 0.0f};
    bool retired = false;

    // a and b are window-space corners; on equal y, a is the start. A start below row 0
    // is moved along the side onto y = 0.
    Edge& setUp(const Vertex& a, const Vertex& b);
};

// Float to int toward zero, saturating at the int range; NaN gives INT_MIN, which no
// row or column reaches. Equal to a plain truncation whenever that is defined.
inline int truncateToInt(float value)
{
    if (value >= 2147483648.0f)
        return INT_MAX;
    if (value >= -2147483648.0f)
        return static_cast<int>(value);
    return INT_MIN; // below the range, or NaN
}

// True when the edge covers no scan line of the window: start and end truncate to the
// same row, the end lies at or below row 0, or either y is NaN.
bool coversNoRow(const Edge& edge);
