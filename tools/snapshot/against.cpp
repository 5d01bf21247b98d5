#include "tools/snapshot/against.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <cstdlib>

#include "tools/png/png_io.h"
#include "tools/snapshot/file_handle.h"

namespace {

bool failure(std::string& error, const std::string& path, const std::string& what)
{
    error = "\"" + path + "\" " + what;
    return false;
}

// Skips blanks and comments, then reads a decimal of at most nine digits; -1 if none.
long headerNumber(std::FILE* file)
{
    int c = std::fgetc(file);
    while (c == '#' || std::isspace(c)) {
        if (c == '#')
            while (c != '\n' && c != EOF)
                c = std::fgetc(file);
        c = std::fgetc(file);
    }
    long value = 0;
    int digits = 0;
    for (; c >= '0' && c <= '9' && digits < 9; c = std::fgetc(file), ++digits)
        value = value * 10 + (c - '0');
    if (digits == 0 || (c != EOF && !std::isspace(c) && c != '#'))
        return -1;
    if (c == '#')
        std::ungetc(c, file);
    return value; // the one blank after the last header number has been read
}

bool readPpm(std::FILE* file, bool binary, const std::string& path, RgbImage& image, std::string& error)
{
    const long width = headerNumber(file), height = headerNumber(file), maxval = headerNumber(file);
    if (width < 1 || height < 1 || width > 16384 || height > 16384)
        return failure(error, path, "has no PPM size of 1..16384 per side");
    if (maxval != 255)
        return failure(error, path, "is a PPM with maxval " + std::to_string(maxval) + "; only 255 is read");
    // Every sample takes at least one byte: a short file fails before the pixels are allocated.
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0 || std::ftell(file) - here < width * height * 3 ||
        std::fseek(file, here, SEEK_SET) != 0)
        return failure(error, path, "ends before its last pixel");
    image = RgbImage{int(width), int(height), std::vector<unsigned char>(std::size_t(width) * height * 3)};
    if (binary) {
        if (std::fread(image.rgb.data(), 1, image.rgb.size(), file) != image.rgb.size())
            return failure(error, path, "ends before its last pixel");
        return true;
    }
    for (unsigned char& byte : image.rgb) {
        const long value = headerNumber(file);
        if (value < 0 || value > 255)
            return failure(error, path, "has a sample that is not a number from 0 to 255");
        byte = static_cast<unsigned char>(value);
    }
    return true;
}

} // namespace

bool readImageFile(const std::string& path, RgbImage& image, std::string& error)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return failure(error, path, std::string("cannot be opened: ") + std::strerror(errno));
    const int first = std::fgetc(file.get()), second = std::fgetc(file.get());
    if (first == 'P' && (second == '6' || second == '3'))
        return readPpm(file.get(), second == '6', path, image, error);
    file.reset();
    Image png;
    if (!readPng(path.c_str(), png, error))
        return false;
    image = RgbImage{png.width, png.height, std::vector<unsigned char>(png.rgb.size())};
    for (std::size_t i = 0; i < png.rgb.size(); ++i)
        image.rgb[i] = static_cast<unsigned char>(std::lround(png.rgb[i] * 255.0));
    return true;
}

bool readDepthValues(const std::string& path, std::size_t count, std::vector<float>& depth,
                     std::string& error)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return failure(error, path, std::string("cannot be opened: ") + std::strerror(errno));
    std::vector<unsigned char> bytes(count * 4 + 1);
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (got != count * 4)
        return failure(error, path, "has " + std::string(got > count * 4 ? "more than " : "") +
                                        std::to_string(got) + " bytes; the frame's depth has " +
                                        std::to_string(count * 4));
    depth.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t bits = 0;
        for (int k = 0; k < 4; ++k)
            bits |= std::uint32_t(bytes[i * 4 + k]) << (8 * k);
        std::memcpy(&depth[i], &bits, 4);
    }
    return true;
}
