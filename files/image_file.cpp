#include "files/image_file.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "files/file_handle.h"
#include "files/png_file.h"
#include "files/whole_file.h"

namespace {


bool failure(std::string& error, const std::string& path, const std::string& what)
{
    error = "\"" + path + "\" " + what;
    return false;
}

// Skips blanks and comments, then reads a decimal of at most nine digits; -1 if none.
// The one character after the number is read too: a blank, or a comment through the end
// of its line, which stands for that blank (after maxval, the pixels start behind it).
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
        while (c != '\n' && c != EOF)
            c = std::fgetc(file);
    return value;
}

// Samples of maxval 65535 become bytes as PNG's 16 bits do: lround(s / 65535 * 255).
unsigned char sampleByte(long sample, long maxval)
{
    return maxval == 255 ? static_cast<unsigned char>(sample)
                         : static_cast<unsigned char>(std::lround(double(sample) / 65535.0 * 255.0));
}

bool readPpm(std::FILE* file, bool binary, const std::string& path, RgbImage& image, std::string& error)
{
    const long width = headerNumber(file), height = headerNumber(file), maxval = headerNumber(file);
    if (width < 1 || height < 1 || width > 16384 || height > 16384)
        return failure(error, path, "has no PPM size of 1..16384 per side");
    if (maxval < 0)
        return failure(error, path, "has no PPM maxval (255 or 65535)");
    if (maxval != 255 && maxval != 65535)
        return failure(error, path, "is a PPM with maxval " + std::to_string(maxval) + "; only 255 and 65535 are read");
    const long sampleBytes = maxval == 255 ? 1 : 2;
    // Every sample takes at least one byte: a short file fails before the pixels are allocated.
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0 ||
        std::ftell(file) - here < width * height * 3 * (binary ? sampleBytes : 1) ||
        std::fseek(file, here, SEEK_SET) != 0)
        return failure(error, path, "ends before its last pixel");
    image = RgbImage{int(width), int(height), std::vector<unsigned char>(std::size_t(width) * height * 3)};
    if (binary) {
        std::vector<unsigned char> samples(image.rgb.size() * std::size_t(sampleBytes));
        if (std::fread(samples.data(), 1, samples.size(), file) != samples.size())
            return failure(error, path, "ends before its last pixel");
        for (std::size_t i = 0; i < image.rgb.size(); ++i)
            image.rgb[i] = sampleBytes == 1 ? samples[i]
                                            : sampleByte(long(samples[2 * i]) << 8 | samples[2 * i + 1], maxval);
        return true;
    }
    for (unsigned char& byte : image.rgb) {
        const long value = headerNumber(file);
        if (value < 0 && std::feof(file))
            return failure(error, path, "ends before its last pixel");
        if (value < 0 || value > maxval)
            return failure(error, path, "has a sample that is not a number from 0 to " + std::to_string(maxval));
        byte = sampleByte(value, maxval);
    }
    return true;
}

bool endsWithCaseless(const std::string& text, const char* suffix)
{
    const std::size_t n = std::strlen(suffix);
    if (text.size() < n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i])
            return false;
    return true;
}

PngData pngOf(const RgbImage& image)
{
    PngData png;
    png.width = image.width;
    png.height = image.height;
    png.pixels = image.rgb;
    return png;
}

} // namespace

ImageFormat imageFormat(const std::string& path)
{
    std::string extension = path.size() >= 4 ? path.substr(path.size() - 4) : "";
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".png" ? ImageFormat::png : extension == ".ppm" ? ImageFormat::ppm : ImageFormat::other;
}

bool writeImage(const RgbImage& image, const std::string& path, std::string& error)
{
    if (imageFormat(path) == ImageFormat::png)
        return writePng(path.c_str(), pngOf(image), error);
    return writeWholeFile(
        path,
        [&image](std::FILE* file) -> std::string {
            if (std::fprintf(file, "P6\n%d %d\n255\n", image.width, image.height) > 0 &&
                std::fwrite(image.rgb.data(), 1, image.rgb.size(), file) == image.rgb.size())
                return "";
            return errno ? std::strerror(errno) : "write failed";
        },
        error);
}

bool imagePngBytes(const RgbImage& image, std::string& bytes, std::string& error)
{
    return pngBytes(pngOf(image), bytes, error);
}

bool readImageFile(const std::string& path, RgbImage& image, std::string& error)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return failure(error, path, std::string("cannot be opened: ") + std::strerror(errno));
    unsigned char start[8] = {};
    const std::size_t got = std::fread(start, 1, sizeof start, file.get());
    if (got >= 2 && start[0] == 'P' && (start[1] == '6' || start[1] == '3')) {
        std::fseek(file.get(), 2, SEEK_SET);
        return readPpm(file.get(), start[1] == '6', path, image, error);
    }
    file.reset();
    // Neither signature: name the format the file's name claims.
    const bool pngStart = got == sizeof start && png_sig_cmp(start, 0, sizeof start) == 0;
    if (!pngStart) {
        const char* what = endsWithCaseless(path, ".ppm")   ? "is not a PPM file (it does not start with P6 or P3)"
                           : endsWithCaseless(path, ".png") ? "is not a PNG file (no PNG signature)"
                                                            : "is neither a PNG nor a PPM file";
        return failure(error, path, got == 0 ? std::string("is empty; ") + (what + 3) : what);
    }
    Image png;
    if (!readPng(path.c_str(), png, error, PngAlpha::ignored))
        return false;
    image = RgbImage{png.width, png.height, std::vector<unsigned char>(png.rgb.size())};
    for (std::size_t i = 0; i < png.rgb.size(); ++i)
        image.rgb[i] = static_cast<unsigned char>(std::lround(png.rgb[i] * 255.0));
    return true;
}

