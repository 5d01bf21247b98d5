#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "scene/torus.h"
#include "tests/support/test_texture.h"

// Frames recorded once from a build that an independent implementation of the same rules
// confirmed bit for bit. Every pixel's colour (which, with the distinct-texel texture,
// names its texel) and depth is hashed per frame, per row and per column, so that a
// change is located to its first row and its columns. Views of one size follow each
// other, so that what a frame leaves behind in the buffers is checked too.
// SPHAERIX_RECORD_GOLDEN=FILE writes the table anew from the current build.

namespace {

struct Hash {
    std::uint64_t value = 1469598103934665603ull;
    void add(const void* bytes, std::size_t size)
    {
        for (std::size_t i = 0; i < size; ++i)
            value = (value ^ static_cast<const unsigned char*>(bytes)[i]) * 1099511628211ull;
    }
};

struct Frame {
    std::uint64_t whole = 0;
    std::vector<std::uint32_t> rows, columns;
};

Frame hashFrame(int width, int height)
{
    std::vector<Hash> rows(height), columns(width);
    Hash whole;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t i = std::size_t(y) * width + x;
            for (Hash* h : {&rows[y], &columns[x], &whole}) {
                h->add(&ColorBuffer[i], sizeof(Color4));
                h->add(&DepthBuffer[i], sizeof(float));
            }
        }
    Frame frame{whole.value, {}, {}};
    for (const Hash& h : rows)
        frame.rows.push_back(static_cast<std::uint32_t>(h.value));
    for (const Hash& h : columns)
        frame.columns.push_back(static_cast<std::uint32_t>(h.value));
    return frame;
}

std::string hex(const std::vector<std::uint32_t>& values)
{
    std::string text;
    char word[10];
    for (std::uint32_t v : values) {
        std::snprintf(word, sizeof word, "%08x", v);
        text += word;
    }
    return text;
}

std::vector<std::uint32_t> unhex(const std::string& text)
{
    std::vector<std::uint32_t> values;
    for (std::size_t i = 0; i + 8 <= text.size(); i += 8)
        values.push_back(static_cast<std::uint32_t>(std::stoul(text.substr(i, 8), nullptr, 16)));
    return values;
}

// The first differing row, and the span of columns that differ anywhere.
std::string locate(const Frame& expected, const Frame& actual)
{
    std::ostringstream where;
    for (std::size_t y = 0; y < actual.rows.size(); ++y)
        if (y >= expected.rows.size() || expected.rows[y] != actual.rows[y]) {
            where << "first differing row " << y;
            break;
        }
    int first = -1, last = -1;
    for (std::size_t x = 0; x < actual.columns.size(); ++x)
        if (x >= expected.columns.size() || expected.columns[x] != actual.columns[x]) {
            last = static_cast<int>(x);
            first = first < 0 ? last : first;
        }
    where << ", differing columns " << first << " to " << last;
    return where.str();
}

TEST(GoldenFrames, EveryViewKeepsEveryColourAndDepth)
{
    Texture texture = distinctTexture();
    Scene scene;
    scene.currentTexture = &texture;
    buildTorus(scene, 48, 48);

    std::ifstream table(SPHAERIX_GOLDEN_FRAMES);
    ASSERT_TRUE(table) << SPHAERIX_GOLDEN_FRAMES;
    const char* recordPath = std::getenv("SPHAERIX_RECORD_GOLDEN");
    std::ofstream record;
    if (recordPath)
        record.open(recordPath);
    std::string line;
    int views = 0;
    while (std::getline(table, line)) {
        if (line.empty() || line[0] == '#') {
            if (recordPath)
                record << line << '\n';
            continue;
        }
        std::istringstream fields(line);
        std::string name, rows, columns;
        int width = 0, height = 0;
        std::uint64_t whole = 0;
        fields >> name >> width >> height >> angleZ >> angleX >> panX >> panY >> zoom >> std::hex >>
            whole >> rows >> columns;
        ASSERT_TRUE(width > 0 && height > 0) << line.substr(0, 80);
        setupCamera(scene, width, height);
        renderSoftwareFrame(scene, width, height);
        const Frame actual = hashFrame(width, height);
        const Frame expected{whole, unhex(rows), unhex(columns)};
        EXPECT_EQ(actual.whole, expected.whole)
            << name << " " << width << "x" << height << ": " << locate(expected, actual);
        if (recordPath) {
            char head[256];
            std::snprintf(head, sizeof head, "%s %d %d %.9g %.9g %.9g %.9g %.9g %016llx", name.c_str(),
                          width, height, angleZ, angleX, panX, panY, zoom,
                          static_cast<unsigned long long>(actual.whole));
            record << head << ' ' << hex(actual.rows) << ' ' << hex(actual.columns) << '\n';
        }
        ++views;
    }
    EXPECT_GE(views, 10);
    angleZ = -135;
    angleX = -60;
    panX = panY = 0;
    zoom = 0.25f;
}

} // namespace
