#include "tools/sphaerix-snapshot/frame_timing.h"

#include <algorithm>
#include <cstdio>

double medianMilliseconds(std::vector<double> samples)
{
    if (samples.empty())
        return 0.0;
    const std::size_t middle = samples.size() / 2;
    std::nth_element(samples.begin(), samples.begin() + middle, samples.end());
    const double upper = samples[middle];
    if (samples.size() % 2 == 1)
        return upper;
    const double lower = *std::max_element(samples.begin(), samples.begin() + middle);
    return (lower + upper) / 2.0;
}

std::string describeTiming(const std::vector<double>& samples)
{
    char line[96];
    std::snprintf(line, sizeof line, "frames: %zu, median: %.3f ms", samples.size(),
                  medianMilliseconds(samples));
    return line;
}
