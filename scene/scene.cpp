#include "scene/scene.h"

#include <cmath>

#include "scene/torus.h"

Scene theScene;

void Scene::reset()
{
    std::vector<Mesh>().swap(meshes);
    std::vector<Light>().swap(lights);
    currentNormal[0] = 0.0f;
    currentNormal[1] = 0.0f;
    currentNormal[2] = 1.0f;
    currentDiffuse = Color4{1.0f, 1.0f, 1.0f, 1.0f};
    currentSpecular = Color4{0.0f, 0.0f, 0.0f, 1.0f};
    currentShininess = 0;
    currentTexture = nullptr;
    currentU = 0.0f;
    currentV = 0.0f;
}

static bool unitVector(float x, float y, float z, float out[3])
{
    // Single precision throughout: squares, sum, root and divisions are all float.
    const float length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0.0f) || !std::isfinite(length))
        return false;
    out[0] = x / length;
    out[1] = y / length;
    out[2] = z / length;
    return true;
}

void Scene::setNormal(float x, float y, float z)
{
    if (unitVector(x, y, z, currentNormal))
        return;
    // The squares under- or overflowed: scale by the largest magnitude first.
    const float largest = std::fmax(std::fabs(x), std::fmax(std::fabs(y), std::fabs(z)));
    if (std::isfinite(largest) && largest > 0.0f &&
        unitVector(x / largest, y / largest, z / largest, currentNormal))
        return;
    currentNormal[0] = 0.0f;
    currentNormal[1] = 0.0f;
    currentNormal[2] = 1.0f;
}

void Scene::addLight(float x, float y, float z, float r, float g, float b, float a)
{
    Light light;
    light.position[0] = x;
    light.position[1] = y;
    light.position[2] = z;
    light.color = Color4{r, g, b, a};
    lights.push_back(light);
}

void Scene::beginMesh()
{
    Mesh mesh;
    mesh.diffuse = currentDiffuse;
    mesh.specular = currentSpecular;
    mesh.shininess = currentShininess;
    mesh.texture = currentTexture;
    meshes.push_back(std::move(mesh));
}

void Scene::beginPolygon()
{
    meshes.back().polygons.emplace_back();
}

void Scene::addVertex(const Vec4& p)
{
    std::vector<Vertex>& vertices = meshes.back().polygons.back().vertices;
    const int n = static_cast<int>(vertices.size());
    Vertex vertex;
    objectTransform.current.transform(vertex.position, p);
    vertex.normal[0] = currentNormal[0];
    vertex.normal[1] = currentNormal[1];
    vertex.normal[2] = currentNormal[2];
    vertex.u = currentU;
    vertex.v = currentV;
    // Each vertex links to the one added before it; the first closes the ring.
    vertex.next = n - 1;
    vertices.push_back(vertex);
    vertices[0].next = n;
}

void buildScene(Scene& scene, const Texture& texture)
{
    scene.reset();
    scene.ambient = Color4{0.4f, 0.4f, 0.4f, 1.0f};
    scene.addLight(0.0f, -100.0f, 80.0f, 0.8f, 0.8f, 0.8f, 1.0f);
    scene.currentTexture = &texture;
    scene.objectTransform.push();
    scene.currentSpecular = colorFromHsv(0.0f, 0.0f, 1.5f, 1.0f);
    scene.currentDiffuse = colorFromHsv(0.66f, 1.0f, 0.9f, 1.0f);
    scene.currentShininess = 120;
    buildTorus(scene, torusRings, torusSides);
    scene.objectTransform.pop();
}
