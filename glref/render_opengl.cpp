#include "glref/render_opengl.h"

void renderOpenGL(const Scene&, int, int)
{
    // Filled in with the reference renderer.
}
