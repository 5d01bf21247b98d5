#pragma once

#include <string>
#include <vector>

// Depth files: W * H little-endian 32-bit floats, bottom row first (the --depth format).

// Writes the `width` * `height` values in the order given; false with a one-line `error`
// and no file left on failure.
bool writeDepthFile(const float* depth, int width, int height, const std::string& path,
                    std::string& error);

// Exactly `count` values; another size is refused with both sizes named.
bool readDepthValues(const std::string& path, std::size_t count, std::vector<float>& depth,
                     std::string& error);
