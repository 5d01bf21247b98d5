#include "tests/app/rgb_image.h"

#include <cstdio>
#include <fstream>
#include <sstream>

bool readPpm(const std::string& path, RgbImage& image, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::string magic;
    int maxval = 0;
    in >> magic >> image.width >> image.height >> maxval;
    if (!in || magic != "P6" || maxval != 255 || image.width <= 0 || image.height <= 0) {
        error = path + " is not an 8-bit binary PPM";
        return false;
    }
    in.get(); // the one whitespace byte before the pixels
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    in.read(reinterpret_cast<char*>(image.rgb.data()), static_cast<std::streamsize>(image.rgb.size()));
    if (in.gcount() != static_cast<std::streamsize>(image.rgb.size())) {
        error = path + " is shorter than its header says";
        return false;
    }
    return true;
}

bool writePpm(const std::string& path, const RgbImage& image)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.width << " " << image.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.rgb.data()), static_cast<std::streamsize>(image.rgb.size()));
    return static_cast<bool>(out);
}

bool sameImage(const RgbImage& a, const RgbImage& b)
{
    return a.width == b.width && a.height == b.height && a.rgb == b.rgb;
}

std::string describeDifference(const RgbImage& actual, const RgbImage& expected)
{
    std::ostringstream text;
    if (actual.width != expected.width || actual.height != expected.height) {
        text << "size " << actual.width << "x" << actual.height << ", expected " << expected.width
             << "x" << expected.height;
        return text.str();
    }
    long count = 0;
    int firstX = -1, firstY = -1;
    for (int y = 0; y < actual.height; ++y)
        for (int x = 0; x < actual.width; ++x) {
            const unsigned char* a = actual.at(x, y);
            const unsigned char* e = expected.at(x, y);
            if (a[0] != e[0] || a[1] != e[1] || a[2] != e[2]) {
                if (count++ == 0) {
                    firstX = x;
                    firstY = y;
                }
            }
        }
    if (count == 0)
        return "identical";
    const unsigned char* a = actual.at(firstX, firstY);
    const unsigned char* e = expected.at(firstX, firstY);
    text << count << " pixels differ; first at (" << firstX << ", " << firstY << " from the top): "
         << int(a[0]) << "," << int(a[1]) << "," << int(a[2]) << " instead of " << int(e[0]) << ","
         << int(e[1]) << "," << int(e[2]);
    return text.str();
}
