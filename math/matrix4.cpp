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
