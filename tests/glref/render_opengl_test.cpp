// The reference renderer in a real OpenGL context (on Xvfb through run_e2e.sh), every
// frame drawn as the program draws it: reshape, then drawFrame.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glut.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "app/camera.h"
#include "app/display.h"
#include "app/window.h"
#include "raster/render_frame.h"
#include "scene/scene.h"

namespace {

using Pixels = std::vector<unsigned char>;

// One frame of theScene at the start-up view; what it printed on standard output.
std::string frame(int width, int height)
{
    testing::internal::CaptureStdout();
    reshape(width, height);
    drawFrame();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// RGB bytes of the frame, bottom row first.
Pixels readBack(int width, int height)
{
    Pixels pixels(static_cast<std::size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

class ReferenceRenderer : public testing::Test {
protected:
    // The program's window, and a texture whose texels all differ.
    static void SetUpTestSuite()
    {
        int argc = 1;
        char name[] = "glref_test";
        char* argv[] = {name, nullptr};
        openWindow(argc, argv, 640, 640);
        std::ofstream out(testing::TempDir() + "glref.raw", std::ios::binary);
        for (int v = 0; v < 256; ++v)
            for (int u = 0; u < 256; ++u)
                out << static_cast<char>(u) << static_cast<char>(v) << static_cast<char>(u ^ v);
    }

    void SetUp() override
    {
        static Texture texture;
        std::string error;
        ASSERT_TRUE(readTextureFile(texture, (testing::TempDir() + "glref.raw").c_str(), error)) << error;
        buildScene(theScene, texture);
        while (glGetError() != GL_NO_ERROR) {
        }
    }
};

// Memory freed during a frame stays with the program for the next one (by default glibc
// hands a freed block of 8 MB back to the system at once): opening the window saw to it.
TEST_F(ReferenceRenderer, OpeningTheWindowKeepsFreedMemory)
{
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
    char* block = static_cast<char*>(std::malloc(8 << 20));
    std::fill_n(block, 8 << 20, 1);
    asm volatile("" : : "r"(block) : "memory"); // the block is used: no elision of the pair
    std::free(block);
    EXPECT_GE(mallinfo2().fordblks, std::size_t(8 << 20));
#endif
}

// An error queued before a frame is reported once, at the start of that frame; one that
// the frame raises itself (a light past the last) waits for the next frame.
TEST_F(ReferenceRenderer, ReportsQueuedErrorsOnceAtTheStartOfAFrame)
{
    glEnable(0x1234); // not a capability: GL_INVALID_ENUM
    EXPECT_EQ(frame(480, 480), "ERROR: 0x500\n");
    EXPECT_EQ(frame(480, 480), "");
    GLint maxLights = 0;
    glGetIntegerv(GL_MAX_LIGHTS, &maxLights);
    for (int i = 0; i < maxLights; ++i)
        theScene.addLight(0.0f, 0.0f, 1.0f, 0.1f, 0.1f, 0.1f, 1.0f);
    EXPECT_EQ(frame(480, 480), "");
    EXPECT_EQ(frame(480, 480), "ERROR: 0x500\n");
    reshape(0, 100); // a zero side keeps the viewport
    reshape(100, 0);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_TRUE(viewport[2] == 480 && viewport[3] == 480);
}

// The scene's matrices as OpenGL received them (column order, rounded to float), the
// light fixed to the object, and the state that the next software frame relies on.
TEST_F(ReferenceRenderer, LeavesTheSceneMatricesLoadedAndDrawingStateOff)
{
    frame(600, 300);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D) || glIsEnabled(GL_DEPTH_TEST) || glIsEnabled(GL_LIGHTING));
    GLint mode = 0, depths[2] = {0, 0};
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depths[0]);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depths[1]);
    EXPECT_TRUE(mode == GL_PROJECTION && depths[0] == 1 && depths[1] == 1) << "the caption pops what it pushes";
    GLfloat loaded[2][16], position[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, loaded[0]);
    glGetFloatv(GL_PROJECTION_MATRIX, loaded[1]);
    const Matrix4* ours[2] = {&theScene.modelView.current, &theScene.projection.current};
    for (int k = 0; k < 2; ++k)
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(loaded[k][i % 4 * 4 + i / 4], static_cast<float>(ours[k]->m[i])) << k << ", " << i;
    Vec4 expected;
    theScene.modelView.current.transform(expected, Vec4{0.0f, -100.0f, 80.0f, 0.0f});
    glGetLightfv(GL_LIGHT0, GL_POSITION, position);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(position[i], (&expected.x)[i], 1e-3) << i;
    EXPECT_EQ(position[3], 0.0f);
}

