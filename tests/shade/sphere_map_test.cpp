#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <vector>

#include "shade/sphere_map.h"
#include "shade/texture_filter.h"
#include "tests/support/test_texture.h"

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

// trunc((e * 0.5 + 0.5) * 256) clamped, for the eye-space normal; a normal without a
// direction reads texel (0, 0); a mesh without a texture is magenta. The steps say which
// index was held at the map's edge, for the pixel history.
TEST(SphereMapLookup, TruncatesAndClampsTheEyeSpaceNormal)
{
    const float z = std::sqrt(1.0f - 0.999f * 0.999f), inf = std::numeric_limits<float>::infinity();
    constexpr TexelClamp in = TexelClamp::none, last = TexelClamp::last, nan = TexelClamp::notANumber;
    const struct {
        float x, y, z;
        Texel texel;
        TexelClamp u = in, v = in;
    } cases[] = {{0, 0, 1, {128, 128}},   {0, 0, 5, {128, 128}},  {1, 0, 0, {255, 128}, last}, // 256 clamps
                 {-1, 0, 0, {0, 128}},    {0, 1, 0, {128, 255}, in, last},  {0, -1, 0, {128, 0}}, // up: last row
                 {-0.999f, 0, z, {0, 128}}, {0.999f, 0, z, {255, 128}},             // 0.128, 255.872
                 {0.1f, 0, std::sqrt(0.99f), {140, 128}},                            // 140.8, not rounded
                 {0, 0, 0, {0, 0}, nan, nan}, {inf, 0, 0, {0, 0}, nan, nan}, {std::nanf(""), 1, 0, {0, 0}, nan, nan}};
    Lookup f;
    f.scene.modelView.translate(3, -2, 9); // translation does not turn a direction
    for (const auto& c : cases) {
        EXPECT_EQ(f.texel(c.x, c.y, c.z), c.texel) << c.x << " " << c.y << " " << c.z;
        const SphereMapSteps s = SphereMap(f.scene, f.mesh).steps(c.x, c.y, c.z);
        EXPECT_TRUE(s.uClamp == c.u && s.vClamp == c.v) << c.x << " " << c.y << " " << c.z;
    }
    // Past -1 (a model-view that doubles x and y, which the camera's never does).
    Lookup doubled;
    doubled.scene.modelView.current.m[0] = doubled.scene.modelView.current.m[5] = 2.0;
    const SphereMapSteps s = SphereMap(doubled.scene, doubled.mesh).steps(-0.6f, -0.8f, 0.0f);
    EXPECT_TRUE(s.u == 0 && s.v == 0 && s.uClamp == TexelClamp::first && s.vClamp == TexelClamp::first);
    f.scene.modelView.rotateZ(90); // object +x turns to eye +y
    EXPECT_EQ(f.texel(1, 0, 0), Texel(128, 255));

    f.texture.data[(255 * 256 + 128) * 3] = 255;
    const Color4 c = sphereMapLookup(f.scene, 1, 0, 0, f.mesh);
    EXPECT_EQ(c.r, 1.0f);
    EXPECT_EQ(c.b, 7 * byteToUnit);
    f.mesh.texture = nullptr;
    const Color4 missing = sphereMapLookup(f.scene, 0, 0, 1, f.mesh);
    EXPECT_TRUE(missing.r == 1.0f && missing.g == 0.0f && missing.b == 1.0f && missing.a == 1.0f);
}

// Normals whose eye x or y lies a few float steps from a texel boundary, where the
// float estimate must hand over to the exact chain, then random and special ones; a run
// of pending pixels with finished ones between them, looked up in place with every lane
// width the processor has, must equal the single exact lookup pixel for pixel.
TEST(SphereMapLookup, EveryLaneWidthFindsTheExactTexel)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {0.0f, -0.0f, 1e-38f, 1e-30f, 1e38f, inf, std::nanf(""), 1.0f, -1.0f};
    std::mt19937 random(7);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (int view = 0; view < 3; ++view) {
        Lookup f;
        if (view > 0) {
            f.scene.modelView.translate(0.5f, -1, -3);
            f.scene.modelView.rotateX(view == 1 ? -60.0f : 33.3f);
            f.scene.modelView.rotateZ(view == 1 ? -135.0f : 71.9f);
        }
        const double* m = f.scene.modelView.current.m;
        const float pending = 0.0f; // the alpha that marks a pixel still to be looked up
        std::vector<Color4> pixels;
        int sides[2] = {0, 0}; // below and at or above a boundary, from the exact lookup
        for (int k = 0; k < 20000; ++k) {
            float n[3];
            if (k % 2 == 0) {
                // An eye vector on boundary 1..255 of x or y, turned back to object space
                // by the transpose, then moved by up to 3 float steps per component.
                const int boundary = 1 + static_cast<int>(random() % 255);
                const double b = boundary / 128.0 - 1.0, other = uniform(random) * std::sqrt(1 - b * b);
                double e[3] = {b, other, std::sqrt(std::max(0.0, 1 - b * b - other * other))};
                if (k % 4 == 0)
                    std::swap(e[0], e[1]);
                for (int i = 0; i < 3; ++i) {
                    n[i] = static_cast<float>((m[i] * e[0] + m[4 + i] * e[1] + m[8 + i] * e[2]) * 2.5);
                    for (int step = static_cast<int>(random() % 7) - 3; step != 0; step += step > 0 ? -1 : 1)
                        n[i] = std::nextafter(n[i], step > 0 ? inf : -inf);
                }
                const Color4 exact = sphereMapLookup(f.scene, n[0], n[1], n[2], f.mesh);
                ++sides[(k % 4 == 0 ? texelRow(exact) : texelColumn(exact)) >= boundary];
            } else {
                for (float& c : n)
                    c = k % 10 == 1 ? specials[random() % std::size(specials)] : uniform(random);
            }
            pixels.push_back(Color4{n[0], n[1], n[2], k % 23 == 5 ? 1.0f : pending});
        }
        EXPECT_GT(std::min(sides[0], sides[1]), 1000); // both sides of the boundaries are met
        pixels.resize(pixels.size() - 3); // not a whole number of lanes
        for (LookupLanes lanes : {LookupLanes::one, LookupLanes::avx2, LookupLanes::avx512}) {
            if (lanes > bestLookupLanes())
                continue;
            std::vector<Color4> looked = pixels;
            colorPendingPixels(SphereMap(f.scene, f.mesh), looked.data(), static_cast<int>(looked.size()), pending,
                               lanes);
            for (std::size_t k = 0; k < pixels.size(); ++k) {
                const Color4& p = pixels[k];
                const Color4 expected = p.a == pending ? sphereMapLookup(f.scene, p.r, p.g, p.b, f.mesh) : p;
                ASSERT_EQ(std::memcmp(&expected, &looked[k], sizeof(Color4)), 0)
                    << "view " << view << ", lanes " << int(lanes) << ", pixel " << k << ": " << p.r << " "
                    << p.g << " " << p.b;
            }
        }
    }
}

} // namespace

