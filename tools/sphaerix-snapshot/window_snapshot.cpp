#include "tools/sphaerix-snapshot/window_snapshot.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/display.h"
#include "app/window.h"
#include "raster/frame_buffers.h"
#include "raster/render_frame.h"
#include "raster/rules_frame.h"
#include "scene/scene.h"
#include "tools/sphaerix-snapshot/frame_timing.h"

static bool windowShown = false;

static void noteWindowStatus(int state)
{
    windowShown = state != GLUT_HIDDEN;
}

static bool viewportIs(int width, int height)
{
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    return viewport[2] == width && viewport[3] == height;
}

bool openSnapshotWindow(const char* programName, int width, int height, const Texture& texture,
                        std::string& error)
{
    // -geometry makes the size exact even with no window manager to honour a request.
    static std::string geometry;
    geometry = std::to_string(width) + "x" + std::to_string(height) + "+0+0";
    static char* glutArgs[4];
    glutArgs[0] = const_cast<char*>(programName);
    glutArgs[1] = const_cast<char*>("-geometry");
    glutArgs[2] = geometry.data();
    glutArgs[3] = nullptr;
    int glutArgCount = 3;
    openWindow(glutArgCount, glutArgs, width, height);
    buildScene(theScene, texture);
    glutWindowStatusFunc(noteWindowStatus);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(windowShown && viewportIs(width, height) &&
             glutGet(GLUT_WINDOW_WIDTH) == width && glutGet(GLUT_WINDOW_HEIGHT) == height)) {
        if (std::chrono::steady_clock::now() > deadline) {
            error = "the " + geometry.substr(0, geometry.find('+')) +
                    " window was not mapped with that size within 10 s";
            return false;
        }
        glutMainLoopEvent();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

WindowFrame captureWindowFrame(bool openGL, int width, int height, bool wantDepth)
{
    useOpenGL = openGL;
    drawFrame();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    std::vector<unsigned char> rgb(std::size_t(width) * height * 3);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());

    WindowFrame frame;
    frame.image = imageFromBottomUpRgb(rgb.data(), width, height);
    if (wantDepth) {
        frame.depth.resize(std::size_t(width) * height);
        if (openGL) {
            glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_FLOAT, frame.depth.data());
            // Window depth 0..1 back to device depth -1..1, the software buffer's scale.
            for (float& d : frame.depth)
                d = 2.0f * d - 1.0f;
        } else {
            frame.depth = depthForFile(DepthBuffer.data(), frame.depth.size(), frameRules);
        }
    }
    glutSwapBuffers();
    return frame;
}

std::vector<double> timeWindowFrames(bool openGL, int n)
{
    useOpenGL = openGL;
    return timeFrames(n, [] {
        display();
        // llvmpipe queues work: without the finish a sample would time the submission only.
        glFinish();
    });
}
