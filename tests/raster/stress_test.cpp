#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "app/camera.h"
#include "raster/fill_polygon.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "raster_fixtures.h"
#include "scene/torus.h"

// Adversarial input must never read or write outside the buffers nor reach an undefined
// conversion; the sanitizer build runs these. What such a frame shows is not checked,
// except that the spare entries beyond the frame are never touched.

namespace {

float adversarial(std::mt19937& random)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {0.0f, -0.0f, 1e-30f, 1e30f, -1e30f, 3e9f, -3e9f, 2147483520.0f,
                              -2147483648.0f, inf, -inf, std::numeric_limits<float>::quiet_NaN()};
    switch (random() % 4) {
    case 0: return specials[random() % std::size(specials)];
    case 1: return std::uniform_real_distribution<float>(-50, 50)(random);
    case 2: return std::uniform_real_distribution<float>(-1e12f, 1e12f)(random);
    default: return std::uniform_real_distribution<float>(-2, 2)(random);
    }
}

void expectSpareEntriesUntouched(int width, int height)
{
    for (std::size_t i = pixelCount(width, height); i < DepthBuffer.size(); ++i) {
        ASSERT_EQ(DepthBuffer[i], 0.0f);
        ASSERT_EQ(ColorBuffer[i].r, 0.0f);
        ASSERT_EQ(ColorBuffer[i].a, 1.0f);
    }
}

TEST(Stress, FillPolygonSurvivesAdversarialEdges)
{
    std::mt19937 random(1234);
    Texture texture = distinctTexture();
    Scene scene;
    Mesh mesh;
    mesh.texture = &texture;
    scene.modelView.rotateX(30);
    const int sizes[][2] = {{1, 1}, {7, 3}, {64, 48}};
    for (const auto& size : sizes) {
        const int width = size[0], height = size[1];
        bufferWidth = -1; // fresh arrays, so the spare entries hold their construction value
        prepareBuffers(width, height);
        for (int polygon = 0; polygon < 3000; ++polygon) {
            std::vector<Edge> edges;
            const int count = static_cast<int>(random() % 7);
            for (int k = 0; k < count; ++k) {
                Edge edge;
                if (random() % 3 == 0) {
                    // Raw records, as no set-up would make them.
                    float* fields[] = {&edge.x, &edge.y, &edge.z, &edge.xEnd, &edge.yEnd, &edge.zEnd,
                                       &edge.dxdy, &edge.dzdy, &edge.normal[0], &edge.dNormalDy[1]};
                    for (float* f : fields)
                        *f = adversarial(random);
                } else {
                    edge.setUp(corner(adversarial(random), adversarial(random), adversarial(random),
                                      adversarial(random), adversarial(random), adversarial(random)),
                               corner(adversarial(random), adversarial(random), adversarial(random),
                                      adversarial(random), adversarial(random), adversarial(random)));
                }
                edges.push_back(edge);
            }
            fillPolygon(edges, width, height, scene, mesh);
            ASSERT_TRUE(edges.empty());
        }
        expectSpareEntriesUntouched(width, height);
    }
}

// Zooms through the eye (12 puts the centre 0.06 in front of it) and far past it, pans
// and angles out of range, then the largest frame with the scene around the eye.
TEST(Stress, WholeFramesSurviveExtremeViewsAndSizes)
{
    std::mt19937 random(99);
    Texture texture = distinctTexture();
    Scene scene;
    scene.currentTexture = &texture;
    buildTorus(scene, 12, 12); // fewer polygons: the views matter here, not the tessellation
    const float inf = std::numeric_limits<float>::infinity();
    const float angles[] = {0.0f, -135.0f, 1e30f, -1e30f, 45.5f, inf};
    const float pans[] = {0.0f, 1e9f, -1e9f, 150.0f, std::numeric_limits<float>::quiet_NaN()};
    const float zooms[] = {0.25f, 10.0f, 11.5f, 11.76f, 12.0f, 12.4f, 20.0f, 1e6f, -1e6f};
    const int sizes[][2] = {{1, 1}, {2, 3}, {480, 1}, {1, 480}, {97, 61}, {480, 480}, {4096, 4096}};
    for (int frame = 0; frame <= 300; ++frame) {
        const auto& size = frame < 300 ? sizes[random() % 6] : sizes[6];
        angleZ = frame < 300 ? angles[random() % std::size(angles)] : -135.0f;
        angleX = frame < 300 ? angles[random() % std::size(angles)] : -60.0f;
        panX = frame < 300 ? pans[random() % std::size(pans)] : 0.0f;
        panY = frame < 300 ? pans[random() % std::size(pans)] : 0.0f;
        zoom = frame < 300 ? zooms[random() % std::size(zooms)] : 11.9f;
        bufferWidth = -1;
        setupCamera(scene, size[0], size[1]);
        renderSoftwareFrame(scene, size[0], size[1]);
        expectSpareEntriesUntouched(size[0], size[1]);
    }
    angleZ = -135, angleX = -60, panX = panY = 0, zoom = 0.25f;
}

} // namespace
