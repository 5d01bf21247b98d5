#include "texture/texture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

bool readTextureFile(Texture& texture, const char* path, std::string& error)
{
    texture.width = textureSize;
    texture.height = textureSize;
    texture.components = textureComponents;
    texture.data.assign(textureBytes, 0);

    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        error = std::string("cannot open texture file \"") + path + "\": " + std::strerror(errno);
        return false;
    }
    // One read of 3 items of 65,536 bytes; a longer file is not read past them.
    // A partial last item still lands in the buffer, so count bytes through a second read.
    const std::size_t items = std::fread(texture.data.data(), 65536, 3, file);
    long got = static_cast<long>(items) * 65536;
    bool readError = false;
    int readErrno = 0;
    if (items < 3) {
        if (std::ferror(file)) {
            readError = true;
            readErrno = errno;
        } else {
            // fread leaves a partial item's count unknown: measure the file instead.
            if (std::fseek(file, 0, SEEK_END) == 0) {
                const long size = std::ftell(file);
                if (size >= 0)
                    got = size;
            }
        }
    }
    std::fclose(file);

    if (readError) {
        error = std::string("cannot read texture file \"") + path + "\": " + std::strerror(readErrno);
        return false;
    }
    if (items < 3) {
        error = std::string("texture file \"") + path + "\" is too short: " + std::to_string(got) +
                " bytes, " + std::to_string(textureBytes) + " needed";
        return false;
    }
    return true;
}
