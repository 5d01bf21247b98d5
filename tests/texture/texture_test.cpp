#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/stat.h>

#include "texture/texture.h"

namespace {

std::string writeFile(const std::string& name, long bytes)
{
    const std::string path = ::testing::TempDir() + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    for (long i = 0; i < bytes; ++i)
        std::fputc(static_cast<int>((i * 7) % 256), file);
    std::fclose(file);
    return path;
}

// The first 196,608 bytes of a longer file; a missing, unreadable or short file is named
// with its problem (the program ends with that line; the end-to-end test sees it).
TEST(TextureFile, ReadsTheFirst196608BytesOrSaysWhyNot)
{
    const std::string path = writeFile("long.raw", textureBytes + 5000);
    Texture texture;
    std::string error;
    ASSERT_TRUE(readTextureFile(texture, path.c_str(), error)) << error;
    EXPECT_EQ(texture.width, 256);
    EXPECT_EQ(texture.components, 3);
    ASSERT_EQ(texture.data.size(), 196608u);
    EXPECT_EQ(texture.data[196607], (196607 * 7) % 256);

    const std::string missing = ::testing::TempDir() + "no_such_texture.raw";
    EXPECT_FALSE(readTextureFile(texture, missing.c_str(), error));
    EXPECT_EQ(error, "cannot open texture file \"" + missing + "\": No such file or directory");

    const std::string directory = ::testing::TempDir() + "texture_dir.raw";
    ::mkdir(directory.c_str(), 0700);
    EXPECT_FALSE(readTextureFile(texture, directory.c_str(), error));
    EXPECT_NE(error.find("\"" + directory + "\": Is a directory"), std::string::npos) << error;

    for (long bytes : {0L, 65536L, 196607L}) {
        const std::string path = writeFile("short.raw", bytes);
        EXPECT_FALSE(readTextureFile(texture, path.c_str(), error));
        EXPECT_EQ(error, "texture file \"" + path + "\" is too short: " + std::to_string(bytes) +
                             " bytes, 196608 needed");
    }
}

} // namespace
