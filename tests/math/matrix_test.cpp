#include <gtest/gtest.h>

#include <cmath>

#include "math/matrix_stack.h"

namespace {

// The product and the transform may write into an operand; a transform rounds once, at
// the end, and does not translate a direction. Every frame uses both (the golden frames).
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

// Operations compose on the right; angles use 3.14159/180 and a float angle (90 degrees
// has a cosine of 1.3e-6, not 0); perspective is formed in double from float arguments.
TEST(MatrixStack, ElementaryMatricesWithTheProgramsConstants)
{
    MatrixStack stack;
    stack.translate(1, 2, 3);
    stack.rotateZ(90);
    const double r = static_cast<float>(90.0 * 0.01745327777777778);
    EXPECT_EQ(stack.current.m[0], std::cos(r));
    EXPECT_EQ(stack.current.m[1], -std::sin(r));
    EXPECT_EQ(stack.current.m[3], 1.0);
    MatrixStack x;
    x.rotateX(-60.0f);
    const double rx = static_cast<float>(-60.0 * 0.01745327777777778);
    EXPECT_EQ(x.current.m[6], -std::sin(rx));
    EXPECT_EQ(x.current.m[9], std::sin(rx));

    MatrixStack p;
    p.perspective(0.4f, 0.4f, 0.1f, 10.0f);
    EXPECT_EQ(p.current.m[0], 1.0 / static_cast<double>(0.4f)); // not 2.5
    EXPECT_EQ(p.current.m[5], p.current.m[0]);
    EXPECT_NEAR(p.current.m[10], -10.1 / 9.9, 1e-7);
    EXPECT_NEAR(p.current.m[11], -2.0 / 9.9, 1e-7);
    EXPECT_TRUE(p.current.m[14] == -1.0 && p.current.m[15] == 0.0);
}

} // namespace
