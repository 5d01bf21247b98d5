#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/rules_frame.h"
#include "raster/software_frame.h"
#include "scene/torus.h"
#include "tests/support/test_texture.h"

namespace {

struct View {
    const char* name;
    int width, height;
    float angleZ, angleX, panX, panY, zoom;
};

// The golden frames' views that reach every part of the fill: the start-up view, a
// non-square one, polygons behind the eye, huge coordinates, the seam and a tiny frame.
const View views[] = {
    {"start", 480, 480, -135, -60, 0, 0, 0.25f},     {"tall", 333, 517, -135, -60, 0, 0, 0.25f},
    {"behind-eye", 320, 240, -20, -110, 5, 5, 13.5f}, {"huge", 320, 240, -135, -60, 0, 0, 12},
    {"seam", 480, 480, 0, 0, 0, 0, 0.25f},             {"tiny", 7, 5, -135, -60, 0, 0, 0.25f},
};

struct Frame {
    std::vector<Color4> color;
    std::vector<float> depth;
};

Frame grab(int width, int height)
{
    const std::size_t n = static_cast<std::size_t>(width) * height;
    return Frame{std::vector<Color4>(ColorBuffer.begin(), ColorBuffer.begin() + n),
                 std::vector<float>(DepthBuffer.begin(), DepthBuffer.begin() + n)};
}

bool sameBits(const Frame& a, const Frame& b)
{
    return a.color.size() == b.color.size() &&
           std::memcmp(a.color.data(), b.color.data(), a.color.size() * sizeof(Color4)) == 0 &&
           std::memcmp(a.depth.data(), b.depth.data(), a.depth.size() * sizeof(float)) == 0;
}

struct Torus {
    Texture texture = distinctTexture();
    Scene scene;
    Torus()
    {
        scene.currentTexture = &texture;
        buildTorus(scene, 48, 48);
    }
    void look(const View& v)
    {
        setInteractionView(v.angleZ, v.angleX, v.panX, v.panY, v.zoom);
        setupCamera(scene, v.width, v.height);
    }
};

// The rules' own path with no rule taken draws the program's frame, bit for bit: its
// corners, edges, spans and lookups are the same arithmetic, written once more.
TEST(RulesFrame, WithNoRuleTheRulesPathDrawsTheProgramsFrame)
{
    Torus torus;
    for (const View& v : views) {
        torus.look(v);
        renderSoftwareFrame(torus.scene, v.width, v.height);
        const Frame plain = grab(v.width, v.height);
        rasterizeUnderRules(torus.scene, v.width, v.height, RasterRules::none(), nullptr, nullptr);
        EXPECT_TRUE(sameBits(plain, grab(v.width, v.height))) << v.name;
    }
    setInteractionView(-135, -60, 0, 0, 0.25f);
}

} // namespace
