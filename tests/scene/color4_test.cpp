#include <gtest/gtest.h>

#include <limits>

#include "scene/color4.h"

namespace {

void expectColor(const Color4& c, float r, float g, float b, float a)
{
    EXPECT_FLOAT_EQ(c.r, r);
    EXPECT_FLOAT_EQ(c.g, g);
    EXPECT_FLOAT_EQ(c.b, b);
    EXPECT_FLOAT_EQ(c.a, a);
}

TEST(ColorFromHsv, SectorsGreyWrapAndOutOfRangeHues)
{
    expectColor(colorFromHsv(0.0f, 1, 1, 0.25f), 1, 0, 0, 0.25f);
    expectColor(colorFromHsv(0.25f, 1, 1, 1), 0.5f, 1, 0, 1); // half-way through sector 1
    expectColor(colorFromHsv(0.5f, 1, 1, 0.5f), 0, 1, 1, 0.5f);
    expectColor(colorFromHsv(5.0f / 6, 1, 1, 1), 1, 0, 1, 1);
    expectColor(colorFromHsv(0.37f, 0, 1.5f, 0.5f), 1.5f, 1.5f, 1.5f, 0.5f);
    expectColor(colorFromHsv(1.5f, 1, 1, 1), 0, 1, 1, 1);
    expectColor(colorFromHsv(-0.5f, 1, 1, 0.3f), 0, 0, 0, 1); // negative sector: nothing
    EXPECT_FLOAT_EQ(colorFromHsv(-0.1f, 1, 1, 1).r, 1.0f);   // truncates to sector 0
    expectColor(colorFromHsv(std::numeric_limits<float>::infinity(), 1, 1, 1), 0, 0, 0, 1);
    expectColor(colorFromHsv(std::numeric_limits<float>::quiet_NaN(), 1, 1, 1), 0, 0, 0, 1);
    expectColor(colorFromHsv(-1e9f, 1, 1, 1), 1, 0, 0, 1); // whole turns: sector 0
    const Color4 blue = colorFromHsv(0.66f, 1, 0.9f, 1);
    EXPECT_NEAR(blue.g, 0.036f, 5e-4);
    EXPECT_FLOAT_EQ(blue.b, 0.9f);
}

} // namespace
