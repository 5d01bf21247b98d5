#include "texture/raw_image.h"

#include <cmath>
#include <cstring>

#include "texture/texture.h"

namespace {

constexpr long rowBytes = long(textureSize) * textureComponents;

unsigned char toByte(double value)
{
    const double scaled = std::floor(value * 255.0 + 0.5);
    if (!(scaled > 0.0)) // NaN too
        return 0;
    return scaled >= 255.0 ? 255 : static_cast<unsigned char>(scaled);
}

} // namespace

std::vector<unsigned char> rawFromImage(const Image& image)
{
    std::vector<unsigned char> raw(textureBytes);
    for (int row = 0; row < textureSize; ++row) {
        const double* from = image.rgb.data() + long(textureSize - 1 - row) * rowBytes;
        unsigned char* to = raw.data() + long(row) * rowBytes;
        for (long i = 0; i < rowBytes; ++i)
            to[i] = toByte(from[i]);
    }
    return raw;
}

std::vector<unsigned char> topDownRowsFromRaw(const std::vector<unsigned char>& raw)
{
    std::vector<unsigned char> rows(textureBytes);
    for (int row = 0; row < textureSize; ++row)
        std::memcpy(rows.data() + long(textureSize - 1 - row) * rowBytes, raw.data() + long(row) * rowBytes,
                    rowBytes);
    return rows;
}
