#include <GL/glut.h>

#include <cstdlib>

#include "app/display.h"
#include "raster/render_frame.h"

// Escape and q quit; g switches renderer and asks for one frame; every other key,
// upper-case Q and G included, is ignored and draws nothing.
void keyboard(unsigned char key, int, int)
{
    if (key == 27 || key == 'q') {
        std::exit(0);
    } else if (key == 'g') {
        useOpenGL = !useOpenGL;
        glutIdleFunc(idle);
    }
}
