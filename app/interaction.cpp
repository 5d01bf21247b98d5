#include "app/interaction.h"

#include "app/camera.h"

namespace {
// GLUT's button numbers and its GLUT_DOWN, without needing GLUT here.
constexpr int leftButton = 0;
constexpr int rightButton = 2;
constexpr int wheelUp = 3;
constexpr int wheelDown = 4;
constexpr int buttonDown = 0;
} // namespace

void applyMouseButton(int button, int state, int x, int y)
{
    switch (button) {
    case leftButton:
        leftDrag = state == buttonDown;
        break;
    case rightButton:
        rightDrag = state == buttonDown;
        break;
    case wheelUp:
        zoom += 1.0f;
        break;
    case wheelDown:
        zoom -= 1.0f;
        break;
    default:
        break;
    }
    // The next motion measures from here, whichever button it was.
    lastMouseX = x;
    lastMouseY = y;
}

void applyMotion(int x, int y)
{
    const float dx = static_cast<float>(x - lastMouseX);
    const float dy = static_cast<float>(y - lastMouseY);
    if (leftDrag) {
        angleZ += dx;
        angleX += dy;
    }
    if (rightDrag) {
        panX += dx;
        panY += dy;
    }
    lastMouseX = x;
    lastMouseY = y;
}
