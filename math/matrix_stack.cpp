#include "math/matrix_stack.h"

#include <cmath>

void MatrixStack::loadIdentity()
{
    std::vector<Matrix4>().swap(saved);
    current.setIdentity();
}

void MatrixStack::push()
{
    saved.push_back(current);
}

void MatrixStack::pop()
{
    if (saved.empty())
        return;
    current = saved.back();
    saved.pop_back();
}

static Matrix4 zeroMatrix()
{
    Matrix4 z;
    for (double& e : z.m)
        e = 0.0;
    return z;
}

void MatrixStack::translate(float x, float y, float z)
{
    Matrix4 t;
    t.m[3] = x;
    t.m[7] = y;
    t.m[11] = z;
    current.multiply(current, t);
}

float radiansFromDegrees(float degrees)
{
    // 3.14159/180, not pi/180: the angle is part of the image contract.
    return static_cast<float>(static_cast<double>(degrees) * 0.01745327777777778);
}

void MatrixStack::rotateX(float degrees)
{
    const double r = radiansFromDegrees(degrees);
    const double c = std::cos(r), s = std::sin(r);
    Matrix4 t;
    t.m[5] = c;
    t.m[6] = -s;
    t.m[9] = s;
    t.m[10] = c;
    current.multiply(current, t);
}

void MatrixStack::rotateZ(float degrees)
{
    const double r = radiansFromDegrees(degrees);
    const double c = std::cos(r), s = std::sin(r);
    Matrix4 t;
    t.m[0] = c;
    t.m[1] = -s;
    t.m[4] = s;
    t.m[5] = c;
    current.multiply(current, t);
}

void MatrixStack::perspective(float a, float b, float n, float f)
{
    // Every element in double from the float arguments: (0,0) of a = 0.4f is
    // 1/0.4000000059604645, not 2.5.
    const double dn = n, df = f;
    Matrix4 p = zeroMatrix();
    p.m[0] = 1.0 / static_cast<double>(a);
    p.m[5] = 1.0 / static_cast<double>(b);
    p.m[10] = -(dn + df) / (df - dn);
    p.m[11] = -2.0 * dn * df / (df - dn);
    p.m[14] = -1.0;
    current.multiply(current, p);
}
