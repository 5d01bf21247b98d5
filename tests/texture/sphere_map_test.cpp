#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "tests/support/test_texture.h"
#include "texture/sphere_map.h"

namespace {

struct Lookup {
    Texture texture = distinctTexture();
    Scene scene;
    Mesh mesh;
    Lookup() { mesh.texture = &texture; }
    std::pair<int, int> texel(float nx, float ny, float nz) const
    {
        const Color4 c = sphereMapLookup(scene, nx, ny, nz, mesh);
        EXPECT_EQ(c.a, 1.0f);
        return {texelColumn(c), texelRow(c)};
    }
};

using Texel = std::pair<int, int>;

TEST(SphereMapLookup, TruncatesAndClampsTheEyeSpaceNormal)
{
    Lookup f;
    f.scene.modelView.translate(3, -2, 9); // translation does not turn a direction
    EXPECT_EQ(f.texel(0, 0, 1), Texel(128, 128));
    EXPECT_EQ(f.texel(0, 0, 5), Texel(128, 128)); // the length does not matter
    EXPECT_EQ(f.texel(1, 0, 0), Texel(255, 128)); // 256 clamps to 255
    EXPECT_EQ(f.texel(-1, 0, 0), Texel(0, 128));
    EXPECT_EQ(f.texel(0, 1, 0), Texel(128, 255)); // up is the last row
    EXPECT_EQ(f.texel(0, -1, 0), Texel(128, 0));
    const float z = std::sqrt(1.0f - 0.999f * 0.999f);
    EXPECT_EQ(f.texel(-0.999f, 0, z).first, 0);   // 0.128
    EXPECT_EQ(f.texel(0.999f, 0, z).first, 255);  // 255.872
    EXPECT_EQ(f.texel(0.1f, 0, std::sqrt(0.99f)).first, 140); // 140.8, not rounded
    f.scene.modelView.rotateZ(90); // object +x turns to eye +y
    EXPECT_EQ(f.texel(1, 0, 0), Texel(128, 255));
}

TEST(SphereMapLookup, BytesDegenerateNormalsAndMissingTextures)
{
    Lookup f;
    f.texture.data[(128 * 256 + 128) * 3] = 255;
    const Color4 c = sphereMapLookup(f.scene, 0, 0, 1, f.mesh);
    EXPECT_EQ(c.r, 1.0f);
    EXPECT_EQ(c.b, 7 * byteToUnit);
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(f.texel(0, 0, 0), Texel(0, 0));
    EXPECT_EQ(f.texel(inf, 0, 0), Texel(0, 0));
    EXPECT_EQ(f.texel(std::numeric_limits<float>::quiet_NaN(), 1, 0), Texel(0, 0));
    f.mesh.texture = nullptr;
    const Color4 missing = sphereMapLookup(f.scene, 0, 0, 1, f.mesh);
    EXPECT_EQ(missing.r, 1.0f);
    EXPECT_EQ(missing.g, 0.0f);
    EXPECT_EQ(missing.b, 1.0f);
}

TEST(SphereMapLookup, TheBatchedLookupIsBitForBitTheSingleOne)
{
    Lookup f;
    f.scene.modelView.translate(0.5f, -1, -3);
    f.scene.modelView.rotateX(-60);
    f.scene.modelView.rotateZ(-135);
    const SphereMap map(f.scene, f.mesh);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> component(-1.5f, 1.5f);
    const float specials[] = {0.0f, -0.0f, 1e-38f, 1e38f, std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(), 1.0f, -1.0f};
    constexpr int count = 4099; // not a multiple of the lane count
    std::vector<float> nx(count), ny(count), nz(count);
    for (int k = 0; k < count; ++k) {
        const bool special = k % 5 == 0;
        nx[k] = special ? specials[random() % std::size(specials)] : component(random);
        ny[k] = special ? specials[random() % std::size(specials)] : component(random);
        nz[k] = component(random);
    }
    for (LookupLanes lanes : {LookupLanes::one, LookupLanes::avx2, LookupLanes::avx512}) {
        if (lanes > bestLookupLanes())
            continue;
        std::vector<Color4> batched(count);
        std::vector<Color4*> out(count);
        for (int k = 0; k < count; ++k)
            out[k] = &batched[k];
        colorsAt(map, count, nx.data(), ny.data(), nz.data(), out.data(), lanes);
        for (int k = 0; k < count; ++k) {
            const Color4 single = sphereMapLookup(f.scene, nx[k], ny[k], nz[k], f.mesh);
            ASSERT_EQ(std::memcmp(&single, &batched[k], sizeof(Color4)), 0) << k << " " << int(lanes);
        }
    }
}

} // namespace
