#include "scene/color4.h"

#include <cmath>

Color4 colorFromHsv(float h, float s, float v, float a)
{
    Color4 result{0.0f, 0.0f, 0.0f, 1.0f};
    if (s == 0.0f)
        return Color4{v, v, v, a};

    const float h6 = h * 6.0f;
    // Truncation of a value that does not fit an int is undefined; such a float is a
    // whole number already, so its fraction is 0 and only its sector matters.
    int sector;
    float f;
    if (std::fabs(h6) < 2147483648.0f) {
        const int i = static_cast<int>(h6);
        f = h6 - static_cast<float>(i);
        sector = i % 6;
    } else if (std::isfinite(h6)) {
        f = 0.0f;
        sector = static_cast<int>(std::fmod(h6, 6.0f));
    } else {
        return result;
    }

    const float p = v * (1.0f - s);
    const float q = v * (1.0f - s * f);
    const float t = v * (1.0f - s * (1.0f - f));
    switch (sector) {
    case 0: return Color4{v, t, p, a};
    case 1: return Color4{q, v, p, a};
    case 2: return Color4{p, v, t, a};
    case 3: return Color4{p, q, v, a};
    case 4: return Color4{t, p, v, a};
    case 5: return Color4{v, p, q, a};
    default: return result;
    }
}
