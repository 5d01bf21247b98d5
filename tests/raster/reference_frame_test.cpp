#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "raster_fixtures.h"
#include "scene/torus.h"
#include "tests/support/plain_rasterizer.h"

// The program's pipeline skips work whose result it knows (each corner projected once,
// one lookup per pixel, four lanes at a time); a plain rasterizer of the same
// arithmetic checks that this never changes a bit.

namespace {

TEST(ReferenceFrame, ThePipelineMatchesAPlainRasterizerBitForBit)
{
    Texture texture = distinctTexture();
    Scene scene;
    scene.currentTexture = &texture;
    buildTorus(scene, 48, 48);
    struct View {
        float angleZ, angleX, panX, panY, zoom;
        int width, height;
    };
    const View views[] = {{-135, -60, 0, 0, 0.25f, 480, 480},  {-135, -60, 0, 0, 0.25f, 300, 200},
                          {0, 0, 0, 0, 0.25f, 200, 300},       {17, -93, 40, -25, 3, 320, 240},
                          {-200, 45, -130, 80, -4, 257, 129},  {-135, -60, 0, 0, 6, 640, 360},
                          {33.5f, -71.25f, 12, 7, 1, 97, 61}};
    for (const View& v : views) {
        angleZ = v.angleZ;
        angleX = v.angleX;
        panX = v.panX;
        panY = v.panY;
        zoom = v.zoom;
        setupCamera(scene, v.width, v.height);
        renderSoftwareFrame(scene, v.width, v.height);
        const PlainFrame expected = plainFrame(scene, v.width, v.height);
        const int pixels = v.width * v.height;
        int differing = 0;
        for (int i = 0; i < pixels; ++i)
            if (std::memcmp(&expected.color[i], &ColorBuffer[i], sizeof(Color4)) != 0 ||
                std::memcmp(&expected.depth[i], &DepthBuffer[i], sizeof(float)) != 0)
                ++differing;
        EXPECT_EQ(differing, 0) << v.width << "x" << v.height << " zoom " << v.zoom;
    }
    angleZ = -135;
    angleX = -60;
    panX = panY = 0;
    zoom = 0.25f;
}

} // namespace
