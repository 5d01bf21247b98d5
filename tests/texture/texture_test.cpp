#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tests/support/test_texture.h"
#include "texture/texture.h"

namespace {

std::string writeFile(const std::string& name, long bytes)
{
    std::string content(bytes, '\0');
    for (long i = 0; i < bytes; ++i)
        content[i] = static_cast<char>(i * 7 % 256);
    std::ofstream(::testing::TempDir() + name, std::ios::binary) << content;
    return ::testing::TempDir() + name;
}

// The first 196,608 bytes of a longer file; a missing, unreadable or short file is named
// with its problem (the program ends with that line; the end-to-end test sees it).
TEST(TextureFile, ReadsTheFirst196608BytesOrSaysWhyNot)
{
    const std::string path = writeFile("long.raw", textureBytes + 5000);
    Texture texture;
    std::string error;
    ASSERT_TRUE(readTextureFile(texture, path.c_str(), error)) << error;
    ASSERT_TRUE(texture.width == 256 && texture.height == 256 && texture.components == 3 &&
                texture.data.size() == 196608u);
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
