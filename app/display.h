#pragma once

// The GLUT callbacks of the program, each registered once by openWindow.

// Everything one frame does before the buffer swap: read the viewport, clear to white,
// set up pixel units, setupCamera, renderFrame. Tools that read the frame back call it
// directly and read the back buffer before swapping.
void drawFrame();
void display();                      // drawFrame, then glutSwapBuffers
void reshape(int width, int height); // zero sizes are ignored
void keyboard(unsigned char key, int x, int y);
void mouse(int button, int state, int x, int y);
void motion(int x, int y);
void idle();                         // one frame, then unregisters itself
