#include <gtest/gtest.h>

#include <limits>

#include "scene/color4.h"

namespace {

// Sectors, grey, whole turns, and hues that match no sector or are not finite.
TEST(ColorFromHsv, SectorsGreyWrapAndOutOfRangeHues)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float h, s, v, a;
        Color4 expected;
    } cases[] = {{0, 1, 1, 0.25f, {1, 0, 0, 0.25f}},     {0.25f, 1, 1, 1, {0.5f, 1, 0, 1}},  // mid sector 1
                 {0.5f, 1, 1, 0.5f, {0, 1, 1, 0.5f}},    {5.0f / 6, 1, 1, 1, {1, 0, 1, 1}},
                 {0.37f, 0, 1.5f, 0.5f, {1.5f, 1.5f, 1.5f, 0.5f}}, {1.5f, 1, 1, 1, {0, 1, 1, 1}},
                 {-0.5f, 1, 1, 0.3f, {0, 0, 0, 1}},      {-0.1f, 1, 1, 1, {1, -0.6f, 0, 1}}, // sector 0
                 {inf, 1, 1, 1, {0, 0, 0, 1}},           {nan, 1, 1, 1, {0, 0, 0, 1}},
                 {-1e9f, 1, 1, 1, {1, 0, 0, 1}},         {0.66f, 1, 0.9f, 1, {0, 0.036f, 0.9f, 1}}};
    for (const auto& c : cases) {
        const Color4 got = colorFromHsv(c.h, c.s, c.v, c.a);
        const float g[4] = {got.r, got.g, got.b, got.a}, e[4] = {c.expected.r, c.expected.g, c.expected.b, c.expected.a};
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(g[i], e[i], 5e-4) << "hue " << c.h << ", component " << i;
    }
}

} // namespace
