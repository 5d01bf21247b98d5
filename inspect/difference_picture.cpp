#include "inspect/difference_picture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

DifferencePicture differencePicture(const RgbImage& a, const RgbImage& b)
{
    DifferencePicture result;
    result.amplified = RgbImage{a.width, a.height, std::vector<unsigned char>(a.rgb.size())};
    result.pixels = static_cast<long long>(a.width) * a.height;
    long long sums[3] = {0, 0, 0};
    for (long long p = 0; p < result.pixels; ++p) {
        bool differs = false;
        for (int c = 0; c < 3; ++c) {
            const std::size_t i = static_cast<std::size_t>(p) * 3 + c;
            const int d = std::abs(int(a.rgb[i]) - int(b.rgb[i]));
            sums[c] += d;
            differs = differs || d != 0;
            // A lift of 32 makes even a one-level difference visible against black.
            result.amplified.rgb[i] = static_cast<unsigned char>(d == 0 ? 0 : std::min(255, 32 + 8 * d));
        }
        result.differingPixels += differs;
    }
    for (int c = 0; c < 3; ++c)
        result.meanAbsolute[c] = result.pixels ? double(sums[c]) / double(result.pixels) : 0.0;
    return result;
}

std::string describeDifferencePicture(const DifferencePicture& difference)
{
    const double share =
        difference.pixels ? 100.0 * double(difference.differingPixels) / double(difference.pixels) : 0.0;
    char line[256];
    std::snprintf(line, sizeof line,
                  "differing pixels: %lld of %lld (%.2f%%), mean absolute difference: r %.3f, g %.3f, b %.3f",
                  difference.differingPixels, difference.pixels, share, difference.meanAbsolute[0],
                  difference.meanAbsolute[1], difference.meanAbsolute[2]);
    return line;
}
