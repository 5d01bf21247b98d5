#include <gtest/gtest.h>

#include "app/camera.h"
#include "app/interaction.h"

namespace {

constexpr int down = 0; // GLUT_DOWN
constexpr int up = 1;   // GLUT_UP

// The interaction state is process-wide: every test starts from the program's start-up
// values.
class Interaction : public testing::Test {
protected:
    void SetUp() override
    {
        angleZ = -135.0f;
        angleX = -60.0f;
        panX = 0.0f;
        panY = 0.0f;
        zoom = 0.25f;
        lastMouseX = 0;
        lastMouseY = 0;
        leftDrag = false;
        rightDrag = false;
    }

    static void expectView(float az, float ax, float px, float py, float z)
    {
        EXPECT_EQ(angleZ, az);
        EXPECT_EQ(angleX, ax);
        EXPECT_EQ(panX, px);
        EXPECT_EQ(panY, py);
        EXPECT_EQ(zoom, z);
    }
};

TEST_F(Interaction, LeftDragTurnsByPixelsMeasuredFromThePress)
{
    applyMotion(5, 5); // no button held: nothing, but the reference moves
    applyMouseButton(0, down, 100, 200);
    applyMotion(110, 195);
    applyMotion(137, 179);
    expectView(-135.0f + 37.0f, -60.0f - 21.0f, 0.0f, 0.0f, 0.25f);

    // After the release nothing turns, whatever motion is reported.
    applyMouseButton(0, up, 137, 179);
    EXPECT_FALSE(leftDrag);
    applyMotion(300, 300);
    expectView(-98.0f, -81.0f, 0.0f, 0.0f, 0.25f);
}

TEST_F(Interaction, RightDragMovesAndBothButtonsDoBoth)
{
    applyMouseButton(2, down, 50, 50);
    applyMotion(80, 30);
    expectView(-135.0f, -60.0f, 30.0f, -20.0f, 0.25f);

    applyMouseButton(0, down, 80, 30);
    applyMotion(70, 45);
    expectView(-145.0f, -45.0f, 20.0f, -5.0f, 0.25f);

    applyMouseButton(2, up, 70, 45);
    applyMotion(71, 46);
    expectView(-144.0f, -44.0f, 20.0f, -5.0f, 0.25f);
}

TEST_F(Interaction, WheelCountsEveryEventPressAndReleaseAlike)
{
    applyMouseButton(3, down, 10, 10);
    applyMouseButton(3, up, 10, 10);
    EXPECT_EQ(zoom, 2.25f);
    applyMouseButton(4, down, 10, 10);
    applyMouseButton(4, up, 10, 10);
    applyMouseButton(4, up, 10, 10);
    EXPECT_EQ(zoom, -0.75f);
    // Nothing bounds it.
    for (int i = 0; i < 1000; ++i)
        applyMouseButton(3, down, 10, 10);
    EXPECT_EQ(zoom, 999.25f);
    EXPECT_FALSE(leftDrag);
    EXPECT_FALSE(rightDrag);
}

TEST_F(Interaction, MiddleAndUnknownButtonsOnlyMoveTheReference)
{
    applyMouseButton(0, down, 0, 0);
    applyMouseButton(1, down, 40, 60);
    EXPECT_EQ(lastMouseX, 40);
    EXPECT_EQ(lastMouseY, 60);
    applyMouseButton(7, up, 45, 70);
    EXPECT_EQ(lastMouseX, 45);
    EXPECT_EQ(lastMouseY, 70);
    expectView(-135.0f, -60.0f, 0.0f, 0.0f, 0.25f);
    EXPECT_TRUE(leftDrag);

    // The next motion measures from the middle/unknown button's position.
    applyMotion(50, 70);
    expectView(-130.0f, -60.0f, 0.0f, 0.0f, 0.25f);
}

} // namespace
