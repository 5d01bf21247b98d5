#include "files/depth_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/file_handle.h"
#include "files/file_message.h"
#include "files/whole_file.h"
#include "inspect/comparison.h"
#include "inspect/rgb_image.h"

bool writeDepthFile(const float* depth, int width, int height, const std::string& path,
                    std::string& error)
{
    const std::vector<unsigned char> bytes = depthFileBytes(depth, std::size_t(width) * height);
    return writeWholeFile(path, std::string(bytes.begin(), bytes.end()), error);
}

bool readDepthValues(const std::string& path, std::size_t count, std::vector<float>& depth,
                     std::string& error)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return fileFailure(error, path, std::string("cannot be opened: ") + std::strerror(errno));
    const long size = std::fseek(file.get(), 0, SEEK_END) == 0 ? std::ftell(file.get()) : -1;
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return fileFailure(error, path, std::string("cannot be read: ") + std::strerror(errno));
    if (const std::string problem = depthSizeProblem(path, static_cast<unsigned long long>(size), count);
        !problem.empty()) {
        error = problem;
        return false;
    }
    std::vector<unsigned char> bytes(count * 4);
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return fileFailure(error, path, std::string("cannot be read: ") + std::strerror(errno));
    depth = depthFromBytes(bytes.data(), count);
    return true;
}
