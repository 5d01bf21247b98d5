#include <gtest/gtest.h>

#include "math/matrix4.h"

namespace {

Matrix4 sample(double base)
{
    Matrix4 m;
    for (int i = 0; i < 16; ++i)
        m.m[i] = base + i * 0.37 - (i % 3) * 1.1;
    return m;
}

TEST(Matrix4, ProductIsRowTimesColumnAndMayAliasEitherOperand)
{
    const Matrix4 a = sample(0.5), b = sample(-2.25);
    Matrix4 expected;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            expected.m[4 * r + c] = a.m[4 * r] * b.m[c] + a.m[4 * r + 1] * b.m[4 + c] +
                                    a.m[4 * r + 2] * b.m[8 + c] + a.m[4 * r + 3] * b.m[12 + c];
    Matrix4 distinct;
    a.multiply(distinct, b);
    Matrix4 left = a;
    left.multiply(left, b);
    Matrix4 right = b;
    a.multiply(right, right);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(distinct.m[i], expected.m[i]) << i;
        EXPECT_EQ(left.m[i], expected.m[i]) << i;
        EXPECT_EQ(right.m[i], expected.m[i]) << i;
    }
}

TEST(Matrix4, TransformRoundsOnceToFloatAndMayAliasTheSource)
{
    Matrix4 m;
    m.m[0] = 1.0 / 3.0;
    m.m[1] = 1e-9; // lost if the sum were rounded to float along the way
    const Vec4 p{1.0f, 1.0f, 0.0f, 0.0f};
    Vec4 out;
    m.transform(out, p);
    EXPECT_EQ(out.x, static_cast<float>(1.0 / 3.0 + 1e-9));

    const Matrix4 s = sample(1.5);
    const Vec4 source{0.25f, -3.5f, 7.0f, 1.0f};
    Vec4 distinct, same = source;
    s.transform(distinct, source);
    s.transform(same, same);
    EXPECT_EQ(same.x, distinct.x);
    EXPECT_EQ(same.y, distinct.y);
    EXPECT_EQ(same.z, distinct.z);
    EXPECT_EQ(same.w, distinct.w);
}

TEST(Matrix4, TranslationMovesPointsButNotDirections)
{
    Matrix4 t;
    t.m[3] = 1.0;
    t.m[7] = 2.0;
    t.m[11] = 3.0;
    Vec4 point{1.0f, 1.0f, 1.0f, 1.0f}, direction{1.0f, 1.0f, 1.0f, 0.0f};
    t.transform(point, point);
    t.transform(direction, direction);
    EXPECT_EQ(point.x, 2.0f);
    EXPECT_EQ(point.y, 3.0f);
    EXPECT_EQ(point.z, 4.0f);
    EXPECT_EQ(point.w, 1.0f);
    EXPECT_EQ(direction.x, 1.0f);
    EXPECT_EQ(direction.z, 1.0f);
    EXPECT_EQ(direction.w, 0.0f);
}

} // namespace
