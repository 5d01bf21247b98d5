#include <GL/glut.h>

#include "app/display.h"
#include "app/interaction.h"

// Every mouse event, wheel and middle button included, is followed by one frame.
void mouse(int button, int state, int x, int y)
{
    applyMouseButton(button, state, x, y);
    glutIdleFunc(idle);
}

void motion(int x, int y)
{
    applyMotion(x, y);
    glutIdleFunc(idle);
}
