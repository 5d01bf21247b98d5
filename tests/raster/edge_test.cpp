#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "app/camera.h"
#include "raster/projection.h"
#include "raster_fixtures.h"

namespace {

// The lower corner starts (a on equal y); increments are double products rounded once;
// a start below row 0 moves along the side onto it, a start at 0 does not.
TEST(EdgeSetUp, StartIncrementsAndTheClipAtRowZero)
{
    const Edge down = edgeBetween(corner(1, 8, 0.5f, 1, 0, 0), corner(5, 3, -0.5f, 0, 1, 0));
    EXPECT_TRUE(down.x == 5 && down.y == 3 && down.yEnd == 8 && down.normal[1] == 1 && down.normalEnd[0] == 1);
    EXPECT_FLOAT_EQ(down.dzdy, 1.0f / 5);
    EXPECT_FLOAT_EQ(down.dNormalDy[1], -1.0f / 5);
    EXPECT_EQ(edgeBetween(corner(7, 4, 0), corner(2, 4, 0)).x, 7.0f);
    // r = 1/5 stays double; a float r would give the next float up here.
    EXPECT_EQ(edgeBetween(corner(0, 0, 0), corner(0.1f, 5, 0)).dxdy, 0x1.47ae14p-6f);

    Edge edge;
    edge.retired = true;
    edge.setUp(corner(8, 6, 0, 0, 0, 0), corner(0, -2, 0, 0, 0, 0));
    EXPECT_TRUE(!edge.retired && edge.y == 0 && edge.x == 2 && edge.dxdy == 1 && edge.xEnd == 8);
    const Edge clipped = edgeBetween(corner(0.3f, -0.7f, 0.1f), corner(2.9f, 5.3f, -0.4f));
    EXPECT_EQ(clipped.z, static_cast<float>(0.1f + static_cast<double>(0.7f) * clipped.dzdy));
    EXPECT_EQ(edgeBetween(corner(3, 0, 0.25f), corner(9, 5, 0)).x, 3.0f);
}

TEST(EdgeDropRule, EdgesThatCoverNoScanLineAreDropped)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float y0, y1;
        bool dropped;
    } cases[] = {{10.2f, 10.9f, true}, {10.9f, 11.0f, false}, {-5, 0, true}, {-5, -1, true},
                 {5000, 6000, false},  {nan, 6, true},         {3e10f, 3e10f, true},
                 {-3e10f, 3e10f, false}, {3e9f, 4e9f, false}};
    for (const auto& c : cases)
        EXPECT_EQ(coversNoRow(edgeBetween(corner(0, c.y0, 0), corner(5, c.y1, 0))), c.dropped)
            << c.y0 << " " << c.y1;
    EXPECT_EQ(truncateToInt(-3.9f), -3);
    EXPECT_EQ(truncateToInt(3e9f), std::numeric_limits<int>::max());
    EXPECT_EQ(truncateToInt(nan), std::numeric_limits<int>::min());
}

// The four-lane projection against the one-corner definition, bit for bit, over views
// and positions from the ordinary to the absurd (behind the eye, w = 0, NaN, infinity).
TEST(Projection, EveryLaneProjectsAsTheSingleCorner)
{
    std::mt19937 random(5);
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {0.0f, -0.0f, 1e-30f, 3e38f, -inf, std::nanf(""), 1.0f};
    auto value = [&](float range) {
        return random() % 8 == 0 ? specials[random() % std::size(specials)]
                                 : std::uniform_real_distribution<float>(-range, range)(random);
    };
    Scene scene;
    for (int view = 0; view < 40; ++view) {
        angleZ = value(400);
        angleX = value(400);
        panX = value(1000);
        panY = value(1000);
        zoom = value(14);
        const int width = 1 + static_cast<int>(random() % 2000), height = 1 + static_cast<int>(random() % 2000);
        setupCamera(scene, width, height);
        std::vector<Vertex> vertices(103), corners(vertices.size());
        for (Vertex& v : vertices) {
            v.position = Vec4{value(2), value(2), value(2), view % 4 ? 1.0f : value(2)};
            for (float& n : v.normal)
                n = value(1);
        }
        projectCorners(scene, vertices.data(), static_cast<int>(vertices.size()), width, height,
                       corners.data());
        for (std::size_t k = 0; k < vertices.size(); ++k) {
            const Vertex expected = windowCorner(scene, vertices[k], width, height);
            const float* e = &expected.position.x;
            const float* a = &corners[k].position.x;
            for (int i = 0; i < 4; ++i) // a NaN's sign follows the compiler's operand order
                ASSERT_TRUE(std::isnan(e[i]) ? std::isnan(a[i]) : std::memcmp(&e[i], &a[i], 4) == 0)
                    << "view " << view << ", corner " << k << ", component " << i;
            ASSERT_EQ(std::memcmp(expected.normal, corners[k].normal, sizeof expected.normal), 0);
        }
    }
    angleZ = -135, angleX = -60, panX = panY = 0, zoom = 0.25f;
}

} // namespace
