#include "math/matrix4.h"

Matrix4& Matrix4::setIdentity()
{
    for (int i = 0; i < 16; ++i)
        m[i] = (i % 5 == 0) ? 1.0 : 0.0;
    return *this;
}

Matrix4& Matrix4::multiply(Matrix4& destination, const Matrix4& other) const
{
    // Summed left to right in double; the temporary lets destination alias an operand.
    double t[16];
    const double* b = other.m;
    for (int r = 0; r < 4; ++r) {
        const double* a = m + 4 * r;
        for (int c = 0; c < 4; ++c)
            t[4 * r + c] = a[0] * b[c] + a[1] * b[4 + c] + a[2] * b[8 + c] + a[3] * b[12 + c];
    }
    for (int i = 0; i < 16; ++i)
        destination.m[i] = t[i];
    return destination;
}

Vec4& Matrix4::transform(Vec4& destination, const Vec4& source) const
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
