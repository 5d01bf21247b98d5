#pragma once

#include <chrono>
#include <string>
#include <vector>

// Median of the samples in milliseconds: the middle one, or the mean of the two middle
// ones for an even count. 0 for no samples.
double medianMilliseconds(std::vector<double> samples);

// "frames: N, median: X ms"
std::string describeTiming(const std::vector<double>& samples);

// Runs `frame` n times, timing each run alone with steady_clock; the times in ms.
template <typename Frame>
std::vector<double> timeFrames(int n, Frame&& frame)
{
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const auto start = std::chrono::steady_clock::now();
        frame();
        const auto stop = std::chrono::steady_clock::now();
        samples.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    return samples;
}
