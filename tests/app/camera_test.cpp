#include <gtest/gtest.h>

#include "app/camera.h"
#include "scene/scene.h"

namespace {

Vec4 toEye(Scene& scene, Vec4 point)
{
    Vec4 eye;
    scene.modelView.current.transform(eye, point);
    return eye;
}

class Camera : public testing::Test {
protected:
    Scene scene;
    void SetUp() override
    {
        angleZ = -135.0f;
        angleX = -60.0f;
        panX = 0.0f;
        panY = 0.0f;
        zoom = 0.25f;
    }
};

// The shorter side spans 0.4 either side of the centre at unit distance from the eye.
TEST_F(Camera, ShorterSideSpansPointFourAtUnitDistance)
{
    struct Case { int width, height; float a, b; };
    for (const Case c : {Case{480, 480, 0.4f, 0.4f}, Case{600, 300, 0.8f, 0.4f},
                         Case{300, 600, 0.4f, 0.8f}, Case{1, 1000, 0.4f, 400.0f}}) {
        setupCamera(scene, c.width, c.height);
        Vec4 eye{c.a, c.b, -1.0f, 1.0f}, clip;
        scene.projection.current.transform(clip, eye);
        EXPECT_NEAR(clip.x / clip.w, 1.0, 1e-6) << c.width << "x" << c.height;
        EXPECT_NEAR(clip.y / clip.w, 1.0, 1e-6) << c.width << "x" << c.height;
    }
}

// At start-up the centre lies straight ahead at -3 + 0.25 * 0.25. Dragging right or down
// moves the scene right or down on the screen, 100 pixels to the unit; a wheel event is
// 0.25 towards the eye.
TEST_F(Camera, CentreFollowsPanAndZoom)
{
    setupCamera(scene, 480, 480);
    Vec4 centre = toEye(scene, Vec4{0.0f, 0.0f, 0.0f, 1.0f});
    EXPECT_FLOAT_EQ(centre.x, 0.0f);
    EXPECT_FLOAT_EQ(centre.y, 0.0f);
    EXPECT_FLOAT_EQ(centre.z, -2.9375f);

    panX = 100.0f;
    panY = 100.0f;
    zoom = 4.25f;
    setupCamera(scene, 480, 480);
    centre = toEye(scene, Vec4{0.0f, 0.0f, 0.0f, 1.0f});
    EXPECT_FLOAT_EQ(centre.x, 1.0f);
    EXPECT_FLOAT_EQ(centre.y, -1.0f);
    EXPECT_FLOAT_EQ(centre.z, -3.0f + 4.25f * 0.25f);
}

// A model point is turned about z first, then about x.
TEST_F(Camera, TurnsAboutZBeforeX)
{
    angleZ = 90.0f;
    angleX = 90.0f;
    zoom = 0.0f;
    setupCamera(scene, 480, 480);
    const Vec4 p = toEye(scene, Vec4{1.0f, 0.0f, 0.0f, 1.0f});
    EXPECT_NEAR(p.x, 0.0, 1e-5);
    EXPECT_NEAR(p.y, 0.0, 1e-5);
    EXPECT_NEAR(p.z, -2.0, 1e-5);
}

// Each frame starts from scratch: nothing carries over between set-ups.
TEST_F(Camera, RebuildsBothStacksEveryFrame)
{
    Scene fresh;
    setupCamera(fresh, 480, 480);
    scene.modelView.push();
    scene.projection.push();
    scene.modelView.translate(5.0f, 5.0f, 5.0f);
    scene.projection.rotateX(30.0f);
    setupCamera(scene, 480, 480);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(scene.modelView.current.m[i], fresh.modelView.current.m[i]);
        EXPECT_EQ(scene.projection.current.m[i], fresh.projection.current.m[i]);
    }
    EXPECT_TRUE(scene.modelView.saved.empty());
    EXPECT_TRUE(scene.projection.saved.empty());
}

} // namespace
