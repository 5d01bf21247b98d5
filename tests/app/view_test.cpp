// Headless: what the mouse events do to the view, and where the camera puts a point.
#include <gtest/gtest.h>

#include "app/camera.h"
#include "app/interaction.h"
#include "scene/scene.h"

namespace {

// One event per row, a button with its state or (button -1) a motion, and the view it
// leaves. The end-to-end test pins the drags and the wheel; here, that a drag measures
// from the last event of any button and ends with its release.
TEST(Mouse, DragsMeasureFromTheLastEventOfAnyButton)
{
    constexpr int motion = -1, down = 0, up = 1; // GLUT_DOWN, GLUT_UP
    angleZ = angleX = panX = panY = zoom = 0.0f;
    struct Row { int button, state, x, y; float angleZ, angleX, panX, panY, zoom; };
    const Row rows[] = {
        {0, down, 100, 200, 0, 0, 0, 0, 0},     {motion, 0, 137, 179, 37, -21, 0, 0, 0},
        {1, down, 40, 60, 37, -21, 0, 0, 0},    {motion, 0, 41, 62, 38, -19, 0, 0, 0},   // middle
        {3, up, 50, 70, 38, -19, 0, 0, 1},      {motion, 0, 52, 71, 40, -18, 0, 0, 1},   // wheel
        {2, down, 0, 0, 40, -18, 0, 0, 1},      {motion, 0, 1, 3, 41, -15, 1, 3, 1},
        {0, up, 1, 3, 41, -15, 1, 3, 1},        {7, down, 10, 10, 41, -15, 1, 3, 1},      // unknown
        {motion, 0, 11, 5, 41, -15, 2, -2, 1},  {2, up, 11, 5, 41, -15, 2, -2, 1},
        {motion, 0, 300, 300, 41, -15, 2, -2, 1}};
    for (const Row& r : rows) {
        r.button == motion ? applyMotion(r.x, r.y) : applyMouseButton(r.button, r.state, r.x, r.y);
        const float view[5] = {angleZ, angleX, panX, panY, zoom};
        const float expected[5] = {r.angleZ, r.angleX, r.panX, r.panY, r.zoom};
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(view[i], expected[i]) << "value " << i << " after the event at " << r.x << ", " << r.y;
    }
}

// The shorter side spans 0.4 either side of the centre at unit distance; 100 pixels of
// pan are one unit, right and down on the screen; a wheel step is 0.25 towards the eye;
// a point turns about z before x.
TEST(Camera, PutsAPointWhereTheViewSays)
{
    struct Row { int width, height; float angleZ, angleX, panX, panY, zoom; Vec4 point; float x, y; };
    const Row rows[] = {
        {480, 480, 0, 0, 0, 0, 0, {1.2f, 1.2f, 0, 1}, 1, 1},
        {600, 300, 0, 0, 0, 0, 0, {2.4f, 1.2f, 0, 1}, 1, 1},
        {300, 600, 0, 0, 0, 0, 0, {1.2f, 2.4f, 0, 1}, 1, 1},
        {480, 480, 0, 0, 100, 100, 4, {0, 0, 0, 1}, 1.25f, -1.25f},
        {480, 480, 90, 90, 0, 0, 0, {1, 0, 0.5f, 1}, 0, -0.625f},
    };
    Scene scene;
    for (const Row& r : rows) {
        angleZ = r.angleZ, angleX = r.angleX, panX = r.panX, panY = r.panY, zoom = r.zoom;
        setupCamera(scene, r.width, r.height);
        Vec4 eye, clip;
        scene.modelView.current.transform(eye, r.point);
        scene.projection.current.transform(clip, eye);
        EXPECT_NEAR(clip.x / clip.w, r.x, 1e-5) << r.width << "x" << r.height << ", row " << &r - rows;
        EXPECT_NEAR(clip.y / clip.w, r.y, 1e-5) << r.width << "x" << r.height << ", row " << &r - rows;
    }
}

} // namespace