// The caption, drawn alone, is exactly this text in black at (10, 10) in Helvetica 18, in
// pixel units whatever the window's shape.
TEST_F(ReferenceRenderer, CaptionSaysHowToToggle)
{
    for (const auto& [width, height] : {std::pair{480, 480}, std::pair{600, 200}, std::pair{200, 560}}) {
        theScene.reset(); // nothing to draw but the caption
        frame(width, height);
        const Pixels drawn = readBack(width, height);
        glClear(GL_COLOR_BUFFER_BIT);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluOrtho2D(0, width, 0, height);
        glColor3f(0, 0, 0);
        glRasterPos2f(10, 10);
        for (const char* c = "OpenGL rendering (toggle with 'g')"; *c; ++c)
            glutBitmapCharacter(GLUT_BITMAP_HELVETICA_18, *c);
        EXPECT_TRUE(readBack(width, height) == drawn) << width << "x" << height;
        EXPECT_TRUE(drawn != Pixels(drawn.size(), 255)) << width << "x" << height;
    }
}

// Texture objects are named by mesh index; a mesh without a texture binds 0 and is lit
// in its own colour.
TEST_F(ReferenceRenderer, TexturedMeshesUseTheirIndexAndPlainMeshesBindNone)
{
    const Texture* texture = theScene.meshes[0].texture;
    theScene.reset();
    theScene.addLight(0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    theScene.currentTexture = texture;
    theScene.beginMesh();
    theScene.beginMesh();
    theScene.currentTexture = nullptr;
    theScene.currentDiffuse = Color4{1.0f, 0.0f, 0.0f, 1.0f};
    theScene.beginMesh();
    theScene.beginPolygon(); // a unit square about the centre, facing the eye
    for (const auto& [x, y] : {std::pair{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}})
        theScene.addVertex(Vec4{x, y, 0.0f, 1.0f});
    const GLuint leftOver[2] = {1, 2}; // a clean start for the two names checked below
    glDeleteTextures(2, leftOver);
    frame(480, 480);
    GLint binding = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding);
    EXPECT_EQ(binding, 0);
    EXPECT_TRUE(glIsTexture(1)) << "the second textured mesh uploads to object 1";
    EXPECT_FALSE(glIsTexture(2)) << "the plain mesh makes no texture object";
    const Pixels pixels = readBack(480, 480);
    const unsigned char* centre = &pixels[(240 * 480 + 240) * 3];
    EXPECT_TRUE(centre[0] > 200 && centre[1] == centre[2] && centre[1] < 80)
        << "lit red, not textured: " << int(centre[0]) << "," << int(centre[1]) << "," << int(centre[2]);
    // Decal: a textured mesh shows its texture unlit, here one colour everywhere.
    Texture uniform{256, 256, 3, {}};
    for (int i = 0; i < 256 * 256; ++i)
        uniform.data.insert(uniform.data.end(), {40, 200, 120});
    theScene.meshes[2].texture = &uniform;
    frame(480, 480);
    const Pixels decal = readBack(480, 480);
    EXPECT_EQ(Pixels(&decal[(240 * 480 + 240) * 3], &decal[(240 * 480 + 240) * 3 + 3]), (Pixels{40, 200, 120}));
}

// GL_CLAMP with linear filtering blends the texels at the texture's edge with the border,
// black by default: on the torus's silhouette, where the sphere-map coordinates reach the
// edge, a bright texture darkens. Clamping to the edge texels instead would keep every
// covered pixel the texture's own colour. Close up, one texel covers several pixels, and
// magnified texels blend too: stripes two texels wide, black and white, show greys on
// some 60,000 pixels (nearest magnification: some 2,000, where texels are minified).
TEST_F(ReferenceRenderer, TheTextureIsFilteredLinearlyWithABlackBorder)
{
    Texture stripes{256, 256, 3, {}};
    for (int i = 0; i < 256 * 256; ++i) {
        const unsigned char level = i / 2 % 2 ? 255 : 0;
        stripes.data.insert(stripes.data.end(), {level, level, level});
    }
    theScene.meshes[0].texture = &stripes;
    setInteractionView(-135.0f, -60.0f, 0.0f, 0.0f, 12.0f);
    frame(480, 480);
    const Pixels close = readBack(480, 480);
    int greys = 0;
    for (std::size_t p = 0; p < close.size(); p += 3)
        greys += close[p] == close[p + 1] && close[p] == close[p + 2] && close[p] > 40 && close[p] < 215;
    EXPECT_GT(greys, 480 * 480 / 10);

    Texture bright{256, 256, 3, {}};
    for (int i = 0; i < 256 * 256; ++i)
        bright.data.insert(bright.data.end(), {250, 200, 100});
    theScene.meshes[0].texture = &bright;
    setInteractionView(-135.0f, -30.0f, 0.0f, 0.0f, 6.0f); // silhouettes whose reflection is level
    frame(480, 480);
    setInteractionView(-135.0f, -60.0f, 0.0f, 0.0f, 0.25f);
    const Pixels pixels = readBack(480, 480);
    int own = 0, darkened = 0;
    for (std::size_t p = 0; p < pixels.size(); p += 3) {
        const int r = pixels[p], g = pixels[p + 1], b = pixels[p + 2];
        own += r == 250 && g == 200 && b == 100;
        darkened += r > 0 && r < 245 && std::abs(r * 4 - g * 5) <= 8 && std::abs(r * 2 - b * 5) <= 8;
    }
    EXPECT_GT(own, 100000);
    EXPECT_GT(darkened, 20) << "covered pixels darkened towards black";
}

} // namespace

