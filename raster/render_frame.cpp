#include "raster/render_frame.h"

#include <GL/gl.h>

#include "glref/render_opengl.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"

bool useOpenGL = true;
RasterRules frameRules;

void presentColorBuffer(int width, int height)
{
    glBegin(GL_POINTS);
    for (int y = 0; y < height; ++y) {
        const Color4* row = ColorBuffer.data() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            glColor3f(row[x].r, row[x].g, row[x].b);
            glVertex2i(x, y);
        }
    }
    glEnd();
}

void renderFrame(Scene& scene, int width, int height)
{
    // Sized and cleared in both modes; the software pipeline clears band by band as it
    // fills, where the rows are about to be used.
    sizeBuffers(width, height);
    if (useOpenGL) {
        clearRows(0, height);
        renderOpenGL(scene, width, height);
        return;
    }
    rasterizeScene(scene, width, height, frameRules);
    presentColorBuffer(width, height);
}
