#include "shade/sphere_map_coordinates.h"

#include <cmath>


SphereMapCoordinates sphereMapCoordinates(const Matrix4& modelView, const float eye[3], const float normal[3])
{
    SphereMapCoordinates c{};
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

