#pragma once

// What the mouse callbacks do to the interaction state of app/camera.h, without GLUT,
// so that the arithmetic can be checked headless. The callbacks add the redraw.

// Left and right set their drag flag from the state (0 is GLUT_DOWN); the wheel buttons
// 3 and 4 zoom by +1 and -1 for every event, press and release alike; the middle and
// unknown buttons change no view value. Every button moves the reference position.
void applyMouseButton(int button, int state, int x, int y);

// Motion with a button held: a left drag turns by one degree per pixel, a right drag
// moves by one pixel per pixel, both when both are held; then the reference moves.
void applyMotion(int x, int y);
