#include <gtest/gtest.h>

#include <limits>

#include "raster/software_frame.h"
#include "raster_fixtures.h"

namespace {

TEST(EdgeSetUp, TheLowerCornerStartsAndEqualHeightsStartAtA)
{
    const Edge down = edgeBetween(corner(1, 8, 0.5f, 1, 0, 0), corner(5, 3, -0.5f, 0, 1, 0));
    EXPECT_EQ(down.x, 5.0f);
    EXPECT_EQ(down.y, 3.0f);
    EXPECT_EQ(down.xEnd, 1.0f);
    EXPECT_EQ(down.yEnd, 8.0f);
    EXPECT_FLOAT_EQ(down.dxdy, -4.0f / 5);
    EXPECT_FLOAT_EQ(down.dzdy, 1.0f / 5);
    EXPECT_FLOAT_EQ(down.dNormalDy[0], 1.0f / 5);
    EXPECT_FLOAT_EQ(down.dNormalDy[1], -1.0f / 5);
    EXPECT_EQ(down.normal[1], 1.0f);
    EXPECT_EQ(down.normalEnd[0], 1.0f);

    const Edge level = edgeBetween(corner(7, 4, 0), corner(2, 4, 0));
    EXPECT_EQ(level.x, 7.0f);
    EXPECT_EQ(level.xEnd, 2.0f);
}

TEST(EdgeSetUp, AStartBelowRowZeroIsMovedOntoIt)
{
    Edge edge;
    edge.retired = true;
    edge.setUp(corner(8, 6, 0, 0, 0, 0), corner(0, -2, 0, 0, 0, 0));
    EXPECT_FALSE(edge.retired);
    EXPECT_EQ(edge.y, 0.0f);
    EXPECT_EQ(edge.x, 2.0f);
    EXPECT_EQ(edge.dxdy, 1.0f);
    EXPECT_EQ(edge.xEnd, 8.0f);
    EXPECT_EQ(edge.yEnd, 6.0f);

    const Edge atZero = edgeBetween(corner(3, 0, 0.25f), corner(9, 5, 0));
    EXPECT_EQ(atZero.x, 3.0f);
    EXPECT_EQ(atZero.z, 0.25f);
}

TEST(EdgeSetUp, IncrementsAreDoubleProductsRoundedOnce)
{
    // r = 1/3 in double; a float r would give a different dxdy here.
    const Edge edge = edgeBetween(corner(0.1f, 0, 0), corner(1.7f, 3, 0));
    const double r = 1.0 / 3.0;
    EXPECT_EQ(edge.dxdy, static_cast<float>((static_cast<double>(1.7f) - 0.1f) * r));
    const Edge clipped = edgeBetween(corner(0.3f, -0.7f, 0.1f), corner(2.9f, 5.3f, -0.4f));
    EXPECT_EQ(clipped.x, static_cast<float>(0.3f + static_cast<double>(0.7f) * clipped.dxdy));
    EXPECT_EQ(clipped.z, static_cast<float>(0.1f + static_cast<double>(0.7f) * clipped.dzdy));
}

TEST(EdgeDropRule, EdgesThatCoverNoScanLineAreDropped)
{
    EXPECT_TRUE(coversNoRow(edgeBetween(corner(0, 10.2f, 0), corner(5, 10.9f, 0))));
    EXPECT_FALSE(coversNoRow(edgeBetween(corner(0, 10.9f, 0), corner(5, 11.0f, 0))));
    EXPECT_TRUE(coversNoRow(edgeBetween(corner(0, -5, 0), corner(5, 0, 0))));
    EXPECT_TRUE(coversNoRow(edgeBetween(corner(0, -5, 0), corner(5, -1, 0))));
    EXPECT_FALSE(coversNoRow(edgeBetween(corner(0, 5000, 0), corner(5, 6000, 0))));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(coversNoRow(edgeBetween(corner(0, nan, 0), corner(5, 6, 0))));
    // Truncations far beyond the int range still compare as whole numbers.
    EXPECT_TRUE(coversNoRow(edgeBetween(corner(0, 3e10f, 0), corner(5, 3e10f, 0))));
    EXPECT_FALSE(coversNoRow(edgeBetween(corner(0, -3e10f, 0), corner(5, 3e10f, 0))));
}

TEST(TruncateToInt, TowardZeroAndSaturating)
{
    EXPECT_EQ(truncateToInt(3.9f), 3);
    EXPECT_EQ(truncateToInt(-3.9f), -3);
    EXPECT_EQ(truncateToInt(-0.5f), 0);
    EXPECT_EQ(truncateToInt(3e9f), std::numeric_limits<int>::max());
    EXPECT_EQ(truncateToInt(-3e9f), std::numeric_limits<int>::min());
    EXPECT_EQ(truncateToInt(std::numeric_limits<float>::quiet_NaN()), std::numeric_limits<int>::min());
}

TEST(WindowCorner, DeviceAndWindowCoordinatesRoundOnceEach)
{
    // A case where losing the float rounding of the device y (as a vectorizing compiler
    // has been seen to do) moves the window y by one unit in the last place.
    Scene scene;
    Vertex v;
    v.position = Vec4{0.0f, 0x1.b1d0eep-3f, 0.0f, 0x1.2542cep+1f};
    const Vertex w = windowCorner(scene, v, 480, 480);
    EXPECT_EQ(w.position.y, 0x1.063074p+8f);
    EXPECT_EQ(w.position.w, 1.0f);

    v.position = Vec4{-0.5f, 0.25f, 0.75f, 2.0f};
    v.normal[0] = 0.3f;
    const Vertex u = windowCorner(scene, v, 640, 200);
    EXPECT_EQ(u.position.x, 640 * 0.75f * 0.5f);
    EXPECT_EQ(u.position.y, 200 * 1.125f * 0.5f);
    EXPECT_EQ(u.position.z, 0.375f);
    EXPECT_EQ(u.normal[0], 0.3f);
}

} // namespace
