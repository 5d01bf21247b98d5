// Headless: what the mouse events do to the view. Where the camera then puts the scene,
// the golden frames show.
#include <gtest/gtest.h>

#include "app/camera.h"
#include "app/interaction.h"

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

} // namespace
