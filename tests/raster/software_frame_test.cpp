#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "raster_fixtures.h"
#include "scene/torus.h"

namespace {

struct ViewState {
    float angleZ, angleX, panX, panY, zoom;
};

void setView(const ViewState& v)
{
    angleZ = v.angleZ;
    angleX = v.angleX;
    panX = v.panX;
    panY = v.panY;
    zoom = v.zoom;
}

struct TorusFrame : ::testing::Test {
    Texture texture = distinctTexture();
    Scene scene;
    void SetUp() override
    {
        scene.currentTexture = &texture;
        buildTorus(scene, 48, 48);
    }
    void TearDown() override { setView({-135, -60, 0, 0, 0.25f}); }
    void render(int width, int height)
    {
        setupCamera(scene, width, height);
        renderSoftwareFrame(scene, width, height);
    }
};

bool isWhite(const Color4& c)
{
    return c.r == 1.0f && c.g == 1.0f && c.b == 1.0f && c.a == 1.0f;
}

TEST(SoftwareFrame, AnEmptySceneIsWhiteAndResizingReallocates)
{
    Scene scene;
    setupCamera(scene, 300, 200);
    renderSoftwareFrame(scene, 300, 200);
    EXPECT_EQ(bufferWidth, 300);
    EXPECT_EQ(bufferHeight, 200);
    EXPECT_EQ(ColorBuffer.size(), 61000u);
    EXPECT_EQ(DepthBuffer.size(), 61000u);
    for (int i = 0; i < 300 * 200; ++i) {
        ASSERT_TRUE(isWhite(ColorBuffer[i])) << i;
        ASSERT_EQ(DepthBuffer[i], 1.0f) << i;
    }
    const Color4* before = ColorBuffer.data();
    renderSoftwareFrame(scene, 300, 200);
    EXPECT_EQ(ColorBuffer.data(), before); // same size: same arrays
}

TEST_F(TorusFrame, NothingIsDrawnOutsideTheProjectedBoundingBox)
{
    setView({-135, -60, 0, 0, 0.25f});
    const int width = 160, height = 120;
    render(width, height);
    float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
    for (const Polygon& p : scene.meshes[0].polygons)
        for (const Vertex& v : p.vertices) {
            const Vertex w = windowCorner(scene, v, width, height);
            minX = std::min(minX, w.position.x);
            maxX = std::max(maxX, w.position.x);
            minY = std::min(minY, w.position.y);
            maxY = std::max(maxY, w.position.y);
        }
    int drawn = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (isWhite(ColorBuffer[y * width + x]))
                continue;
            ++drawn;
            ASSERT_GE(x, std::floor(minX));
            ASSERT_LE(x, maxX);
            ASSERT_GE(y, std::floor(minY));
            ASSERT_LE(y, maxY);
        }
    EXPECT_GT(drawn, width * height / 10);
}

TEST_F(TorusFrame, LookingStraightDownTheTopShowsTheCentreTexelAndTheHoleIsWhite)
{
    setView({0, 0, 0, 0, 0.25f});
    const int size = 480;
    render(size, size);
    EXPECT_TRUE(isWhite(ColorBuffer[(size / 2) * size + size / 2]));
    // The top of the tube above +y at a = 0: normal (0, 0, 1) faces the viewer.
    Vertex top;
    top.position = Vec4{0.0f, 0.6f, 0.4f, 1.0f};
    const Vertex w = windowCorner(scene, top, size, size);
    const int x = static_cast<int>(w.position.x), y = static_cast<int>(w.position.y);
    for (int dy = -1; dy <= 1; ++dy) {
        const Color4& c = ColorBuffer[(y + dy) * size + x];
        EXPECT_NEAR(texelColumn(c), 128, 3);
        EXPECT_NEAR(texelRow(c), 128, 3);
    }
}

TEST(SoftwareFrame, AFlatSquareShowsTheTexelOfItsTurnedNormal)
{
    // A square facing the viewer whose normal leans 0.6 towards +x; turned 90 degrees
    // about z it leans towards +y: e = (~0, 0.6), texel (128, trunc(0.8 * 256) = 204).
    Texture texture = distinctTexture();
    Scene scene;
    scene.currentTexture = &texture;
    scene.beginMesh();
    scene.beginPolygon();
    scene.setNormal(0.6f, 0.0f, 0.8f);
    for (const auto& p : {Vec4{-0.5f, -0.5f, 0, 1}, Vec4{0.5f, -0.5f, 0, 1}, Vec4{0.5f, 0.5f, 0, 1},
                          Vec4{-0.5f, 0.5f, 0, 1}})
        scene.addVertex(p);
    setView({90, 0, 0, 0, 0.25f});
    setupCamera(scene, 64, 64);
    renderSoftwareFrame(scene, 64, 64);
    const Color4& centre = ColorBuffer[32 * 64 + 32];
    EXPECT_EQ(texelColumn(centre), 128);
    EXPECT_EQ(texelRow(centre), 204);
    EXPECT_TRUE(isWhite(ColorBuffer[0]));
    setView({-135, -60, 0, 0, 0.25f});
}

} // namespace
