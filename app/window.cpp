#include "app/window.h"

#include <GL/glut.h>

#include "app/allocator.h"
#include "app/display.h"

void openWindow(int& argc, char** argv, int width, int height)
{
    keepFreedMemory();
    // Mode and size first, so that glutInit's own options (-geometry) can override them.
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(width, height);
    glutInit(&argc, argv);
    glutCreateWindow("Sphaerix");
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutKeyboardFunc(keyboard);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    // The first frame follows as soon as the main loop is idle.
    glutIdleFunc(idle);
}
