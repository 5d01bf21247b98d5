#pragma once

#include "scene/scene.h"

// Interaction state: changed only by the mouse callbacks, never reset, never bounded.
extern float angleZ;      // degrees about z; sums horizontal left-drag motion
extern float angleX;      // degrees about x; sums vertical left-drag motion
extern float panX;        // pixels of horizontal right-drag motion
extern float panY;        // pixels of vertical right-drag motion (GLUT's y grows downwards)
extern float zoom;        // wheel events: +1 per event of button 3, -1 per event of button 4
extern int lastMouseX;
extern int lastMouseY;
extern bool leftDrag;
extern bool rightDrag;

// Puts the view values of the interaction state where a tool or the page asks for them,
// as if the mouse had built them up; the drag flags and the last position stay as they are.
void setInteractionView(float angleZ, float angleX, float panX, float panY, float zoom);

// Rebuilds the scene's projection and model-view stacks from the frame size and the
// interaction state; the shorter side of the frame always spans 0.4 either side of the
// centre at unit distance.
void setupCamera(Scene& scene, int width, int height);
