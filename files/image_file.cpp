#include "files/image_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "files/file_handle.h"
#include "files/file_message.h"
#include "files/png_file.h"
#include "files/whole_file.h"
#include "inspect/picture_bytes.h"

namespace {

// Samples of maxval 65535 become bytes as PNG's 16 bits do: lround(s / 65535 * 255).
unsigned char sampleByte(unsigned short sample, int maxval)
{
    return maxval == 255 ? static_cast<unsigned char>(sample)
                         : static_cast<unsigned char>(std::lround(double(sample) / 65535.0 * 255.0));
}

// The rest of an open file after `bytes`, appended to them.
bool readRest(std::FILE* file, std::vector<unsigned char>& bytes)
{
    unsigned char block[1 << 16];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;)
        bytes.insert(bytes.end(), block, block + got);
    return !std::ferror(file);
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
        return fileFailure(error, path, std::string("cannot be opened: ") + std::strerror(errno));
    std::vector<unsigned char> bytes(8);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file.get()));
    const PictureFormat format = pictureFormat(bytes);
    if (format == PictureFormat::neither)
        return fileFailure(error, path, notAPicture(path, bytes));
    if (format == PictureFormat::ppm) {
        if (!readRest(file.get(), bytes))
            return fileFailure(error, path, std::string("cannot be read: ") + std::strerror(errno));
        PpmSamples ppm;
        if (const std::string problem = readPpmBytes(bytes, ppm); !problem.empty())
            return fileFailure(error, path, problem);
        image = RgbImage{ppm.width, ppm.height, std::vector<unsigned char>(ppm.samples.size())};
        for (std::size_t i = 0; i < ppm.samples.size(); ++i)
            image.rgb[i] = sampleByte(ppm.samples[i], ppm.maxval);
        return true;
    }
    file.reset();
    Image png;
    if (!readPng(path.c_str(), png, error, PngAlpha::ignored))
        return false;
    image = RgbImage{png.width, png.height, std::vector<unsigned char>(png.rgb.size())};
    for (std::size_t i = 0; i < png.rgb.size(); ++i)
        image.rgb[i] = static_cast<unsigned char>(std::lround(png.rgb[i] * 255.0));
    return true;
}
