// The reference renderer in a real OpenGL context (run on Xvfb by run_e2e.sh).
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glut.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <unistd.h>

#include "app/camera.h"
#include "glref/render_opengl.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "scene/scene.h"

namespace {

constexpr int windowSide = 640;

std::string captureStdout(const std::function<void()>& action)
{
    std::fflush(stdout);
    std::FILE* file = std::tmpfile();
    const int saved = dup(1);
    dup2(fileno(file), 1);
    action();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text;
    std::rewind(file);
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
        text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

// A texture whose texels are all different and none white, so that white means "not
// drawn" in both renderings.
std::string writeTestTexture()
{
    const std::string path = testing::TempDir() + "glref_test_sphere.raw";
    std::ofstream out(path, std::ios::binary);
    for (int v = 0; v < 256; ++v)
        for (int u = 0; u < 256; ++u) {
            out.put(static_cast<char>(u));
            out.put(static_cast<char>(v));
            out.put(static_cast<char>((u ^ v) & 255));
        }
    return path;
}

// What display does before the renderer: white, pixel units, identity model-view.
void openGLFrame(const Scene& scene, int width, int height)
{
    glViewport(0, 0, width, height);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, 0.0, -1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    renderOpenGL(scene, width, height);
}

// RGB bytes, bottom row first.
std::vector<unsigned char> readBack(int width, int height)
{
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

bool isWhite(const unsigned char* p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; }

// A unit square facing the eye at distance 3, in the mesh the scene has open.
void addFacingSquare(Scene& scene)
{
    scene.setNormal(0.0f, 0.0f, 1.0f);
    scene.beginPolygon();
    scene.addVertex(Vec4{-0.5f, -0.5f, 0.0f, 1.0f});
    scene.addVertex(Vec4{0.5f, -0.5f, 0.0f, 1.0f});
    scene.addVertex(Vec4{0.5f, 0.5f, 0.0f, 1.0f});
    scene.addVertex(Vec4{-0.5f, 0.5f, 0.0f, 1.0f});
}

void frontView(Scene& scene)
{
    scene.projection.loadIdentity();
    scene.projection.perspective(0.4f, 0.4f, 0.1f, 10.0f);
    scene.modelView.loadIdentity();
    scene.modelView.translate(0.0f, 0.0f, -3.0f);
}

class ReferenceRenderer : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static bool opened = false;
        if (opened)
            return;
        opened = true;
        int argc = 1;
        char name[] = "glref_test";
        char* argv[] = {name, nullptr};
        glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(windowSide, windowSide);
        glutInit(&argc, argv);
        glutCreateWindow("glref_test");
    }

    void SetUp() override
    {
        while (glGetError() != GL_NO_ERROR) {
        }
        angleZ = -135.0f;
        angleX = -60.0f;
        panX = 0.0f;
        panY = 0.0f;
        zoom = 0.25f;
    }
};

TEST_F(ReferenceRenderer, ReportsQueuedErrorsAtTheStartOfTheNextFrameOnly)
{
    Scene scene;
    buildScene(scene, writeTestTexture().c_str());
    setupCamera(scene, 480, 480);
    glEnable(0x1234); // not a capability: GL_INVALID_ENUM
    EXPECT_EQ(captureStdout([&] { openGLFrame(scene, 480, 480); }), "ERROR: 0x500\n");
    // The frame itself is error-free, so the next one reports nothing.
    EXPECT_EQ(captureStdout([&] { openGLFrame(scene, 480, 480); }), "");
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ReferenceRenderer, SurplusLightsFailAndAreReportedByTheNextFrame)
{
    GLint maxLights = 0;
    glGetIntegerv(GL_MAX_LIGHTS, &maxLights);
    Scene scene;
    for (int i = 0; i <= maxLights; ++i)
        scene.addLight(0.0f, 0.0f, 1.0f, 0.1f, 0.1f, 0.1f, 1.0f);
    frontView(scene);
    EXPECT_EQ(captureStdout([&] { openGLFrame(scene, 480, 480); }), "");
    EXPECT_EQ(captureStdout([&] { openGLFrame(scene, 480, 480); }), "ERROR: 0x500\n");
}

// What the next software frame relies on, and the matrices as OpenGL received them.
TEST_F(ReferenceRenderer, LeavesTheSceneTransformsLoadedAndDrawingStateOff)
{
    Scene scene;
    buildScene(scene, writeTestTexture().c_str());
    angleZ = -100.0f;
    angleX = 20.0f;
    panX = 30.0f;
    setupCamera(scene, 600, 300);
    openGLFrame(scene, 600, 300);

    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_S));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_GEN_T));
    GLint mode = 0, modelViewDepth = 0, projectionDepth = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelViewDepth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projectionDepth);
    EXPECT_EQ(mode, GL_PROJECTION);
    EXPECT_EQ(modelViewDepth, 1);
    EXPECT_EQ(projectionDepth, 1);

    GLfloat modelView[16], projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(modelView[c * 4 + r], static_cast<float>(scene.modelView.current.m[r * 4 + c]))
                << "model-view (" << r << ", " << c << ")";
            EXPECT_EQ(projection[c * 4 + r], static_cast<float>(scene.projection.current.m[r * 4 + c]))
                << "projection (" << r << ", " << c << ")";
        }

    // The light direction went through the model-view matrix: fixed to the object.
    Vec4 expected;
    scene.modelView.current.transform(expected, Vec4{0.0f, -100.0f, 80.0f, 0.0f});
    GLfloat position[4];
    glGetLightfv(GL_LIGHT0, GL_POSITION, position);
    EXPECT_NEAR(position[0], expected.x, 1e-3);
    EXPECT_NEAR(position[1], expected.y, 1e-3);
    EXPECT_NEAR(position[2], expected.z, 1e-3);
    EXPECT_EQ(position[3], 0.0f);
}

