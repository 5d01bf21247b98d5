#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "raster_fixtures.h"
#include "scene/torus.h"

namespace {

struct FrameTest : ::testing::Test {
    Texture texture = distinctTexture();
    Scene scene;
    void SetUp() override { scene.currentTexture = &texture; }
    void TearDown() override { view(-135, -60, 0.25f); }
    static void view(float z, float x, float wheel)
    {
        angleZ = z;
        angleX = x;
        zoom = wheel;
    }
    void render(int width, int height)
    {
        setupCamera(scene, width, height);
        renderSoftwareFrame(scene, width, height);
    }
    static bool isWhite(const Color4& c) { return c.r == 1 && c.g == 1 && c.b == 1 && c.a == 1; }
};

TEST_F(FrameTest, AnEmptySceneIsWhiteAndResizingReallocates)
{
    render(300, 200);
    EXPECT_EQ(ColorBuffer.size(), 61000u);
    EXPECT_EQ(DepthBuffer.size(), 61000u);
    for (int i = 0; i < 300 * 200; ++i)
        ASSERT_TRUE(isWhite(ColorBuffer[i]) && DepthBuffer[i] == 1.0f) << i;
    const Color4* before = ColorBuffer.data();
    render(300, 200);
    EXPECT_EQ(ColorBuffer.data(), before); // same size: same arrays
}

TEST_F(FrameTest, NothingIsDrawnOutsideTheProjectedBoundingBox)
{
    buildTorus(scene, 48, 48);
    const int width = 160, height = 120;
    render(width, height);
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
    for (const Polygon& p : scene.meshes[0].polygons)
        for (const Vertex& v : p.vertices) {
            const Vec4 w = windowCorner(scene, v, width, height).position;
            minX = std::min(minX, w.x);
            maxX = std::max(maxX, w.x);
            minY = std::min(minY, w.y);
            maxY = std::max(maxY, w.y);
        }
    int drawn = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (!isWhite(ColorBuffer[y * width + x])) {
                ++drawn;
                ASSERT_TRUE(x >= std::floor(minX) && x <= maxX && y >= std::floor(minY) && y <= maxY);
            }
    EXPECT_GT(drawn, width * height / 10);
}

TEST_F(FrameTest, LookingStraightDownTheTopShowsTheCentreTexelAndTheHoleIsWhite)
{
    buildTorus(scene, 48, 48);
    view(0, 0, 0.25f);
    const int size = 480;
    render(size, size);
    EXPECT_TRUE(isWhite(ColorBuffer[(size / 2) * size + size / 2]));
    // The top of the tube above +y at a = 0: normal (0, 0, 1) faces the viewer.
    Vertex top;
    top.position = Vec4{0.0f, 0.6f, 0.4f, 1.0f};
    const Vec4 w = windowCorner(scene, top, size, size).position;
    for (int dy = -1; dy <= 1; ++dy) {
        const Color4& c = ColorBuffer[(static_cast<int>(w.y) + dy) * size + static_cast<int>(w.x)];
        EXPECT_NEAR(texelColumn(c), 128, 3);
        EXPECT_NEAR(texelRow(c), 128, 3);
    }
}

TEST_F(FrameTest, AFlatSquareShowsTheTexelOfItsTurnedNormal)
{
    // The normal leans 0.6 towards +x; turned 90 degrees about z it leans towards +y:
    // e = (~0, 0.6), texel (128, trunc(0.8 * 256) = 204).
    scene.beginMesh();
    scene.beginPolygon();
    scene.setNormal(0.6f, 0.0f, 0.8f);
    for (const Vec4& p : {Vec4{-0.5f, -0.5f, 0, 1}, Vec4{0.5f, -0.5f, 0, 1}, Vec4{0.5f, 0.5f, 0, 1},
                          Vec4{-0.5f, 0.5f, 0, 1}})
        scene.addVertex(p);
    view(90, 0, 0.25f);
    render(64, 64);
    EXPECT_EQ(texelColumn(ColorBuffer[32 * 64 + 32]), 128);
    EXPECT_EQ(texelRow(ColorBuffer[32 * 64 + 32]), 204);
    EXPECT_TRUE(isWhite(ColorBuffer[0]));
}

} // namespace
