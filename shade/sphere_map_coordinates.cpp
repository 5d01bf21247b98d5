#include "shade/sphere_map_coordinates.h"

#include <cmath>

#include "shade/texture_filter.h"

SphereMapCorner sphereMapCorner(const Matrix4& modelView, const float eye[3], const float normal[3])
{
    SphereMapCorner c{};
    const double* m = modelView.m;
    const double e[3] = {eye[0], eye[1], eye[2]};
    const double inverseLength = 1.0 / std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
    double u[3], n[3];
    for (int i = 0; i < 3; ++i) {
        c.eye[i] = eye[i];
        u[i] = e[i] * inverseLength;
        n[i] = m[4 * i] * normal[0] + m[4 * i + 1] * normal[1] + m[4 * i + 2] * normal[2];
    }
    const double twiceDot = 2.0 * (n[0] * u[0] + n[1] * u[1] + n[2] * u[2]);
    double r[3];
    for (int i = 0; i < 3; ++i)
        r[i] = u[i] - twiceDot * n[i];
    const double mm = 2.0 * std::sqrt(r[0] * r[0] + r[1] * r[1] + (r[2] + 1.0) * (r[2] + 1.0));
    for (int i = 0; i < 3; ++i) {
        c.unit[i] = static_cast<float>(u[i]);
        c.normal[i] = static_cast<float>(n[i]);
        c.reflection[i] = static_cast<float>(r[i]);
    }
    c.m = static_cast<float>(mm);
    c.s = static_cast<float>(r[0] / mm + 0.5);
    c.t = static_cast<float>(r[1] / mm + 0.5);
    return c;
}

namespace {

// x0*y0 + x1*y1 + x2*y2 as a chain: the first product rounded, then two fused steps.
float dot3(const float* x, const float* y)
{
    return fusedMultiplyAdd(x[2], y[2], fusedMultiplyAdd(x[1], y[1], x[0] * y[0]));
}

} // namespace

SphereMapCorner sphereMapCornerInFloat(const float modelView[16], const float eye[3], const float normal[3])
{
    SphereMapCorner c{};
    const float inverseLength = 1.0f / std::sqrt(dot3(eye, eye));
    for (int i = 0; i < 3; ++i) {
        c.eye[i] = eye[i];
        c.unit[i] = eye[i] * inverseLength;
        // Row i of the model-view matrix, held column by column as OpenGL holds it.
        const float row[3] = {modelView[i], modelView[4 + i], modelView[8 + i]};
        c.normal[i] = dot3(row, normal);
    }
    const float twiceDot = 2.0f * dot3(c.normal, c.unit);
    for (int i = 0; i < 3; ++i)
        c.reflection[i] = fusedMultiplyAdd(-twiceDot, c.normal[i], c.unit[i]);
    const float shifted[3] = {c.reflection[0], c.reflection[1], c.reflection[2] + 1.0f};
    c.m = 2.0f * std::sqrt(dot3(shifted, shifted));
    const float inverseM = 1.0f / c.m;
    c.s = fusedMultiplyAdd(c.reflection[0], inverseM, 0.5f);
    c.t = fusedMultiplyAdd(c.reflection[1], inverseM, 0.5f);
    return c;
}
