#include "scene/torus.h"

#include <cmath>

void addTorusVertex(Scene& scene, float a, float b)
{
    // 6.28318 rather than 2*pi: the seams are part of the image. Angles and their sines
    // in double; rho is rounded to float and used as that float afterwards.
    const double theta = 6.28318 * static_cast<double>(a);
    const double phi = 6.28318 * static_cast<double>(b);
    const float rho = static_cast<float>(0.4 * std::sin(phi));
    const double sinTheta = std::sin(theta), cosTheta = std::cos(theta);
    const double tubeZ = 0.4 * std::cos(phi);

    const float nx = static_cast<float>(static_cast<double>(rho) * sinTheta);
    const float ny = static_cast<float>(static_cast<double>(rho) * cosTheta);
    const float nz = static_cast<float>(tubeZ);
    scene.setNormal(nx, ny, nz);

    const double radius = 0.6 + static_cast<double>(rho);
    Vec4 position;
    position.x = static_cast<float>(radius * sinTheta);
    position.y = static_cast<float>(radius * cosTheta);
    position.z = static_cast<float>(tubeZ);
    position.w = 1.0f;
    scene.addVertex(position);
}

void buildTorus(Scene& scene, int rings, int sides)
{
    scene.beginMesh();
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < sides; ++j) {
            const float a0 = static_cast<float>(static_cast<double>(i) / rings);
            const float a1 = static_cast<float>(static_cast<double>(i + 1) / rings);
            const float b0 = static_cast<float>(static_cast<double>(j) / sides);
            const float b1 = static_cast<float>(static_cast<double>(j + 1) / sides);
            scene.beginPolygon();
            const float corners[4][2] = {{a0, b0}, {a0, b1}, {a1, b1}, {a1, b0}};
            for (const auto& corner : corners) {
                scene.currentU = corner[0];
                scene.currentV = corner[1];
                addTorusVertex(scene, corner[0], corner[1]);
            }
        }
    }
}
