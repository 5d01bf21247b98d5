#include <gtest/gtest.h>

#include <cmath>

#include "math/matrix_stack.h"

namespace {

// The product and the transform may write into an operand; a transform rounds once, at
// the end, and does not translate a direction. The elementary matrices, their angle
// constant and their order show in every frame (the golden frames).
TEST(Matrix4, ProductAndTransformMayAliasAndRoundOnce)
{
    Matrix4 m, n;
    m.m[0] = 1.0 / 3.0;
    m.m[1] = 1e-9; // lost if the sum were rounded to float along the way
    m.m[3] = 2.0;
    m.multiply(n, m);
    m.multiply(m, m);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(m.m[i], n.m[i]) << i;
    Vec4 point{1.0f, 1.0f, 0.0f, 1.0f}, direction{1.0f, 1.0f, 0.0f, 0.0f};
    n.transform(point, point);
    n.transform(direction, direction);
    EXPECT_EQ(direction.x, static_cast<float>(n.m[0] + n.m[1]));
    EXPECT_EQ(point.x, static_cast<float>(n.m[0] + n.m[1] + n.m[3]));
    EXPECT_EQ(direction.w, 0.0f);
}

TEST(MatrixStack, PushPopRestoresBitForBitAndLoadIdentityEmpties)
{
    MatrixStack stack;
    stack.rotateZ(-135);
    stack.perspective(0.4f, 0.3f, 0.1f, 10.0f);
    const Matrix4 before = stack.current;
    stack.push();
    stack.rotateX(17.25f);
    stack.translate(0.1f, -0.2f, 0.3f);
    stack.pop();
    stack.pop(); // nothing saved: current stays
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(stack.current.m[i], before.m[i]) << i;
    stack.push();
    stack.loadIdentity();
    EXPECT_TRUE(stack.saved.empty());
    EXPECT_TRUE(stack.current.m[0] == 1.0 && stack.current.m[1] == 0.0);
}

} // namespace
