#include <gtest/gtest.h>

#include "raster/fill_polygon.h"
#include "raster/frame_buffers.h"
#include "raster_fixtures.h"
#include "texture/sphere_map.h"

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
    // A vertical side from row y0 to row y1 at column x, with depth z and normal n.
    void side(float x, float y0, float y1, float z, float nx = 0, float ny = 0, float nz = 1)
    {
        edges.push_back(edgeBetween(corner(x, y0, z, nx, ny, nz), corner(x, y1, z, nx, ny, nz)));
    }
    void fill() { fillPolygon(edges, width, height, scene, mesh); }
    static float depth(int x, int y) { return DepthBuffer[y * width + x]; }
    static const Color4& color(int x, int y) { return ColorBuffer[y * width + x]; }
    static bool drawn(int x, int y) { return depth(x, y) != 1.0f; }
};

TEST_F(FillTest, RowsRunFromTheStartRowToBeforeTheEndRow)
{
    side(1, 3.7f, 7.2f, 0);
    side(6, 3.7f, 7.2f, 0);
    fill();
    EXPECT_TRUE(edges.empty());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            EXPECT_EQ(drawn(x, y), y >= 3 && y <= 6 && x >= 1 && x <= 5) << x << "," << y;
}

TEST_F(FillTest, ANewEdgeStartsAtItsSetUpXAndAdvancesOneStepPerRow)
{
    // dxdy = 1 from x = 2.5 at y = 3.7: rows 3, 4, 5, 6 start at columns 2, 3, 4, 5.
    edges.push_back(edgeBetween(corner(2.5f, 3.7f, 0), corner(6.5f, 7.7f, 0)));
    side(9, 3.7f, 7.7f, 0);
    fill();
    for (int y = 3; y <= 6; ++y) {
        EXPECT_FALSE(drawn(y - 2, y)) << y;
        EXPECT_TRUE(drawn(y - 1, y)) << y;
        EXPECT_TRUE(drawn(8, y)) << y;
        EXPECT_FALSE(drawn(9, y)) << y;
    }
}

TEST_F(FillTest, ASpanCoversTruncatedColumnsAndStartsWithTheLeftValues)
{
    edges.push_back(edgeBetween(corner(2.7f, 0, 0.5f, 0.25f, 0, 1), corner(2.7f, 1.5f, 0.5f, 0.25f, 0, 1)));
    edges.push_back(edgeBetween(corner(5.2f, 0, -0.5f, 0, 0.5f, 1), corner(5.2f, 1.5f, -0.5f, 0, 0.5f, 1)));
    fill();
    EXPECT_FALSE(drawn(1, 0));
    EXPECT_FALSE(drawn(5, 0));
    EXPECT_EQ(depth(2, 0), 0.5f);
    const float dz = -1.0f / (5.2f - 2.7f);
    EXPECT_EQ(depth(3, 0), 0.5f + dz);
    EXPECT_EQ(depth(4, 0), 0.5f + dz + dz);
    const Color4 expected = sphereMapLookup(scene, 0.25f, 0, 1, mesh);
    EXPECT_EQ(color(2, 0).r, expected.r);
    EXPECT_EQ(color(2, 0).g, expected.g);
}

TEST_F(FillTest, LeftClippingAdvancesByWholePixelSteps)
{
    side(-3.5f, 0, 1, 0.0f);
    side(4.5f, 0, 1, 0.8f);
    fill();
    const float dz = 0.8f / 8.0f;
    EXPECT_EQ(depth(0, 0), 0.0f - (-3.0f * dz));
    EXPECT_TRUE(drawn(3, 0));
    EXPECT_FALSE(drawn(4, 0));

    prepareBuffers(width, height);
    side(-0.5f, 0, 1, 0.125f);
    side(3.5f, 0, 1, 0.9f);
    fill();
    EXPECT_EQ(depth(0, 0), 0.125f); // trunc(-0.5) is 0: no advance
}

TEST_F(FillTest, NothingIsWrittenOutsideTheFrame)
{
    side(-50, -3, 500, -0.5f);
    side(1e6f, -3, 500, -0.5f);
    edges.push_back(edgeBetween(corner(3, 20, 0), corner(9, 40, 0))); // above the top
    fill();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_TRUE(drawn(x, y)) << x << "," << y;
    for (std::size_t i = width * height; i < DepthBuffer.size(); ++i) {
        ASSERT_EQ(DepthBuffer[i], 0.0f) << i; // spare entries keep their construction value
        ASSERT_EQ(ColorBuffer[i].r, 0.0f) << i;
    }
}

TEST_F(FillTest, TheDepthTestIsStrictAndOnlyPassingPixelsAreColoured)
{
    Texture red = texture;
    for (std::size_t i = 0; i < red.data.size(); i += 3) {
        red.data[i] = 255;
        red.data[i + 1] = red.data[i + 2] = 0;
    }
    Mesh redMesh;
    redMesh.texture = &red;
    auto square = [&](float z, float x0, float x1, const Mesh& m) {
        side(x0, 0, 4, z);
        side(x1, 0, 4, z);
        fillPolygon(edges, width, height, scene, m);
    };
    square(0.25f, 0, 8, mesh);
    const Color4 first = color(3, 2);
    square(0.25f, 0, 8, redMesh); // equal depth fails
    EXPECT_EQ(color(3, 2).r, first.r);
    EXPECT_EQ(color(3, 2).g, first.g);
    square(0.5f, 0, 8, redMesh); // farther fails
    EXPECT_EQ(depth(3, 2), 0.25f);
    square(0.0f, 4, 8, redMesh); // nearer wins where it covers
    EXPECT_EQ(color(5, 2).r, 1.0f);
    EXPECT_EQ(depth(5, 2), 0.0f);
    EXPECT_EQ(color(3, 2).r, first.r);

    prepareBuffers(width, height);
    square(1.0f, 0, 8, mesh); // never nearer than a cleared pixel
    EXPECT_FALSE(drawn(3, 2));
    square(-7.0f, 0, 8, mesh); // no near plane: the depth test is the only rejection
    EXPECT_EQ(depth(3, 2), -7.0f);
}

TEST_F(FillTest, EdgesArePairedInXOrderAndAnUnpairedLastEdgeIsIgnored)
{
    side(8, 0, 2, 0);
    side(2, 0, 2, 0);
    side(5, 0, 2, 0);
    fill();
    for (int x = 0; x < width; ++x)
        EXPECT_EQ(drawn(x, 1), x >= 2 && x < 5) << x;
}

TEST_F(FillTest, AnEmptyListDrawsNothing)
{
    fill();
    EXPECT_TRUE(edges.empty());
    for (int i = 0; i < width * height; ++i)
        ASSERT_EQ(DepthBuffer[i], 1.0f);
}

} // namespace
