#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "app/camera.h"
#include "raster/projection.h"

namespace {

// The four-lane projection against the one-corner definition, bit for bit, over views
// and positions from the ordinary to the absurd (behind the eye, w = 0, NaN, infinity).
TEST(Projection, EveryLaneProjectsAsTheSingleCorner)
{
    std::mt19937 random(5);
    const float inf = std::numeric_limits<float>::infinity();
    const float specials[] = {0.0f, -0.0f, 1e-30f, 3e38f, -inf, std::nanf(""), 1.0f};
    auto value = [&](float range) {
        return random() % 8 == 0 ? specials[random() % std::size(specials)]
                                 : std::uniform_real_distribution<float>(-range, range)(random);
    };
    Scene scene;
    for (int view = 0; view < 40; ++view) {
        angleZ = value(400);
        angleX = value(400);
        panX = value(1000);
        panY = value(1000);
        zoom = value(14);
        const int width = 1 + static_cast<int>(random() % 2000), height = 1 + static_cast<int>(random() % 2000);
        setupCamera(scene, width, height);
        std::vector<Vertex> vertices(103), corners(vertices.size());
        for (Vertex& v : vertices) {
            v.position = Vec4{value(2), value(2), value(2), view % 4 ? 1.0f : value(2)};
            v.normal[0] = value(1);
        }
        projectCorners(scene, vertices.data(), static_cast<int>(vertices.size()), width, height,
                       corners.data());
        for (std::size_t k = 0; k < vertices.size(); ++k) {
            const Vertex expected = windowCorner(scene, vertices[k], width, height);
            const float* e = &expected.position.x;
            const float* a = &corners[k].position.x;
            for (int i = 0; i < 4; ++i) // a NaN's sign follows the compiler's operand order
                ASSERT_TRUE(std::isnan(e[i]) ? std::isnan(a[i]) : std::memcmp(&e[i], &a[i], 4) == 0)
                    << "view " << view << ", corner " << k << ", component " << i;
            ASSERT_EQ(std::memcmp(expected.normal, corners[k].normal, sizeof expected.normal), 0);
        }
    }
    angleZ = -135;
    angleX = -60;
    panX = panY = 0;
    zoom = 0.25f;
}

} // namespace
