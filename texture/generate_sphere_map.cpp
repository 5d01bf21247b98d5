#include "texture/generate_sphere_map.h"

#include <algorithm>
#include <cmath>

#include "texture/texture.h"

namespace {

struct Rgb {
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
};

Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb operator*(Rgb a, double s) { return {a.r * s, a.g * s, a.b * s}; }

struct Direction {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

Direction normalized(Direction d)
{
    const double length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    return {d.x / length, d.y / length, d.z / length};
}

double dot(Direction a, Direction b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Subsamples per texel side; the circle edge is the only place they change anything.
constexpr int subsamples = 4;

// Colours are linear light, encoded with a plain 2.2 power at the end.
const Rgb base{0.0005, 0.002, 0.022};
const Direction keyDirection = normalized({-0.55, 0.6, 0.6});
const Rgb keyColor{0.04, 0.34, 0.85};
const Direction fillDirection = normalized({0.7, -0.5, 0.5});
const Rgb fillColor{0.012, 0.03, 0.14};
const Rgb rimColor{0.12, 0.65, 1.0};
const Direction halfway = normalized({keyDirection.x, keyDirection.y, keyDirection.z + 1.0});

// "Wrapped" diffuse: the key light reaches a little past the terminator, so it fades
// out softly instead of ending in a hard edge.
double softDiffuse(Direction normal, Direction light, double wrap)
{
    const double d = std::max(0.0, (dot(normal, light) + wrap) / (1.0 + wrap));
    return d * d;
}

Rgb shade(Direction n)
{
    Rgb color = base;
    color = color + keyColor * softDiffuse(n, keyDirection, 0.25);
    color = color + fillColor * softDiffuse(n, fillDirection, 0.2);
    // The rim glows where the surface turns away from the eye, less so on the key side
    // that is lit already.
    const double edge = 1.0 - n.z;
    color = color + rimColor * (0.8 * std::pow(edge, 4.0) * (0.3 + 0.7 * (1.0 - softDiffuse(n, keyDirection, 0.0))));
    const double nh = std::max(0.0, dot(n, halfway));
    const double gloss = std::pow(nh, 16.0) * 0.12 + std::pow(nh, 120.0) * 1.8;
    return color + Rgb{1.0, 1.0, 1.0} * gloss;
}

double encode(double linear)
{
    return std::pow(std::clamp(linear, 0.0, 1.0), 1.0 / 2.2);
}

} // namespace

std::vector<unsigned char> generateSphereMap()
{
    const Rgb corner{sphereMapCorner[0] / 255.0, sphereMapCorner[1] / 255.0, sphereMapCorner[2] / 255.0};
    std::vector<unsigned char> raw(textureBytes);
    unsigned char* to = raw.data();
    for (int v = 0; v < textureSize; ++v) {
        for (int u = 0; u < textureSize; ++u) {
            // Average the encoded colours, so the edge blends the way it looks.
            Rgb sum;
            for (int j = 0; j < subsamples; ++j) {
                for (int i = 0; i < subsamples; ++i) {
                    const double x = (u + (i + 0.5) / subsamples) / (textureSize / 2.0) - 1.0;
                    const double y = (v + (j + 0.5) / subsamples) / (textureSize / 2.0) - 1.0;
                    const double r2 = x * x + y * y;
                    if (r2 >= 1.0) {
                        sum = sum + corner;
                        continue;
                    }
                    const Rgb lit = shade({x, y, std::sqrt(1.0 - r2)});
                    sum = sum + Rgb{encode(lit.r), encode(lit.g), encode(lit.b)};
                }
            }
            const Rgb mean = sum * (1.0 / (subsamples * subsamples));
            for (double c : {mean.r, mean.g, mean.b})
                *to++ = static_cast<unsigned char>(std::clamp(std::floor(c * 255.0 + 0.5), 0.0, 255.0));
        }
    }
    return raw;
}
