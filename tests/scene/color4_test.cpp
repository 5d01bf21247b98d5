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

TEST(ColorFromHsv, EverySectorAndThePrimaries)
{
    expectColor(colorFromHsv(0.0f, 1, 1, 0.25f), 1, 0, 0, 0.25f);
    expectColor(colorFromHsv(1.0f / 6, 1, 1, 1), 1, 1, 0, 1);
    expectColor(colorFromHsv(2.0f / 6, 1, 1, 1), 0, 1, 0, 1);
    expectColor(colorFromHsv(0.5f, 1, 1, 0.5f), 0, 1, 1, 0.5f);
    expectColor(colorFromHsv(4.0f / 6, 1, 1, 1), 0, 0, 1, 1);
    expectColor(colorFromHsv(5.0f / 6, 1, 1, 1), 1, 0, 1, 1);
    // Half-way through sector 1 (yellow towards green): q = 0.5.
    expectColor(colorFromHsv(0.25f, 1, 1, 1), 0.5f, 1, 0, 1);
    // The scene's blue: (0, 0.036, 0.9).
    const Color4 blue = colorFromHsv(0.66f, 1, 0.9f, 1);
    EXPECT_EQ(blue.r, 0.0f);
    EXPECT_NEAR(blue.g, 0.036f, 5e-4);
    EXPECT_FLOAT_EQ(blue.b, 0.9f);
}

TEST(ColorFromHsv, GreyWrapAndNegativeHues)
{
    expectColor(colorFromHsv(0.37f, 0, 1.5f, 0.5f), 1.5f, 1.5f, 1.5f, 0.5f);
    const Color4 zero = colorFromHsv(0.0f, 0.8f, 0.6f, 1), one = colorFromHsv(1.0f, 0.8f, 0.6f, 1);
    expectColor(one, zero.r, zero.g, zero.b, zero.a);
    const Color4 half = colorFromHsv(0.5f, 1, 1, 1), oneAndHalf = colorFromHsv(1.5f, 1, 1, 1);
    expectColor(oneAndHalf, half.r, half.g, half.b, half.a);
    // A negative sector matches nothing, alpha included.
    expectColor(colorFromHsv(-0.5f, 1, 1, 0.3f), 0, 0, 0, 1);
    // Hues between -1/6 and 0 truncate to sector 0.
    EXPECT_FLOAT_EQ(colorFromHsv(-0.1f, 1, 1, 1).r, 1.0f);
}

TEST(ColorFromHsv, HuesBeyondTheIntRangeAreSafe)
{
    const float inf = std::numeric_limits<float>::infinity();
    expectColor(colorFromHsv(inf, 1, 1, 1), 0, 0, 0, 1);
    expectColor(colorFromHsv(std::numeric_limits<float>::quiet_NaN(), 1, 1, 1), 0, 0, 0, 1);
    // 6e9 turns is a whole number of turns times 6: sector 0, no fraction.
    expectColor(colorFromHsv(1e9f, 1, 1, 1), 1, 0, 0, 1);
    expectColor(colorFromHsv(-1e9f, 1, 1, 1), 1, 0, 0, 1);
}

} // namespace
