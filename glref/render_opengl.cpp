#include "glref/render_opengl.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glut.h>

#include <array>
#include <cstdio>

namespace {

const char caption[] = "OpenGL rendering (toggle with 'g')";

// Every error OpenGL has recorded since the last report, whichever frame or mode raised
// it: errors are not queried call by call, only here.
void reportErrors()
{
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError())
        std::printf("ERROR: 0x%x\n", error);
}

// A colour as the four floats r, g, b, a that the fv calls take.
std::array<GLfloat, 4> rgba(const Color4& c)
{
    return {c.r, c.g, c.b, c.a};
}

// OpenGL wants column order: element (r, c) of our row-major matrix goes to c * 4 + r.
void loadMatrix(const Matrix4& matrix)
{
    GLfloat columns[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            columns[c * 4 + r] = static_cast<GLfloat>(matrix.m[r * 4 + c]);
    glLoadMatrixf(columns);
}

// Black text in pixel units at (10, 10), both matrices saved and restored around it.
void drawCaption(int width, int height)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glColor3f(0.0f, 0.0f, 0.0f);
    gluOrtho2D(0.0, width, 0.0, height);
    glRasterPos2f(10.0f, 10.0f);
    for (const char* c = caption; *c; ++c)
        glutBitmapCharacter(GLUT_BITMAP_HELVETICA_18, *c);
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
}

// Leaves the matrix mode at GL_PROJECTION, which the rest of the frame keeps.
void setGlobalState(const Scene& scene)
{
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glColor3f(1.0f, 1.0f, 0.0f);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, rgba(scene.ambient).data());
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    glMatrixMode(GL_MODELVIEW);
    loadMatrix(scene.modelView.current);
    glMatrixMode(GL_PROJECTION);
    loadMatrix(scene.projection.current);
}

// Directional lights (w = 0), set after the model-view matrix so that their directions
// are fixed in object coordinates. Surplus lights fail with GL_INVALID_ENUM, reported
// at the start of the next frame.
void setLights(const Scene& scene)
{
    for (std::size_t i = 0; i < scene.lights.size(); ++i) {
        const Light& light = scene.lights[i];
        const GLenum name = GL_LIGHT0 + static_cast<GLenum>(i);
        const GLfloat position[4] = {light.position[0], light.position[1], light.position[2], 0.0f};
        glLightfv(name, GL_POSITION, position);
        glLightfv(name, GL_DIFFUSE, rgba(light.color).data());
        glLightfv(name, GL_SPECULAR, rgba(light.color).data());
        glEnable(name);
    }
}

// Front faces only: with two-sided lighting the back faces keep the default material.
void setMaterial(const Scene& scene, const Mesh& mesh)
{
    glMaterialfv(GL_FRONT, GL_AMBIENT, rgba(scene.ambient).data());
    glMaterialfv(GL_FRONT, GL_DIFFUSE, rgba(mesh.diffuse).data());
    glMateriali(GL_FRONT, GL_SHININESS, mesh.shininess);
    glMaterialfv(GL_FRONT, GL_SPECULAR, rgba(mesh.specular).data());
}

// The texture object is named by the mesh's index and the image is sent again every
// frame. Decal mode on an RGB image shows the texture unlit, as the software lookup
// does; the sphere-map texgen replaces the vertices' own u and v.
void setTexture(const Texture& texture, GLuint name)
{
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, texture.width, texture.height, 0, GL_RGB,
                 GL_UNSIGNED_BYTE, texture.data.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_DECAL));
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
}

// One GL_POLYGON per polygon, corners in index order (not the ring order of `next`).
void drawPolygons(const Mesh& mesh)
{
    for (const Polygon& polygon : mesh.polygons) {
        glBegin(GL_POLYGON);
        for (const Vertex& vertex : polygon.vertices) {
            const GLfloat position[4] = {vertex.position.x, vertex.position.y, vertex.position.z,
                                         vertex.position.w};
            glTexCoord2f(vertex.u, vertex.v);
            glNormal3fv(vertex.normal);
            glVertex4fv(position);
        }
        glEnd();
    }
}

} // namespace

void renderOpenGL(const Scene& scene, int width, int height)
{
    reportErrors();
    drawCaption(width, height);
    setGlobalState(scene);
    setLights(scene);
    for (std::size_t m = 0; m < scene.meshes.size(); ++m) {
        const Mesh& mesh = scene.meshes[m];
        setMaterial(scene, mesh);
        if (mesh.texture) {
            setTexture(*mesh.texture, static_cast<GLuint>(m));
        } else {
            glDisable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, 0);
        }
        drawPolygons(mesh);
    }
    glFlush();
    // Later software frames present their points unlit, untextured and untested.
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
}
