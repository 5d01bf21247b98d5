#include "tools/sphaerix-conformance/random_cases.h"

#include <string>

#include "inspect/exact_number.h"

namespace {

// splitmix64: a fixed sequence of 64-bit words from any seed, the same everywhere.
struct Words {
    std::uint64_t state;
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }
    // A whole number in lo..hi; the tiny bias of the remainder does not matter here.
    long long between(long long lo, long long hi)
    {
        return lo + static_cast<long long>(next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    // A multiple of 1/steps in lo..hi: below 2^24 steps in all, so exact as a float.
    float multiple(long long lo, long long hi, int steps)
    {
        return static_cast<float>(between(lo * steps, hi * steps)) / static_cast<float>(steps);
    }
};

int side(Words& w)
{
    // One side in four small, where single pixels and thin frames show.
    return w.between(0, 3) == 0 ? int(w.between(1, 16)) : int(w.between(1, 1024));
}

float angle(Words& w)
{
    // One angle in four far from a revolution, where the turns' arguments lose digits.
    return w.between(0, 3) == 0 ? w.multiple(-1000000, 1000000, 4) : w.multiple(-360, 360, 8);
}

float pan(Words& w)
{
    // Mostly near the frame; one in four far outside it.
    return w.between(0, 3) == 0 ? w.multiple(-2000, 2000, 2) : w.multiple(-250, 250, 4);
}

float zoom(Words& w)
{
    // Wheel events move the torus 0.25 a step from 3 away: from 11 it reaches through
    // the eye, from 13 corners fall behind it; below 0 it recedes.
    switch (w.between(0, 3)) {
    case 0:
        return w.multiple(10, 16, 8);
    case 1:
        return w.multiple(-40, 0, 4);
    default:
        return w.multiple(0, 10, 8);
    }
}

} // namespace

std::vector<ConformanceCase> randomCases(int count, std::uint64_t seed)
{
    Words w{seed};
    std::vector<ConformanceCase> cases;
    for (int k = 1; k <= count; ++k) {
        ConformanceCase c;
        c.name = "random-" + std::to_string(seed) + "-" + std::to_string(k);
        c.width = side(w);
        c.height = side(w);
        c.angleZ = angle(w);
        c.angleX = angle(w);
        c.panX = pan(w);
        c.panY = pan(w);
        c.zoom = zoom(w);
        c.angleZText = exactText(c.angleZ), c.angleXText = exactText(c.angleX);
        c.panText = exactText(c.panX) + "," + exactText(c.panY), c.zoomText = exactText(c.zoom);
        cases.push_back(c);
    }
    return cases;
}
