#pragma once

#include <vector>

#include "math/matrix_stack.h"
#include "math/vec4.h"
#include "scene/color4.h"
#include "texture/texture.h"

struct Light {
    float position[3] = {0.0f, 0.0f, 0.0f}; // direction towards the light (w = 0 in OpenGL)
    Color4 color;
};

struct Vertex {
    Vec4 position;                          // already through objectTransform
    float normal[3] = {0.0f, 0.0f, 1.0f};
    float u = 0.0f;
    float v = 0.0f;
    int next = 0;                           // following corner of the outline
};

// A closed outline: each vertex with its `next` is one edge, every edge once.
struct Polygon {
    std::vector<Vertex> vertices;
};

struct Mesh {
    std::vector<Polygon> polygons;
    Color4 diffuse;
    Color4 specular;
    int shininess = 0;
    const Texture* texture = nullptr;       // not owned
};

// Fields are declared in this order so that the default destruction releases the
// transforms (projection first), then the meshes, then the lights.
struct Scene {
    Color4 ambient{0.0f, 0.0f, 0.0f, 1.0f};
    std::vector<Light> lights;
    std::vector<Mesh> meshes;
    MatrixStack objectTransform;
    MatrixStack modelView;
    MatrixStack projection;
    float currentNormal[3] = {0.0f, 0.0f, 1.0f};
    Color4 currentDiffuse{1.0f, 1.0f, 1.0f, 1.0f};
    Color4 currentSpecular{0.0f, 0.0f, 0.0f, 1.0f};
    int currentShininess = 0;
    const Texture* currentTexture = nullptr;
    float currentU = 0.0f;
    float currentV = 0.0f;

    Scene() { reset(); }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Empties meshes and lights and restores the current attributes; keeps ambient and
    // the transforms.
    void reset();
    // Stores (x, y, z) at unit length, in single precision. A zero or non-finite vector
    // has no direction and stores (0, 0, 1).
    void setNormal(float x, float y, float z);
    void addLight(float x, float y, float z, float r, float g, float b, float a);
    void beginMesh();
    void beginPolygon();   // needs a mesh
    void addVertex(const Vec4& p); // needs a polygon
};

// The start-up scene: ambient light, one light, the blue glossy material and the 48 x 48
// torus with `texture`, which the meshes point to: it must outlive the scene's use and
// stay in place (readTextureFile fills one).
void buildScene(Scene& scene, const Texture& texture);

// The one process-wide scene of the program and its tools.
extern Scene theScene;
