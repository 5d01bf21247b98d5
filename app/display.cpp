#include "app/display.h"

#include <GL/glut.h>

#include "app/camera.h"
#include "raster/render_frame.h"
#include "scene/scene.h"

void drawFrame()
{
    // The frame is the viewport that reshape last set, read back every time.
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int width = viewport[2];
    const int height = viewport[3];

    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // One unit per pixel, origin at the lower-left corner, for the presented points.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, 0.0, -1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    setupCamera(theScene, width, height);
    renderFrame(theScene, width, height);
}

void display()
{
    drawFrame();
    glutSwapBuffers();
}

// One frame per registration: without input the program draws nothing and sleeps.
void idle()
{
    display();
    glutIdleFunc(nullptr);
}

void reshape(int width, int height)
{
    // A zero-sized viewport would leave the camera dividing by zero; keep the old one.
    if (width != 0 && height != 0)
        glViewport(0, 0, width, height);
}
