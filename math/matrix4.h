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
    // Inline: the frame driver runs it twice per polygon corner.
    Vec4& transform(Vec4& destination, const Vec4& source) const
    {
        // Read every source component before writing: destination may be source.
        const double x = source.x, y = source.y, z = source.z, w = source.w;
        const float rx = static_cast<float>(m[0] * x + m[1] * y + m[2] * z + m[3] * w);
        const float ry = static_cast<float>(m[4] * x + m[5] * y + m[6] * z + m[7] * w);
        const float rz = static_cast<float>(m[8] * x + m[9] * y + m[10] * z + m[11] * w);
        const float rw = static_cast<float>(m[12] * x + m[13] * y + m[14] * z + m[15] * w);
        destination.x = rx;
        destination.y = ry;
        destination.z = rz;
        destination.w = rw;
        return destination;
    }
};
