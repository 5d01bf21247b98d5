#pragma once

#include <vector>

#include "math/matrix4.h"

// A transform under construction: each operation multiplies `current` on the right, so
// the operation named last acts first on a point.
struct MatrixStack {
    Matrix4 current;
    std::vector<Matrix4> saved;

    MatrixStack() = default;
    MatrixStack(const MatrixStack&) = delete;
    MatrixStack& operator=(const MatrixStack&) = delete;

    void loadIdentity();
    void push();
    // On an empty stack `current` is left as it is: there is nothing to restore.
    void pop();
    void translate(float x, float y, float z);
    void rotateX(float degrees);
    void rotateZ(float degrees);
    // a, b: half-extents of the view at unit distance; n, f: near and far distances.
    void perspective(float a, float b, float n, float f);
};

// Degrees to radians with the program's 3.14159/180, rounded to float as the
// rotations use it.
float radiansFromDegrees(float degrees);
