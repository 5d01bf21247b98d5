#pragma once

#include <cmath>

#include "math/matrix4.h"
#include "shade/texture_filter.h"

// Sphere-map texture coordinates of one corner, made as fixed-function OpenGL's
// GL_SPHERE_MAP generation makes them: from the unit vector u from the eye to the corner
// and the eye-space normal n, the reflection r = u - 2 n (n . u), m = 2 sqrt(rx^2 + ry^2 +
// (rz + 1)^2), s = rx / m + 1/2 and t = ry / m + 1/2. They are then interpolated across
// the primitive instead of looking up each pixel's interpolated normal.
struct SphereMapCoordinates {
    float eye[3];        // the corner in eye space
    float unit[3];       // u: the eye-space position at unit length
    float normal[3];     // n: the normal turned into eye space (not renormalised)
    float reflection[3]; // r
    float m;
    float s, t;
};

// In double from the float eye position and the object-space normal: n = M n with the
// model-view matrix's upper 3 x 3 in double (the camera only turns, so this is its own
// inverse transpose), every step in double, s and t each rounded once to float.
SphereMapCoordinates sphereMapCoordinates(const Matrix4& modelView, const float eye[3], const float normal[3]);

// x0*y0 + x1*y1 + x2*y2 in float as a chain: the first product rounded, then two fused
// steps.
template <typename Fma>
[[gnu::always_inline]] inline float dot3(const float* x, const float* y, Fma fma)
{
    return fma(x[2], y[2], fma(x[1], y[1], x[0] * y[0]));
}

// In float, for the single-precision corner arithmetic: the model-view matrix rounded to
// float (column by column, as OpenGL holds it), every sum a chain of fused multiply-adds,
// the lengths by float square roots and divisions.
template <typename Fma = FusedMultiplyAdd>
[[gnu::always_inline]] inline SphereMapCoordinates sphereMapCoordinatesInFloat(const float modelView[16], const float eye[3],
                                                                     const float normal[3], Fma fma = Fma{})
{
    SphereMapCoordinates c{};
    const float inverseLength = 1.0f / std::sqrt(dot3(eye, eye, fma));
    for (int i = 0; i < 3; ++i) {
        c.eye[i] = eye[i];
        c.unit[i] = eye[i] * inverseLength;
        const float row[3] = {modelView[i], modelView[4 + i], modelView[8 + i]};
        c.normal[i] = dot3(row, normal, fma);
    }
    const float twiceDot = 2.0f * dot3(c.normal, c.unit, fma);
    for (int i = 0; i < 3; ++i)
        c.reflection[i] = fma(-twiceDot, c.normal[i], c.unit[i]);
    const float shifted[3] = {c.reflection[0], c.reflection[1], c.reflection[2] + 1.0f};
    c.m = 2.0f * std::sqrt(dot3(shifted, shifted, fma));
    const float inverseM = 1.0f / c.m;
    c.s = fma(c.reflection[0], inverseM, 0.5f);
    c.t = fma(c.reflection[1], inverseM, 0.5f);
    return c;
}
