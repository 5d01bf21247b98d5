#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "scene/color4.h"
#include "scene/scene.h"
#include "scene/torus.h"

namespace {

TEST(Scene, ResetClearsGeometryButKeepsAmbientAndTransforms)
{
    Scene scene;
    Texture texture;
    scene.ambient.g = 0.3f;
    scene.modelView.translate(1, 2, 3);
    scene.addLight(1, 2, 3, 0.5f, 0.5f, 0.5f, 1);
    scene.currentShininess = 7, scene.currentU = 0.5f, scene.currentDiffuse.g = 0, scene.currentSpecular.g = 1;
    scene.currentV = 0.5f, scene.currentTexture = &texture;
    scene.setNormal(1, 0, 0);
    scene.beginMesh();
    scene.reset();
    EXPECT_TRUE(scene.meshes.empty() && scene.lights.empty() && scene.currentNormal[0] == 0 &&
                scene.currentNormal[2] == 1 && scene.currentShininess == 0 && scene.currentU == 0 &&
                scene.currentV == 0 && !scene.currentTexture && scene.currentDiffuse.g == 1 &&
                scene.currentSpecular.g == 0);
    EXPECT_TRUE(scene.ambient.g == 0.3f && scene.modelView.current.m[7] == 2.0);
}

// Unit length in single precision; no direction (zero, infinite, NaN) gives (0, 0, 1),
// and squares that underflow or overflow still have one.
TEST(Scene, SetNormalIsSinglePrecisionAndNeverStoresNaN)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float length = std::sqrt(0.1f * 0.1f + 0.7f * 0.7f + 0.3f * 0.3f);
    const struct {
        std::array<float, 3> in, out;
    } cases[] = {{{3, 0, 4}, {0.6f, 0, 0.8f}},       {{0.1f, 0.7f, 0.3f}, {0.1f / length, 0.7f / length, 0.3f / length}},
                 {{0, 0, 0}, {0, 0, 1}},             {{inf, 0, 0}, {0, 0, 1}},
                 {{nan, 1, 0}, {0, 0, 1}},           {{1e-30f, 0, 0}, {1, 0, 0}},
                 {{0, -3e30f, 4e30f}, {0, -0.6f, 0.8f}}};
    Scene scene;
    for (const auto& c : cases) {
        scene.setNormal(0.6f, 0.8f, 0);
        scene.setNormal(c.in[0], c.in[1], c.in[2]);
        for (int i = 0; i < 3; ++i)
            EXPECT_FLOAT_EQ(scene.currentNormal[i], c.out[i]) << c.in[0] << " " << c.in[1] << " " << c.in[2];
    }
    scene.setNormal(0.1f, 0.7f, 0.3f);
    EXPECT_EQ(scene.currentNormal[1], 0.7f / length); // exactly: one float division
}

TEST(Scene, VerticesTakeCurrentAttributesAndLinkIntoAReverseRing)
{
    Scene scene;
    scene.currentDiffuse = Color4{0.1f, 0.2f, 0.3f, 1.0f};
    scene.beginMesh();
    scene.currentDiffuse = Color4{0.9f, 0.8f, 0.7f, 1.0f};
    scene.beginMesh();
    EXPECT_EQ(scene.meshes[0].diffuse.r, 0.1f);
    EXPECT_EQ(scene.meshes[1].diffuse.r, 0.9f);

    scene.objectTransform.translate(1, 0, 0);
    scene.beginPolygon();
    const std::vector<Vertex>& vertices = scene.meshes.back().polygons.back().vertices;
    std::string nexts;
    scene.currentU = 0.25f;
    for (int k = 0; k < 4; ++k) {
        scene.addVertex(Vec4{1, 2, 3, 1});
        for (const Vertex& v : vertices)
            nexts += std::to_string(v.next);
        nexts += " ";
    }
    EXPECT_EQ(nexts, "0 10 201 3012 ");
    EXPECT_EQ(vertices[0].position.x, 2.0f); // through objectTransform
    EXPECT_EQ(vertices[0].u, 0.25f);
}

TEST(Scene, BuildSceneMakesTheLitTexturedTorus)
{
    const Texture texture{textureSize, textureSize, textureComponents, std::vector<unsigned char>(textureBytes, 5)};
    Scene scene;
    buildScene(scene, texture);
    EXPECT_EQ(scene.ambient.r, 0.4f);
    ASSERT_EQ(scene.lights.size(), 1u);
    EXPECT_EQ(scene.lights[0].position[1], -100.0f);
    EXPECT_EQ(scene.lights[0].position[2], 80.0f);
    EXPECT_EQ(scene.lights[0].color.g, 0.8f);
    ASSERT_EQ(scene.meshes.size(), 1u);
    const Mesh& mesh = scene.meshes[0];
    EXPECT_EQ(mesh.specular.r, 1.5f);
    EXPECT_NEAR(mesh.diffuse.g, 0.036f, 5e-4);
    EXPECT_EQ(mesh.shininess, 120);
    EXPECT_EQ(mesh.texture, &texture);
    EXPECT_EQ(mesh.polygons.size(), 2304u);
    EXPECT_TRUE(scene.objectTransform.saved.empty());
}

// The frames show the torus's every point and rounding (see the golden frames); here,
// the mesh it is cut into: polygon order, texture coordinates, an empty mesh for 0 rings.
TEST(Torus, MeshOfIndependentQuadrilaterals)
{
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

// Sectors, grey, whole turns, and hues that match no sector or are not finite.
TEST(ColorFromHsv, SectorsGreyWrapAndOutOfRangeHues)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float h, s, v, a;
        Color4 expected;
    } cases[] = {{0, 1, 1, 0.25f, {1, 0, 0, 0.25f}},     {0.25f, 1, 1, 1, {0.5f, 1, 0, 1}},  // mid sector 1
                 {0.5f, 1, 1, 0.5f, {0, 1, 1, 0.5f}},    {5.0f / 6, 1, 1, 1, {1, 0, 1, 1}},
                 {0.37f, 0, 1.5f, 0.5f, {1.5f, 1.5f, 1.5f, 0.5f}}, {1.5f, 1, 1, 1, {0, 1, 1, 1}},
                 {-0.5f, 1, 1, 0.3f, {0, 0, 0, 1}},      {-0.1f, 1, 1, 1, {1, -0.6f, 0, 1}}, // sector 0
                 {inf, 1, 1, 1, {0, 0, 0, 1}},           {nan, 1, 1, 1, {0, 0, 0, 1}},
                 {-1e9f, 1, 1, 1, {1, 0, 0, 1}},         {0.66f, 1, 0.9f, 1, {0, 0.036f, 0.9f, 1}}};
    for (const auto& c : cases) {
        const Color4 got = colorFromHsv(c.h, c.s, c.v, c.a);
        const float g[4] = {got.r, got.g, got.b, got.a}, e[4] = {c.expected.r, c.expected.g, c.expected.b, c.expected.a};
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(g[i], e[i], 5e-4) << "hue " << c.h << ", component " << i;
    }
}

} // namespace
