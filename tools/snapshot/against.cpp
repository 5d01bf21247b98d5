#include "tools/snapshot/against.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <algorithm>

#include "tools/png/png_io.h"
#include "tools/snapshot/exact_number.h"
#include "tools/snapshot/file_handle.h"
#include "tools/snapshot/md5.h"

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

FrameDifference compareColors(const RgbImage& ours, const RgbImage& theirs)
{
    FrameDifference d{ours.width, ours.height, std::vector<unsigned char>(std::size_t(ours.width) * ours.height)};
    for (int y = 0; y < ours.height; ++y)
        for (int x = 0; x < ours.width; ++x) {
            const std::size_t at = (std::size_t(ours.height - 1 - y) * ours.width + x) * 3;
            const std::size_t pixel = std::size_t(y) * ours.width + x;
            for (int c = 0; c < 3; ++c) {
                const int difference = std::abs(int(ours.rgb[at + c]) - int(theirs.rgb[at + c]));
                d.largest = std::max(d.largest, double(difference));
                d.differs[pixel] |= difference != 0;
            }
            if (d.differs[pixel] && d.count++ == 0)
                d.first = static_cast<long long>(pixel);
        }
    return d;
}

FrameDifference compareDepths(const std::vector<float>& ours, const std::vector<float>& theirs,
                              int width, int height)
{
    FrameDifference d{width, height, std::vector<unsigned char>(ours.size())};
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const float a = ours[i], b = theirs[i];
        if (a == b || (std::isnan(a) && std::isnan(b)))
            continue;
        d.differs[i] = 1;
        if (d.count++ == 0)
            d.first = static_cast<long long>(i);
        // Over the pairs that are both numbers; a NaN on one side only still counts as a difference.
        const double gap = std::fabs(double(a) - double(b));
        if (gap > d.largest)
            d.largest = gap;
    }
    return d;
}

namespace {

// "N of T pixels differ (P%)"
std::string countText(const FrameDifference& d, const char* what)
{
    const double total = double(d.width) * d.height;
    char text[160];
    std::snprintf(text, sizeof text, "%lld of %.0f %s differ (%.4g%%)", d.count, total, what,
                  total > 0 ? 100.0 * double(d.count) / total : 0.0);
    return text;
}

std::string firstText(const FrameDifference& d)
{
    const long long x = d.first % d.width, y = d.first / d.width;
    return "first at " + std::to_string(x) + "," + std::to_string(y) + " (row " +
           std::to_string(d.height - 1 - y) + " from the top)";
}

std::string rgbText(const RgbImage& image, int x, int row)
{
    const unsigned char* p = image.rgb.data() + (std::size_t(row) * image.width + x) * 3;
    return std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]);
}

} // namespace

std::string describeColorDifference(const std::string& path, const FrameDifference& d,
                                    const RgbImage& ours, const RgbImage& theirs)
{
    std::string line = "against " + path + ": " + countText(d, "pixels") +
                       ", largest channel difference " + std::to_string(int(d.largest));
    if (d.first >= 0) {
        const int x = int(d.first % d.width), row = d.height - 1 - int(d.first / d.width);
        line += ", " + firstText(d) + ": ours " + rgbText(ours, x, row) + ", theirs " + rgbText(theirs, x, row);
    }
    return line + "; md5 ours " + md5Hex(ours.rgb.data(), ours.rgb.size()) + ", theirs " +
           md5Hex(theirs.rgb.data(), theirs.rgb.size());
}

std::string describeDepthDifference(const std::string& path, const FrameDifference& d,
                                    const std::vector<float>& ours, const std::vector<float>& theirs)
{
    std::string line = "against depth " + path + ": " + countText(d, "values") + ", largest difference " +
                       exactText(static_cast<float>(d.largest));
    if (d.first >= 0)
        line += ", " + firstText(d) + ": ours " + exactText(ours[std::size_t(d.first)]) + ", theirs " +
                exactText(theirs[std::size_t(d.first)]);
    const std::vector<unsigned char> a = depthFileBytes(ours.data(), ours.size());
    const std::vector<unsigned char> b = depthFileBytes(theirs.data(), theirs.size());
    return line + "; md5 ours " + md5Hex(a.data(), a.size()) + ", theirs " + md5Hex(b.data(), b.size());
}

RgbImage errorMask(const RgbImage& ours, const FrameDifference* colors, const FrameDifference* depths)
{
    RgbImage mask{ours.width, ours.height, std::vector<unsigned char>(ours.rgb.size())};
    for (int y = 0; y < ours.height; ++y)
        for (int x = 0; x < ours.width; ++x) {
            const std::size_t pixel = std::size_t(y) * ours.width + x;
            const std::size_t at = (std::size_t(ours.height - 1 - y) * ours.width + x) * 3;
            const bool differs = (colors && colors->differs[pixel]) || (depths && depths->differs[pixel]);
            const unsigned char* p = ours.rgb.data() + at;
            const auto grey = static_cast<unsigned char>(48 + (p[0] * 3 + p[1] * 6 + p[2]) / 40);
            mask.rgb[at] = differs ? 255 : grey;
            mask.rgb[at + 1] = differs ? 0 : grey;
            mask.rgb[at + 2] = differs ? 0 : grey;
        }
    return mask;
}
