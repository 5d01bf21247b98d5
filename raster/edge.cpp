#include "raster/edge.h"

#include <cmath>

bool coversNoRow(const Edge& edge)
{
    if (std::isnan(edge.y) || std::isnan(edge.yEnd))
        return true;
    if (edge.yEnd <= 0.0f)
        return true;
    // Same truncation: compared as ints where both fit, which is every drawn edge.
    if (std::fabs(edge.y) < 2147483648.0f && std::fabs(edge.yEnd) < 2147483648.0f)
        return static_cast<int>(edge.y) == static_cast<int>(edge.yEnd);
    return std::trunc(edge.yEnd) == std::trunc(edge.y);
}

Edge& Edge::setUp(const Vertex& a, const Vertex& b)
{
    retired = false;
    const bool aStarts = a.position.y <= b.position.y;
    const Vertex& s = aStarts ? a : b;
    const Vertex& e = aStarts ? b : a;
    x = s.position.x;
    y = s.position.y;
    z = s.position.z;
    xEnd = e.position.x;
    yEnd = e.position.y;
    zEnd = e.position.z;
    for (int i = 0; i < 3; ++i) {
        normal[i] = s.normal[i];
        normalEnd[i] = e.normal[i];
    }

    // Differences, reciprocal, products and sums in double; each stored value rounded
    // once to float. r itself is never rounded.
    const double r = 1.0 / (static_cast<double>(yEnd) - y);
    dxdy = static_cast<float>((static_cast<double>(xEnd) - x) * r);
    dzdy = static_cast<float>((static_cast<double>(zEnd) - z) * r);
    for (int i = 0; i < 3; ++i)
        dNormalDy[i] = static_cast<float>((static_cast<double>(normalEnd[i]) - normal[i]) * r);

    if (y < 0.0f) {
        const double t = -static_cast<double>(y);
        y = 0.0f;
        x = static_cast<float>(x + t * dxdy);
        z = static_cast<float>(z + t * dzdy);
        for (int i = 0; i < 3; ++i)
            normal[i] = static_cast<float>(normal[i] + t * dNormalDy[i]);
    }
    return *this;
}
