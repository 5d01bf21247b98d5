#include <gtest/gtest.h>

#include <cmath>

#include "scene/torus.h"

namespace {

// The frames show the torus's every rounding (see the golden frames); here, the points of
// its surface that can be worked out by hand, and the mesh it is cut into.
TEST(Torus, CornersOfTheSurfaceAndTheMesh)
{
    const struct {
        float a, b, x, y, z, nx, ny, nz;
    } corners[] = {{0, 0, 0, 0.6f, 0.4f, 0, 0, 1},         {0, 0.5f, 0, 0.6f, -0.4f, 0, 0, -1},
                   {0, 0.25f, 0, 1, 0, 0, 1, 0},           {0.25f, 0.75f, 0.2f, 0, 0, -1, 0, 0}};
    for (const auto& c : corners) {
        Scene one;
        one.beginMesh();
        one.beginPolygon();
        addTorusVertex(one, c.a, c.b);
        const Vertex& v = one.meshes[0].polygons[0].vertices[0];
        const float got[6] = {v.position.x, v.position.y, v.position.z, v.normal[0], v.normal[1], v.normal[2]};
        const float expected[6] = {c.x, c.y, c.z, c.nx, c.ny, c.nz};
        for (int i = 0; i < 6; ++i)
            EXPECT_NEAR(got[i], expected[i], 5e-6) << c.a << "," << c.b << " value " << i;
    }

    Scene scene;
    buildTorus(scene, 48, 48);
    buildTorus(scene, 0, 48);
    ASSERT_EQ(scene.meshes.size(), 2u);
    EXPECT_TRUE(scene.meshes[1].polygons.empty());
    const std::vector<Polygon>& polygons = scene.meshes[0].polygons;
    ASSERT_EQ(polygons.size(), 2304u);
    const float step = static_cast<float>(1.0 / 48);
    const float uv[4][2] = {{0, 0}, {0, step}, {step, step}, {step, 0}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(polygons[0].vertices[k].u, uv[k][0]);
        EXPECT_EQ(polygons[0].vertices[k].v, uv[k][1]);
    }
    EXPECT_EQ(polygons[1].vertices[0].v, step); // sides run fastest
    EXPECT_EQ(polygons[2303].vertices[2].u, 1.0f);
    // The seam is not closed: 6.28318 falls short of a full turn.
    EXPECT_NE(polygons[2303].vertices[2].position.x, polygons[0].vertices[0].position.x);
}

} // namespace
