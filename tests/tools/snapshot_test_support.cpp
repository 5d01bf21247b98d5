#include "snapshot_test_support.h"

#include <png.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

void SnapshotFixture::SetUp()
{
    char name[] = "/tmp/snapshot_test_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir = name;
    texture = path("distinct.raw");
    std::ofstream out(texture, std::ios::binary);
    for (int row = 0; row < 256; ++row)
        for (int column = 0; column < 256; ++column)
            out << char(column) << char(row) << char((column * 7 + row * 13) & 255);
}

void SnapshotFixture::TearDown()
{
    std::filesystem::remove_all(dir);
}

ToolRun SnapshotFixture::run(std::vector<std::string> args, bool display) const
{
    args.insert(args.begin(), {SNAPSHOT_TOOL, "--texture", texture});
    std::string command = display ? "" : "env -u DISPLAY";
    for (const std::string& arg : args)
        command += " '" + arg + "'";
    const int status = std::system((command + " >" + path("out.txt") + " 2>" + path("err.txt")).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(path("out.txt")), readFile(path("err.txt"))};
}

std::string readFile(const std::string& path)
{
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::vector<unsigned char> pngPixels(const std::string& path, int width, int height)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return {};
    const bool rgb8 = png.format == PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr) || !rgb8 ||
        png.width != png_uint_32(width) || png.height != png_uint_32(height))
        return {};
    return pixels;
}

std::vector<float> readFloats(const std::string& path)
{
    const std::string bytes = readFile(path);
    std::vector<float> values(bytes.size() % 4 ? 0 : bytes.size() / 4);
    for (std::size_t i = 0; i < values.size(); ++i)
        std::memcpy(&values[i], &bytes[4 * i], 4);
    return values;
}

// "frames: N, median: D.DDD ms\n". Matched by hand: GCC 12's std::regex trips
// -Wmaybe-uninitialized in the sanitizer build.
bool isTimingLine(const std::string& text, int frames)
{
    const std::string head = "frames: " + std::to_string(frames) + ", median: ";
    const std::string tail = " ms\n";
    if (text.size() < head.size() + 5 + tail.size() || text.compare(0, head.size(), head) != 0 ||
        text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string number = text.substr(head.size(), text.size() - head.size() - tail.size());
    const std::size_t point = number.find('.');
    auto digits = [](const std::string& s) {
        return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
    };
    return point != std::string::npos && digits(number.substr(0, point)) &&
           number.size() - point - 1 == 3 && digits(number.substr(point + 1));
}
