#include "texture/raw_image.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "texture/texture.h"
#include "texture/discard_output.h"

namespace {

constexpr long rowBytes = long(textureSize) * textureComponents;

std::string quoted(const char* path)
{
    return std::string("\"") + path + "\"";
}

unsigned char toByte(double value)
{
    const double scaled = std::floor(value * 255.0 + 0.5);
    if (!(scaled > 0.0)) // NaN too
        return 0;
    return scaled >= 255.0 ? 255 : static_cast<unsigned char>(scaled);
}

} // namespace

bool readRawFile(const char* path, std::vector<unsigned char>& raw, std::string& error)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        error = "cannot open " + quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    // One byte past the expected size tells a longer file without reading all of it.
    raw.assign(textureBytes + 1, 0);
    const std::size_t got = std::fread(raw.data(), 1, raw.size(), file);
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno;
    long size = static_cast<long>(got);
    if (!failed && got > static_cast<std::size_t>(textureBytes) && std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    std::fclose(file);

    if (failed) {
        error = "cannot read " + quoted(path) + ": " + std::strerror(readErrno);
        return false;
    }
    if (size != textureBytes) {
        error = "raw file " + quoted(path) + " has " + std::to_string(size) + " bytes; " +
                std::to_string(textureBytes) + " are needed";
        return false;
    }
    raw.resize(textureBytes);
    return true;
}

bool writeRawFile(const char* path, const std::vector<unsigned char>& raw, std::string& error)
{
    std::FILE* file = std::fopen(path, "wb");
    if (!file) {
        error = "cannot write " + quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(raw.data(), 1, raw.size(), file) == raw.size();
    const int writeErrno = errno;
    if (std::fclose(file) != 0 || !written) {
        error = "cannot write " + quoted(path) + ": " + std::strerror(written ? errno : writeErrno);
        discardOutput(path);
        return false;
    }
    return true;
}

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
