#include <gtest/gtest.h>

#include <cmath>

#include "scene/torus.h"

namespace {

Vertex torusVertex(float a, float b)
{
    Scene scene;
    scene.beginMesh();
    scene.beginPolygon();
    addTorusVertex(scene, a, b);
    return scene.meshes[0].polygons[0].vertices[0];
}

TEST(Torus, CornersOfTheSurface)
{
    const Vertex top = torusVertex(0, 0);
    EXPECT_EQ(top.position.y, 0.6f);
    EXPECT_EQ(top.position.z, 0.4f);
    EXPECT_EQ(top.normal[2], 1.0f);
    const struct {
        float a, b, x, y, z, nx, ny, nz;
    } corners[] = {{0, 0.5f, 0, 0.6f, -0.4f, 0, 0, -1}, {0, 0.25f, 0, 1, 0, 0, 1, 0},
                   {0.25f, 0.75f, 0.2f, 0, 0, -1, 0, 0}};
    for (const auto& c : corners) {
        const Vertex v = torusVertex(c.a, c.b);
        EXPECT_NEAR(v.position.x, c.x, 5e-6);
        EXPECT_NEAR(v.position.y, c.y, 5e-6);
        EXPECT_NEAR(v.position.z, c.z, 5e-6);
        EXPECT_NEAR(v.normal[0], c.nx, 5e-6);
        EXPECT_NEAR(v.normal[1], c.ny, 5e-6);
        EXPECT_NEAR(v.normal[2], c.nz, 5e-6);
    }
    // rho is rounded to float and the radius is built from that float.
    const float rho = static_cast<float>(0.4 * std::sin(6.28318 * static_cast<double>(0.1f)));
    EXPECT_EQ(torusVertex(0.3f, 0.1f).position.x,
              static_cast<float>((0.6 + rho) * std::sin(6.28318 * static_cast<double>(0.3f))));
}

TEST(Torus, MeshOfIndependentQuadrilaterals)
{
    Scene scene;
    buildTorus(scene, 48, 48);
    buildTorus(scene, 0, 48);
    ASSERT_EQ(scene.meshes.size(), 2u);
    EXPECT_TRUE(scene.meshes[1].polygons.empty());
    const std::vector<Polygon>& polygons = scene.meshes[0].polygons;
    ASSERT_EQ(polygons.size(), 2304u);
    for (const Polygon& p : polygons) {
        ASSERT_EQ(p.vertices.size(), 4u);
        EXPECT_EQ(p.vertices[0].next, 3);
        EXPECT_EQ(p.vertices[3].next, 2);
    }
    const float step = static_cast<float>(1.0 / 48);
    const float corners[4][2] = {{0, 0}, {0, step}, {step, step}, {step, 0}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(polygons[0].vertices[k].u, corners[k][0]);
        EXPECT_EQ(polygons[0].vertices[k].v, corners[k][1]);
    }
    EXPECT_EQ(polygons[1].vertices[0].v, step);
    EXPECT_EQ(polygons[2303].vertices[2].u, 1.0f);
    // The seam is not closed: 6.28318 falls short of a full turn.
    EXPECT_NE(polygons[2303].vertices[2].position.x, polygons[0].vertices[0].position.x);
}

} // namespace
