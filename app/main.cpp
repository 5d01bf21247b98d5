#include <GL/glut.h>

#include <cstdio>

#include "app/start_view.h"
#include "app/window.h"
#include "scene/scene.h"

int main(int argc, char** argv)
{
    openWindow(argc, argv, startView.width, startView.height);
    // After the window: its OpenGL context exists when the texture is read. No frame is
    // drawn from a texture that was not read.
    static Texture texture;
    std::string error;
    if (!readTextureFile(texture, defaultTexturePath, error)) {
        std::fprintf(stderr, "sphaerix: %s\n", error.c_str());
        return 1;
    }
    buildScene(theScene, texture);
    glutMainLoop();
    return 0;
}
