#pragma once

#include "math/vec4.h"

// 4x4 double-precision matrix, row by row (element (r, c) at index 4r + c), acting on
// column vectors: a translation lives in indices 3, 7 and 11.
struct Matrix4 {
    double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    Matrix4& setIdentity();
    // destination = this * other; destination may be this or other.
    Matrix4& multiply(Matrix4& destination, const Matrix4& other) const;
    // destination = this * source, each component rounded once to float; destination
    // may be source.
    Vec4& transform(Vec4& destination, const Vec4& source) const;
};
