#include "files/raw_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/file_message.h"
#include "files/whole_file.h"
#include "texture/texture.h"

bool readRawFile(const char* path, std::vector<unsigned char>& raw, std::string& error)
{
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        error = "cannot open " + quotedPath(path) + ": " + std::strerror(errno);
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
        error = "cannot read " + quotedPath(path) + ": " + std::strerror(readErrno);
        return false;
    }
    if (size != textureBytes) {
        error = "raw file " + quotedPath(path) + " has " + std::to_string(size) + " bytes; " +
                std::to_string(textureBytes) + " are needed";
        return false;
    }
    raw.resize(textureBytes);
    return true;
}

bool writeRawFile(const char* path, const std::vector<unsigned char>& raw, std::string& error)
{
    return writeWholeFile(path, std::string(raw.begin(), raw.end()), error);
}
