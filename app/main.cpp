#include <GL/glut.h>

#include "app/start_view.h"
#include "app/window.h"
#include "scene/scene.h"

int main(int argc, char** argv)
{
    openWindow(argc, argv, startView.width, startView.height);
    // After the window: its OpenGL context exists when the texture is read. A texture
    // that cannot be read ends the program here with its message and status 1.
    buildScene(theScene);
    glutMainLoop();
    return 0;
}
