#include "texture/resample.h"

#include <algorithm>
#include <cmath>

namespace {

struct Tap {
    int source = 0;
    double weight = 0.0;
};

// The source pixels and weights that make each of `to` output pixels from `from`.
std::vector<std::vector<Tap>> taps(int from, int to)
{
    std::vector<std::vector<Tap>> result(static_cast<std::size_t>(to));
    for (int i = 0; i < to; ++i) {
        std::vector<Tap>& out = result[static_cast<std::size_t>(i)];
        if (from == to) {
            out.push_back({i, 1.0});
        } else if (to < from) {
            // In units of 1/to source pixels, output i spans [i*from, (i+1)*from) and
            // source j spans [j*to, (j+1)*to): integer overlaps give exact weights.
            const long start = long(i) * from;
            const long end = start + from;
            for (long j = start / to; j * to < end; ++j) {
                const long overlap = std::min(end, (j + 1) * to) - std::max(start, j * to);
                out.push_back({static_cast<int>(j), double(overlap) / from});
            }
        } else {
            const double centre = (i + 0.5) * from / to - 0.5;
            const double clamped = std::min(std::max(centre, 0.0), double(from - 1));
            const int left = static_cast<int>(clamped);
            const double fraction = clamped - left;
            out.push_back({left, 1.0 - fraction});
            if (left + 1 < from)
                out.push_back({left + 1, fraction});
        }
    }
    return result;
}

} // namespace

Image resample(const Image& image, int width, int height)
{
    // Rows first, into an image of the new width and the old height.
    const auto across = taps(image.width, width);
    Image wide{width, image.height, std::vector<double>(std::size_t(width) * image.height * 3, 0.0)};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < width; ++x)
            for (const Tap& tap : across[static_cast<std::size_t>(x)])
                for (int c = 0; c < 3; ++c)
                    wide.rgb[(std::size_t(y) * width + x) * 3 + c] +=
                        tap.weight * image.rgb[(std::size_t(y) * image.width + tap.source) * 3 + c];

    const auto down = taps(image.height, height);
    Image result{width, height, std::vector<double>(std::size_t(width) * height * 3, 0.0)};
    for (int y = 0; y < height; ++y)
        for (const Tap& tap : down[static_cast<std::size_t>(y)])
            for (std::size_t i = 0; i < std::size_t(width) * 3; ++i)
                result.rgb[std::size_t(y) * width * 3 + i] += tap.weight * wide.rgb[std::size_t(tap.source) * width * 3 + i];
    return result;
}
