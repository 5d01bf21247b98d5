#pragma once

#include "math/matrix4.h"

// Sphere-map texture coordinates of one corner, made as fixed-function OpenGL's
// GL_SPHERE_MAP generation makes them: from the unit vector u from the eye to the corner
// and the eye-space normal n, the reflection r = u - 2 n (n . u), m = 2 sqrt(rx^2 + ry^2 +
// (rz + 1)^2), s = rx / m + 1/2 and t = ry / m + 1/2. They are then interpolated across
// the primitive instead of looking up each pixel's interpolated normal.
struct SphereMapCorner {
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
SphereMapCorner sphereMapCorner(const Matrix4& modelView, const float eye[3], const float normal[3]);

// In float, for the single-precision corner arithmetic: the model-view matrix rounded to
// float, every sum a chain of fused multiply-adds, the lengths by float square roots.
SphereMapCorner sphereMapCornerInFloat(const float modelView[16], const float eye[3], const float normal[3]);