TEST_F(ReferenceRenderer, CaptionIsBlackAndStartsTenPixelsFromTheLowerLeft)
{
    Scene scene; // nothing to draw but the caption
    frontView(scene);
    openGLFrame(scene, 480, 480);
    const std::vector<unsigned char> pixels = readBack(480, 480);
    int left = 480, right = -1, bottom = 480, top = -1;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 480; ++x) {
            const unsigned char* p = &pixels[(y * 480 + x) * 3];
            if (isWhite(p))
                continue;
            EXPECT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0) << "not black at " << x << ", " << y;
            left = std::min(left, x);
            right = std::max(right, x);
            bottom = std::min(bottom, y);
            top = std::max(top, y);
        }
    EXPECT_GE(left, 10);
    EXPECT_LE(left, 12);
    EXPECT_LT(bottom, 10) << "descenders (p, g) reach below the baseline";
    EXPECT_GE(bottom, 4);
    EXPECT_GT(top, 20);
    EXPECT_LE(top, 10 + 18);
    EXPECT_GT(right, 200);
    EXPECT_LT(right, 400);
}

// The two renderers share the scene's transforms: their silhouettes agree except along
// the edges, whatever the view and the window's shape.
TEST_F(ReferenceRenderer, DrawsWhereTheSoftwarePipelineDraws)
{
    Scene scene;
    buildScene(scene, writeTestTexture().c_str());
    struct Case { int width, height; float angleZ, angleX, panX, panY, zoom; };
    for (const Case c : {Case{480, 480, -135.0f, -60.0f, 0.0f, 0.0f, 0.25f},
                         Case{600, 300, -70.0f, -20.0f, 40.0f, -25.0f, 2.25f},
                         Case{300, 600, 10.0f, -100.0f, -20.0f, 60.0f, -1.75f}}) {
        angleZ = c.angleZ;
        angleX = c.angleX;
        panX = c.panX;
        panY = c.panY;
        zoom = c.zoom;
        setupCamera(scene, c.width, c.height);
        openGLFrame(scene, c.width, c.height);
        const std::vector<unsigned char> openGL = readBack(c.width, c.height);
        renderSoftwareFrame(scene, c.width, c.height);

        long covered = 0, disagree = 0;
        for (int y = 40; y < c.height; ++y) // above the caption
            for (int x = 0; x < c.width; ++x) {
                const Color4& s = ColorBuffer[static_cast<std::size_t>(y) * c.width + x];
                const bool software = !(s.r == 1.0f && s.g == 1.0f && s.b == 1.0f);
                const bool reference = !isWhite(&openGL[(static_cast<std::size_t>(y) * c.width + x) * 3]);
                covered += software;
                disagree += software != reference;
            }
        EXPECT_GT(covered, c.width * c.height / 10) << c.width << "x" << c.height;
        EXPECT_LT(disagree, covered / 50) << c.width << "x" << c.height << ": " << disagree
                                           << " pixels covered by one renderer only, of " << covered;
    }
}

// Texture objects are named by mesh index; a mesh without a texture is lit and binds 0.
TEST_F(ReferenceRenderer, TexturedMeshesUseTheirIndexAndPlainMeshesAreLit)
{
    Texture texture;
    loadTexture(texture, writeTestTexture().c_str());
    Scene scene;
    scene.ambient = Color4{0.2f, 0.2f, 0.2f, 1.0f};
    scene.addLight(0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    scene.currentTexture = &texture;
    scene.beginMesh();
    scene.beginMesh();
    scene.currentTexture = nullptr;
    scene.currentDiffuse = Color4{1.0f, 0.0f, 0.0f, 1.0f};
    scene.beginMesh();
    addFacingSquare(scene);
    frontView(scene);
    const GLuint leftOver[2] = {1, 2}; // a clean start for the two names checked below
    glDeleteTextures(2, leftOver);
    openGLFrame(scene, 480, 480);

    GLint binding = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &binding);
    EXPECT_EQ(binding, 0);
    EXPECT_TRUE(glIsTexture(1)) << "the second textured mesh uploads to object 1";
    EXPECT_FALSE(glIsTexture(2)) << "the plain mesh makes no texture object";
    glBindTexture(GL_TEXTURE_2D, 1);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 256);
    glBindTexture(GL_TEXTURE_2D, 0);

    // Lit red: ambient grey plus the diffuse red, no texel colour.
    const std::vector<unsigned char> pixels = readBack(480, 480);
    const unsigned char* centre = &pixels[(240 * 480 + 240) * 3];
    EXPECT_GT(centre[0], 200);
    EXPECT_EQ(centre[1], centre[2]);
    EXPECT_LT(centre[1], 80);
}

} // namespace
