#include "snapshot_test_support.h"

#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

extern char** environ;

ToolRun runSnapshot(const std::vector<std::string>& arguments, const std::string& dir,
                    bool withDisplay)
{
    const std::string outPath = dir + "/stdout.txt", errPath = dir + "/stderr.txt";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(SNAPSHOT_TOOL));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
        if (withDisplay || std::strncmp(*e, "DISPLAY=", 8) != 0)
            env.push_back(*e);
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ToolRun run;
    if (posix_spawn(&pid, SNAPSHOT_TOOL, &actions, nullptr, argv.data(), env.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    const std::vector<unsigned char> out = readBytes(outPath), err = readBytes(errPath);
    run.output.assign(out.begin(), out.end());
    run.errors.assign(err.begin(), err.end());
    return run;
}

std::string makeTestDir(const std::string& name)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("snapshot_test_" + std::to_string(getpid()) + "_" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::vector<unsigned char> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void writeDistinctTexture(const std::string& path)
{
    std::vector<unsigned char> data;
    for (int row = 0; row < 256; ++row)
        for (int column = 0; column < 256; ++column) {
            data.push_back(static_cast<unsigned char>(column));
            data.push_back(static_cast<unsigned char>(row));
            data.push_back(static_cast<unsigned char>((column * 7 + row * 13) & 255));
        }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                static_cast<std::streamsize>(data.size()));
}

bool readPpm(const std::string& path, RgbImage& image)
{
    const std::vector<unsigned char> bytes = readBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    int width = 0, height = 0, consumed = 0;
    if (std::sscanf(text.c_str(), "P6\n%d %d\n255\n%n", &width, &height, &consumed) != 2 ||
        consumed == 0)
        return false;
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    if (text.compare(0, header.size(), header) != 0 ||
        bytes.size() != header.size() + std::size_t(width) * height * 3)
        return false;
    image = RgbImage{width, height, std::vector<unsigned char>(bytes.begin() + header.size(), bytes.end())};
    return true;
}

bool readPng(const std::string& path, RgbImage& image)
{
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return false;
    const bool rgb8 = png.format == PNG_FORMAT_RGB;
    image = RgbImage{int(png.width), int(png.height), std::vector<unsigned char>(PNG_IMAGE_SIZE(png))};
    const bool read = png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr) != 0;
    return rgb8 && read;
}

std::vector<float> readFloats(const std::string& path)
{
    const std::vector<unsigned char> bytes = readBytes(path);
    std::vector<float> values(bytes.size() / 4);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::uint32_t bits = 0;
        for (int k = 0; k < 4; ++k)
            bits |= std::uint32_t(bytes[i * 4 + k]) << (8 * k);
        std::memcpy(&values[i], &bits, 4);
    }
    return values;
}

bool isTimingLine(const std::string& text, int frames)
{
    const std::string head = "frames: " + std::to_string(frames) + ", median: ", tail = " ms\n";
    if (text.size() < head.size() + tail.size() + 5 || text.compare(0, head.size(), head) != 0 ||
        text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    const std::string number = text.substr(head.size(), text.size() - head.size() - tail.size());
    const std::size_t point = number.find('.');
    if (point == 0 || point == std::string::npos || number.size() - point != 4)
        return false;
    for (std::size_t i = 0; i < number.size(); ++i)
        if (i != point && (number[i] < '0' || number[i] > '9'))
            return false;
    return true;
}
