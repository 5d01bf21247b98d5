#include "tools/snapshot/image_file.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tools/png/png_io.h"
#include "tools/snapshot/file_handle.h"

namespace {

bool failure(std::string& error, const std::string& path, const char* what)
{
    error = "cannot write \"" + path + "\": " + what;
    return false;
}

// Closes explicitly so that a failed flush of buffered data is reported too.
bool closeFile(File& file, const std::string& path, std::string& error)
{
    const bool bad = std::ferror(file.get()) != 0;
    const int saved = errno;
    const int closed = std::fclose(file.release());
    if (bad || closed != 0)
        return failure(error, path, std::strerror(bad ? saved : errno));
    return true;
}

bool writePpm(const RgbImage& image, std::FILE* file)
{
    return std::fprintf(file, "P6\n%d %d\n255\n", image.width, image.height) > 0 &&
           std::fwrite(image.rgb.data(), 1, image.rgb.size(), file) == image.rgb.size();
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
    if (imageFormat(path) == ImageFormat::png) {
        PngData png;
        png.width = image.width;
        png.height = image.height;
        png.pixels = image.rgb;
        return writePng(path.c_str(), png, error);
    }
    File file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return failure(error, path, std::strerror(errno));
    errno = 0;
    if (!writePpm(image, file.get())) {
        const int saved = errno;
        return failure(error, path, saved ? std::strerror(saved) : "write failed");
    }
    return closeFile(file, path, error);
}

bool writeDepthFile(const float* depth, int width, int height, const std::string& path,
                    std::string& error)
{
    File file(std::fopen(path.c_str(), "wb"));
    if (!file)
        return failure(error, path, std::strerror(errno));
    const std::vector<unsigned char> bytes = depthFileBytes(depth, std::size_t(width) * height);
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return failure(error, path, std::strerror(errno));
    return closeFile(file, path, error);
}
