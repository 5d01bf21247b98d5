#include <gtest/gtest.h>

#include "raster/fill_polygon.h"
#include "raster/frame_buffers.h"
#include "raster_fixtures.h"
#include "shade/sphere_map.h"

namespace {

constexpr int width = 16;
constexpr int height = 12;

struct FillTest : ::testing::Test {
    Texture texture = distinctTexture();
    Scene scene;
    Mesh mesh;
    std::vector<Edge> edges;

    void SetUp() override
    {
        mesh.texture = &texture;
        prepareBuffers(width, height);
    }
    // A vertical side at column x from row y0 to row y1, with depth z and normal n.
    void side(float x, float y0, float y1, float z, float nx = 0)
    {
        edges.push_back(edgeBetween(corner(x, y0, z, nx, 0, 1), corner(x, y1, z, nx, 0, 1)));
    }
    void fill(const Mesh& m) { fillPolygon(edges, width, height, scene, m); }
    static float depth(int x, int y) { return DepthBuffer[y * width + x]; }
    static bool drawn(int x, int y) { return depth(x, y) != 1.0f; }
};

TEST_F(FillTest, RowsAndColumnsAreHalfOpenAndANewEdgeStartsAtItsSetUpX)
{
    side(1, 3.7f, 7.2f, 0); // rows 3 to 6, columns 1 to 5
    side(6, 3.7f, 7.2f, 0);
    fill(mesh);
    EXPECT_TRUE(edges.empty());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(drawn(x, y), y >= 3 && y <= 6 && x >= 1 && x <= 5) << x << "," << y;

    // dxdy = 1 from x = 2.5 at y = 3.7: rows 3, 4, 5, 6 start at columns 2, 3, 4, 5.
    prepareBuffers(width, height);
    edges.push_back(edgeBetween(corner(2.5f, 3.7f, 0), corner(6.5f, 7.7f, 0)));
    side(9, 3.7f, 7.7f, 0);
    fill(mesh);
    for (int y = 3; y <= 6; ++y) {
        EXPECT_FALSE(drawn(y - 2, y)) << y;
        EXPECT_TRUE(drawn(y - 1, y)) << y;
    }
}

TEST_F(FillTest, SpansStartWithTheLeftValuesAndClipByWholePixelSteps)
{
    side(2.7f, 0, 1.5f, 0.5f, 0.25f);
    side(5.2f, 0, 1.5f, -0.5f);
    fill(mesh); // columns 2, 3, 4
    EXPECT_FALSE(drawn(1, 0));
    EXPECT_FALSE(drawn(5, 0));
    EXPECT_EQ(depth(2, 0), 0.5f);
    const float dz = -1.0f / (5.2f - 2.7f);
    EXPECT_EQ(depth(4, 0), 0.5f + dz + dz);
    const Color4 expected = sphereMapLookup(scene, 0.25f, 0, 1, mesh);
    EXPECT_EQ(ColorBuffer[2].r, expected.r);
    EXPECT_EQ(ColorBuffer[2].g, expected.g);

    side(-3.5f, 2, 3, 0.0f);
    side(4.5f, 2, 3, 0.8f);
    fill(mesh);
    EXPECT_EQ(depth(0, 2), 0.0f - (-3.0f * (0.8f / 8.0f))); // three steps in
    EXPECT_FALSE(drawn(4, 2));

    side(-0.5f, 4, 5, 0.125f);
    side(3.5f, 4, 5, 0.9f);
    fill(mesh);
    EXPECT_EQ(depth(0, 4), 0.125f); // trunc(-0.5) is 0: no step
}

TEST_F(FillTest, EdgesArePairedInXOrderAndAnUnpairedLastEdgeIsIgnored)
{
    side(8, 0, 2, 0);
    side(2, 0, 2, 0);
    side(5, 0, 2, 0);
    fill(mesh);
    for (int x = 0; x < width; ++x)
        EXPECT_EQ(drawn(x, 1), x >= 2 && x < 5) << x;
}

// A dart: the notch's sides join the left and right sides midway, at row 4, and split
// the rows above into two spans.
TEST_F(FillTest, EdgesThatJoinMidwaySplitTheSpans)
{
    const Vertex dart[] = {corner(2, 1, 0), corner(14, 1, 0), corner(14, 10, 0), corner(8, 4, 0), corner(2, 10, 0)};
    for (int k = 1; k < 5; ++k) // the side along row 1 covers no row
        edges.push_back(edgeBetween(dart[k], dart[(k + 1) % 5]));
    fill(mesh);
    EXPECT_TRUE(drawn(8, 2) && drawn(3, 7) && drawn(13, 7) && !drawn(8, 7));
}

} // namespace
