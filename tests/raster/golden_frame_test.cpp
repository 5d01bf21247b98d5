#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "scene/torus.h"
#include "tests/support/recorded_table.h"
#include "tests/support/test_texture.h"

// Frames recorded once from a build that an independent implementation of the same rules
// confirmed bit for bit. Every pixel's colour (which, with the distinct-texel texture,
// names its texel) and depth is hashed per frame, per row and per column, so that a
// change is located to its first row and its columns. Views of one size follow each
// other, so that what a frame leaves behind in the buffers is checked too.
// SPHAERIX_RECORD_GOLDEN=FILE writes the table anew from the current build.

namespace {

// FNV-1a: per row and per column 32 bits of it, written as 8 hex digits each.
struct Hashes {
    std::uint64_t frame = 1469598103934665603ull;
    std::vector<std::uint64_t> rows, columns;
};

void add(std::uint64_t& hash, const void* bytes, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ static_cast<const unsigned char*>(bytes)[i]) * 1099511628211ull;
}

Hashes hashFrame(int width, int height)
{
    Hashes h;
    h.rows.assign(height, h.frame);
    h.columns.assign(width, h.frame);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (std::uint64_t* hash : {&h.rows[y], &h.columns[x], &h.frame}) {
                add(*hash, &ColorBuffer[std::size_t(y) * width + x], sizeof(Color4));
                add(*hash, &DepthBuffer[std::size_t(y) * width + x], sizeof(float));
            }
    return h;
}

std::string hex(const std::vector<std::uint64_t>& values)
{
    std::string text;
    char word[10];
    for (std::uint64_t v : values)
        text += (std::snprintf(word, sizeof word, "%08x", static_cast<unsigned>(v)), word);
    return text;
}

// "first differing row Y, columns A to B differ", from the recorded row and column hashes.
std::string locate(const std::string& rows, const std::string& columns, const Hashes& actual)
{
    auto differing = [](const std::string& recorded, const std::string& now) {
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < now.size(); i += 8)
            if (recorded.compare(i, 8, now, i, 8) != 0)
                at.push_back(i / 8);
        return at.empty() ? std::vector<std::size_t>{0} : at;
    };
    const std::vector<std::size_t> y = differing(rows, hex(actual.rows)), x = differing(columns, hex(actual.columns));
    return "first differing row " + std::to_string(y.front()) + ", columns " + std::to_string(x.front()) +
           " to " + std::to_string(x.back()) + " differ";
}

TEST(GoldenFrames, EveryViewKeepsEveryColourAndDepth)
{
    Texture texture = distinctTexture();
    Scene scene;
    scene.currentTexture = &texture;
    buildTorus(scene, 48, 48);
    RecordedTable table(SPHAERIX_GOLDEN_FRAMES, "SPHAERIX_RECORD_GOLDEN");
    ASSERT_TRUE(table.in) << SPHAERIX_GOLDEN_FRAMES;
    int views = 0;
    for (std::string line; std::getline(table.in, line);) {
        std::istringstream fields(line);
        std::string name, rows, columns;
        int width = 0, height = 0;
        std::uint64_t frame = 0;
        if (line.empty() || line[0] == '#' ||
            !(fields >> name >> width >> height >> angleZ >> angleX >> panX >> panY >> zoom)) {
            table.out << line << '\n';
            continue;
        }
        fields >> std::hex >> frame >> rows >> columns;
        setupCamera(scene, width, height);
        renderSoftwareFrame(scene, width, height);
        const Hashes actual = hashFrame(width, height);
        EXPECT_EQ(actual.frame, frame) << name << " " << width << "x" << height << ": "
                                       << locate(rows, columns, actual);
        char view[256];
        std::snprintf(view, sizeof view, "%s %d %d %.9g %.9g %.9g %.9g %.9g %016llx", name.c_str(), width,
                      height, angleZ, angleX, panX, panY, zoom, static_cast<unsigned long long>(actual.frame));
        table.out << view << ' ' << hex(actual.rows) << ' ' << hex(actual.columns) << '\n';
        ++views;
    }
    EXPECT_GE(views, 19);
    angleZ = -135, angleX = -60, panX = panY = 0, zoom = 0.25f;
}

// A second mesh that covers nothing leaves the first one's frame as it was: each mesh's
// colours are looked up once, and the frame is cleared once.
TEST(SoftwareFrame, ASecondMeshLeavesTheFirstAsItWas)
{
    Texture texture = distinctTexture();
    Scene scene;
    scene.currentTexture = &texture;
    buildTorus(scene, 12, 12);
    setupCamera(scene, 64, 48);
    renderSoftwareFrame(scene, 64, 48);
    const std::uint64_t one = hashFrame(64, 48).frame;
    scene.objectTransform.translate(1000, 0, 0); // far to the side
    buildTorus(scene, 12, 12);
    renderSoftwareFrame(scene, 64, 48);
    EXPECT_EQ(hashFrame(64, 48).frame, one);
}

} // namespace
