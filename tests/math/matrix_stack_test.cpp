#include <gtest/gtest.h>

#include <cmath>

#include "math/matrix_stack.h"

namespace {

bool isIdentity(const Matrix4& m)
{
    for (int i = 0; i < 16; ++i)
        if (m.m[i] != (i % 5 == 0 ? 1.0 : 0.0))
            return false;
    return true;
}

TEST(MatrixStack, ConstructionAndLoadIdentityGiveTheIdentityAndNoSavedMatrices)
{
    MatrixStack stack;
    EXPECT_TRUE(isIdentity(stack.current));
    EXPECT_TRUE(stack.saved.empty());
    stack.translate(1, 2, 3);
    stack.push();
    stack.rotateX(30);
    stack.push();
    stack.loadIdentity();
    EXPECT_TRUE(isIdentity(stack.current));
    EXPECT_TRUE(stack.saved.empty());
}

TEST(MatrixStack, PushThenPopRestoresBitForBitAndEmptyPopKeepsCurrent)
{
    MatrixStack stack;
    stack.rotateZ(-135);
    stack.perspective(0.4f, 0.3f, 0.1f, 10.0f);
    const Matrix4 before = stack.current;
    stack.push();
    stack.rotateX(17.25f);
    stack.translate(0.1f, -0.2f, 0.3f);
    stack.pop();
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(stack.current.m[i], before.m[i]) << i;

    stack.pop(); // nothing saved: nothing to restore
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(stack.current.m[i], before.m[i]) << i;
    EXPECT_TRUE(stack.saved.empty());
}

TEST(MatrixStack, TranslateThenRotateComposeOnTheRight)
{
    MatrixStack stack;
    stack.translate(1, 2, 3);
    EXPECT_EQ(stack.current.m[3], 1.0);
    EXPECT_EQ(stack.current.m[7], 2.0);
    EXPECT_EQ(stack.current.m[11], 3.0);
    stack.rotateZ(90);
    Vec4 d{1.0f, 0.0f, 0.0f, 0.0f};
    stack.current.transform(d, d);
    EXPECT_NEAR(d.x, 0.0f, 1e-5);
    EXPECT_NEAR(d.y, 1.0f, 1e-6);
    // The rotation acts first, so a point at the origin lands on the translation.
    Vec4 origin{0.0f, 0.0f, 0.0f, 1.0f};
    stack.current.transform(origin, origin);
    EXPECT_EQ(origin.x, 1.0f);
    EXPECT_EQ(origin.y, 2.0f);
    EXPECT_EQ(origin.z, 3.0f);
}

TEST(MatrixStack, AnglesUseTheProgramsPiAndAFloatRadian)
{
    // 90 degrees is 1.5707950 rad with 3.14159, not pi/2: cos is 1.3e-6, not 6e-17.
    const float r = radiansFromDegrees(90.0f);
    EXPECT_EQ(r, static_cast<float>(90.0 * 0.01745327777777778));
    MatrixStack stack;
    stack.rotateZ(90.0f);
    EXPECT_EQ(stack.current.m[0], std::cos(static_cast<double>(r)));
    EXPECT_EQ(stack.current.m[1], -std::sin(static_cast<double>(r)));
    EXPECT_GT(stack.current.m[0], 1e-6);

    MatrixStack x;
    x.rotateX(-60.0f);
    const double rx = static_cast<float>(-60.0 * 0.01745327777777778);
    EXPECT_EQ(x.current.m[5], std::cos(rx));
    EXPECT_EQ(x.current.m[6], -std::sin(rx));
    EXPECT_EQ(x.current.m[9], std::sin(rx));
    EXPECT_EQ(x.current.m[0], 1.0);
}

TEST(MatrixStack, PerspectiveElementsAreFormedInDoubleFromFloatArguments)
{
    MatrixStack stack;
    stack.perspective(0.4f, 0.4f, 0.1f, 10.0f);
    const Matrix4& p = stack.current;
    EXPECT_EQ(p.m[0], 1.0 / static_cast<double>(0.4f));
    EXPECT_NE(p.m[0], 2.5);
    EXPECT_EQ(p.m[5], p.m[0]);
    const double n = 0.1f, f = 10.0f;
    EXPECT_EQ(p.m[10], -(n + f) / (f - n));
    EXPECT_NEAR(p.m[10], -10.1 / 9.9, 1e-7);
    EXPECT_EQ(p.m[11], -2.0 * n * f / (f - n));
    EXPECT_NEAR(p.m[11], -2.0 / 9.9, 1e-7);
    EXPECT_EQ(p.m[14], -1.0);
    EXPECT_EQ(p.m[15], 0.0);
    EXPECT_EQ(p.m[1], 0.0);
    EXPECT_EQ(p.m[12], 0.0);
}

} // namespace