namespace {

// The filter's fused multiply-add, made of double operations, against the C library's
// fmaf (one rounding): random operands of the filter's ranges and of any size, and sums
// that fall exactly halfway between two floats after the double's rounding, where two
// roundings in a row would go wrong.
TEST(FusedMultiplyAdd, RoundsOnceAsFmafDoes)
{
    std::mt19937 random(27);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), wide(-1e6f, 1e6f);
    auto bits = [](float f) { std::uint32_t b; std::memcpy(&b, &f, 4); return b; };
    int halfway = 0;
    for (int k = 0; k < 2000000; ++k) {
        float a = unit(random), b = unit(random) - unit(random), c = unit(random);
        if (k % 3 == 1)
            a = wide(random), b = wide(random), c = wide(random);
        if (k % 3 == 2) {
            // c chosen so that a * b + c lies near a float halfway point: c's last bits
            // cancel the product's top ones.
            c = -std::nearbyint(static_cast<float>(double(a) * b) * 4096.0f) / 4096.0f + std::ldexp(1.0f, -25);
        }
        const double sum = double(a) * b + c;
        std::uint64_t d;
        std::memcpy(&d, &sum, 8);
        halfway += (d & 0x1fffffffu) == 0x10000000u;
        ASSERT_EQ(bits(fusedMultiplyAdd(a, b, c)), bits(std::fmaf(a, b, c))) << a << " " << b << " " << c;
    }
    // Exactly: a * b = 2^-25 - 2^-71, so F + a * b rounds to the double F + 2^-25, the
    // float halfway point above F (in 0.5..1), while the exact sum lies just below it: F.
    // Negated, just above -F - 2^-25: -F.
    const float a = std::ldexp(1.0f + std::ldexp(1.0f, -23), -25), b = 1.0f - std::ldexp(1.0f, -23);
    for (int k = 0; k < 1000; ++k) {
        const float f = 0.5f + unit(random) * 0.5f;
        EXPECT_EQ(bits(fusedMultiplyAdd(a, b, f)), bits(f)) << f;
        EXPECT_EQ(bits(fusedMultiplyAdd(-a, b, -f)), bits(-f)) << f;
    }
    EXPECT_GT(halfway, 0);
}

} // namespace

// The filter on a 4x4 texture whose texel (i, j) is 40i + 20, 40j + 20, 200: samples on
// texel centres, between two of them and past the last column, row and the first corner,
// where the black border takes its share. Each expected byte is the mix worked by hand.
TEST(TextureFilter, EdgesMixWithTheBlackBorder)
{
    Texture texture;
    texture.width = texture.height = 4;
    texture.components = 3;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            texture.data.insert(texture.data.end(), {static_cast<unsigned char>(40 * i + 20),
                                                     static_cast<unsigned char>(40 * j + 20), 200});
    struct Sample {
        float s, t;
        int r, g, b;
    };
    const Sample samples[] = {
        {0.375f, 0.375f, 60, 60, 200},  // texel 1,1 alone
        {0.5f, 0.375f, 80, 60, 200},    // halfway between 1,1 and 2,1
        {1.0f, 0.625f, 70, 50, 100},    // texel 3,2 and the border beyond the last column
        {0.625f, 1.0f, 50, 70, 100},    // texel 2,3 and the border beyond the last row
        {0.0f, 0.0f, 5, 5, 50},         // a quarter of texel 0,0, the rest border
        {1.5f, -1.0f, 35, 5, 50},       // clamped to s = 1, t = 0: a quarter of texel 3,0
    };
    for (const Sample& x : samples) {
        FilterSteps steps;
        const Color4 c = filteredColor(texture, x.s, x.t, &steps);
        EXPECT_EQ(std::lround(c.r * 255), x.r) << x.s << "," << x.t;
        EXPECT_EQ(std::lround(c.g * 255), x.g) << x.s << "," << x.t;
        EXPECT_EQ(std::lround(c.b * 255), x.b) << x.s << "," << x.t;
    }
}
