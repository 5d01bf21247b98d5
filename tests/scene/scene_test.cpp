#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "scene/scene.h"

namespace {

TEST(Scene, ResetClearsGeometryButKeepsAmbientAndTransforms)
{
    Scene scene;
    scene.ambient = Color4{0.2f, 0.3f, 0.4f, 1.0f};
    scene.modelView.translate(1, 2, 3);
    scene.addLight(1, 2, 3, 0.5f, 0.5f, 0.5f, 1);
    scene.currentShininess = 7;
    scene.currentU = 0.5f;
    scene.setNormal(1, 0, 0);
    scene.beginMesh();
    scene.reset();
    EXPECT_TRUE(scene.meshes.empty());
    EXPECT_TRUE(scene.lights.empty());
    EXPECT_EQ(scene.currentNormal[0], 0.0f);
    EXPECT_EQ(scene.currentNormal[2], 1.0f);
    EXPECT_EQ(scene.currentShininess, 0);
    EXPECT_EQ(scene.currentU, 0.0f);
    EXPECT_EQ(scene.currentDiffuse.g, 1.0f);
    EXPECT_EQ(scene.currentSpecular.g, 0.0f);
    EXPECT_EQ(scene.ambient.g, 0.3f);
    EXPECT_EQ(scene.modelView.current.m[7], 2.0);
}

TEST(Scene, SetNormalIsSinglePrecisionAndNeverStoresNaN)
{
    Scene scene;
    scene.setNormal(3, 0, 4);
    EXPECT_EQ(scene.currentNormal[0], 0.6f);
    EXPECT_EQ(scene.currentNormal[2], 0.8f);
    const float x = 0.1f, y = 0.7f, z = 0.3f;
    const float length = std::sqrt(x * x + y * y + z * z);
    scene.setNormal(x, y, z);
    EXPECT_EQ(scene.currentNormal[1], y / length);

    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto& v : {std::array<float, 3>{0, 0, 0}, {inf, 0, 0}, {nan, 1, 0}}) {
        scene.setNormal(0.6f, 0.8f, 0);
        scene.setNormal(v[0], v[1], v[2]);
        EXPECT_EQ(scene.currentNormal[0], 0.0f);
        EXPECT_EQ(scene.currentNormal[2], 1.0f);
    }
    // Squares that underflow or overflow still have a direction.
    scene.setNormal(1e-30f, 0, 0);
    EXPECT_EQ(scene.currentNormal[0], 1.0f);
    scene.setNormal(0, -3e30f, 4e30f);
    EXPECT_FLOAT_EQ(scene.currentNormal[1], -0.6f);
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
    auto nexts = [&] {
        std::string s;
        for (const Vertex& v : vertices)
            s += std::to_string(v.next);
        return s;
    };
    scene.currentU = 0.25f;
    scene.addVertex(Vec4{1, 2, 3, 1});
    EXPECT_EQ(nexts(), "0");
    scene.addVertex(Vec4{0, 0, 0, 1});
    EXPECT_EQ(nexts(), "10");
    scene.addVertex(Vec4{0, 0, 0, 1});
    scene.addVertex(Vec4{0, 0, 0, 1});
    EXPECT_EQ(nexts(), "3012");
    EXPECT_EQ(vertices[0].position.x, 2.0f); // through objectTransform
    EXPECT_EQ(vertices[0].u, 0.25f);
}

std::string writeTexture(const char* name, long bytes)
{
    const std::string path = ::testing::TempDir() + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    for (long i = 0; i < bytes; ++i)
        std::fputc(static_cast<int>(i % 251), file);
    std::fclose(file);
    return path;
}

TEST(Scene, BuildSceneMakesTheLitTexturedTorus)
{
    const std::string path = writeTexture("build_scene.raw", textureBytes);
    Scene scene;
    buildScene(scene, path.c_str());
    EXPECT_EQ(scene.ambient.r, 0.4f);
    ASSERT_EQ(scene.lights.size(), 1u);
    EXPECT_EQ(scene.lights[0].position[1], -100.0f);
    EXPECT_EQ(scene.lights[0].color.g, 0.8f);
    ASSERT_EQ(scene.meshes.size(), 1u);
    const Mesh& mesh = scene.meshes[0];
    EXPECT_EQ(mesh.specular.r, 1.5f);
    EXPECT_NEAR(mesh.diffuse.g, 0.036f, 5e-4);
    EXPECT_EQ(mesh.shininess, 120);
    ASSERT_NE(mesh.texture, nullptr);
    EXPECT_EQ(mesh.texture->data[5], 5);
    EXPECT_EQ(mesh.polygons.size(), 2304u);
    EXPECT_TRUE(scene.objectTransform.saved.empty());
}

TEST(SceneDeathTest, BuildSceneEndsTheProgramWhenTheTextureIsShort)
{
    const std::string path = writeTexture("short_scene.raw", 1000);
    Scene scene;
    EXPECT_EXIT(buildScene(scene, path.c_str()), ::testing::ExitedWithCode(1),
                "too short: 1000 bytes, 196608 needed");
}

} // namespace
