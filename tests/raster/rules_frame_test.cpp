#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/rules_frame.h"
#include "raster/software_frame.h"
#include "scene/torus.h"
#include "tests/support/recorded_table.h"
#include "tests/support/test_texture.h"

namespace {

struct View {
    const char* name;
    int width, height;
    float angleZ, angleX, panX, panY, zoom;
};

// The golden frames' views that reach every part of the fill: the start-up view, a
// non-square one, polygons behind the eye, huge coordinates, the seam and a tiny frame.
const View views[] = {
    {"start", 480, 480, -135, -60, 0, 0, 0.25f},     {"tall", 333, 517, -135, -60, 0, 0, 0.25f},
    {"behind-eye", 320, 240, -20, -110, 5, 5, 13.5f}, {"huge", 320, 240, -135, -60, 0, 0, 12},
    {"seam", 480, 480, 0, 0, 0, 0, 0.25f},             {"tiny", 7, 5, -135, -60, 0, 0, 0.25f},
};

struct Frame {
    std::vector<Color4> color;
    std::vector<float> depth;
};

Frame grab(int width, int height)
{
    const std::size_t n = static_cast<std::size_t>(width) * height;
    return Frame{std::vector<Color4>(ColorBuffer.begin(), ColorBuffer.begin() + n),
                 std::vector<float>(DepthBuffer.begin(), DepthBuffer.begin() + n)};
}

bool sameBits(const Frame& a, const Frame& b)
{
    return a.color.size() == b.color.size() &&
           std::memcmp(a.color.data(), b.color.data(), a.color.size() * sizeof(Color4)) == 0 &&
           std::memcmp(a.depth.data(), b.depth.data(), a.depth.size() * sizeof(float)) == 0;
}

struct Torus {
    Texture texture = distinctTexture();
    Scene scene;
    Torus()
    {
        scene.currentTexture = &texture;
        buildTorus(scene, 48, 48);
    }
    void look(const View& v)
    {
        setInteractionView(v.angleZ, v.angleX, v.panX, v.panY, v.zoom);
        setupCamera(scene, v.width, v.height);
    }
};

// The rules' own path with no rule taken draws the program's frame, bit for bit: its
// corners, edges, spans and lookups are the same arithmetic, written once more.
TEST(RulesFrame, WithNoRuleTheRulesPathDrawsTheProgramsFrame)
{
    Torus torus;
    for (const View& v : views) {
        torus.look(v);
        renderSoftwareFrame(torus.scene, v.width, v.height);
        const Frame plain = grab(v.width, v.height);
        rasterizeUnderRules(torus.scene, v.width, v.height, RasterRules::none(), nullptr, nullptr);
        EXPECT_TRUE(sameBits(plain, grab(v.width, v.height))) << v.name;
    }
    setInteractionView(-135, -60, 0, 0, 0.25f);
}

// What an observer sees is the frame itself: a frame watched fragment by fragment (each
// colour found at once, polygon by polygon) and a frame drawn on one row alone equal the
// plain frame (colours found once per pixel, a band of rows at a time), under the
// program's own rules, every rule alone, all, and all but each one; a row drawn again,
// watched or not, after the program's own (as the ladder draws a pixel's steps), leaves
// every other row as it was.
TEST(RulesFrame, WatchedFramesAndSingleRowsAreThePlainFrame)
{
    Torus torus;
    std::vector<RasterRules> sets = {RasterRules::none(), RasterRules::gl()};
    for (int r = 0; r < ruleCount; ++r)
        sets.push_back(RasterRules::none().with(static_cast<Rule>(r))),
            sets.push_back(RasterRules::gl().without(static_cast<Rule>(r)));
    FillObserver watcher;
    for (const View& v : {views[0], views[2]})
        for (RasterRules rules : sets) {
            torus.look(v);
            renderSoftwareFrame(torus.scene, v.width, v.height, rules);
            const Frame plain = grab(v.width, v.height);
            rasterizeScene(torus.scene, v.width, v.height, rules, &watcher);
            EXPECT_TRUE(sameBits(plain, grab(v.width, v.height))) << v.name << " " << formatRules(rules);
            for (int y : {0, v.height / 3, v.height - 1})
                for (FillObserver* observer : {&watcher, static_cast<FillObserver*>(nullptr)}) {
                    rasterizeRow(torus.scene, v.width, v.height, y, nullptr, RasterRules::none());
                    rasterizeRow(torus.scene, v.width, v.height, y, observer, rules);
                    EXPECT_TRUE(sameBits(plain, grab(v.width, v.height)))
                        << v.name << " " << formatRules(rules) << " row " << y << (observer ? " watched" : "");
                }
        }
    setInteractionView(-135, -60, 0, 0, 0.25f);
}

// One rectangle drawn straight in window coordinates of a 256x256 frame (the matrices
// are the identity, and x = (ndc + 1) * 128 is exact): its left side at 10.5 + dx, right
// at 20.5, bottom at 100.5 + dy, top at 110.5, its top `slant` pixels to the right of its
// bottom. Returns the first covered column and row, the columns covered in row 105 and
// the first of them, and the rows covered in column 15.
struct Covered {
    int firstColumn, columns, firstRow, rows, firstIn105;
};

Covered coverRectangle(RasterRules rules, double dx, double dy, double slant = 0.0)
{
    static Texture texture = distinctTexture();
    Scene scene;
    scene.meshes.emplace_back();
    scene.meshes[0].texture = &texture;
    Polygon quad;
    const double x[4] = {10.5 + dx, 20.5, 20.5 + slant, 10.5 + dx + slant};
    const double y[4] = {100.5 + dy, 100.5 + dy, 110.5, 110.5};
    for (int k = 0; k < 4; ++k) {
        Vertex v;
        v.position = Vec4{static_cast<float>(x[k] / 128 - 1), static_cast<float>(y[k] / 128 - 1), 0.0f, 1.0f};
        v.next = (k + 1) % 4;
        quad.vertices.push_back(v);
    }
    scene.meshes[0].polygons.push_back(quad);
    prepareBuffers(256, 256);
    rasterizeScene(scene, 256, 256, rules);
    Covered c{256, 0, 256, 0, 256};
    for (int row = 0; row < 256; ++row)
        for (int column = 0; column < 256; ++column)
            if (DepthBuffer[row * 256 + column] < 1.0f) {
                c.firstColumn = std::min(c.firstColumn, column), c.firstRow = std::min(c.firstRow, row);
                c.columns += row == 105, c.rows += column == 15;
                c.firstIn105 = std::min(c.firstIn105, row == 105 ? column : 256);
            }
    return c;
}

// At pixel centres a side through a centre takes it when it is a left or a bottom side,
// as OpenGL's window (y up) has it, and not when it is a right or a top one; with snap a
// side 3/1024 pixel right of a centre moves to the next 1/256 (nearest, not down) and
// leaves the centre out, one 3/1024 to its left moves onto it and takes it. Slanted 6
// pixels over 10 rows, the left side runs through the centre of column 13 on row 105
// and takes it, the right one through column 23's and leaves it.
TEST(RulesFrame, CentresOnASideGoToTheLeftAndBottomSides)
{
    for (RasterRules rules : {RasterRules::none().with(Rule::centres), RasterRules::gl()})
        for (const auto& [offset, first] : {std::pair<double, int>{0.0, 10}, {3.0 / 1024, 11}, {-3.0 / 1024, 10}}) {
            const Covered c = coverRectangle(rules, offset, offset);
            EXPECT_EQ(c.firstColumn, first) << formatRules(rules) << " side at 10.5 + " << offset;
            EXPECT_EQ(c.columns, 20 - first) << formatRules(rules);
            EXPECT_EQ(c.firstRow, 100 + first - 10) << formatRules(rules) << " side at 100.5 + " << offset;
            EXPECT_EQ(c.rows, 110 - (100 + first - 10)) << formatRules(rules);
        }
    for (RasterRules rules : {RasterRules::none().with(Rule::centres), RasterRules::gl()}) {
        const Covered c = coverRectangle(rules, 0.0, 0.0, 6.0);
        EXPECT_EQ(c.firstIn105, 13) << formatRules(rules);
        EXPECT_EQ(c.columns, 10) << formatRules(rules);
    }
}

std::uint64_t fnv(const void* bytes, std::size_t size)
{
    std::uint64_t hash = 1469598103934665603ull;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ static_cast<const unsigned char*>(bytes)[i]) * 1099511628211ull;
    return hash;
}

// Every rule alone and all of them, on the start-up view, a view the near plane cuts and
// one with corners behind the eye, and texgen's coordinates under perspective without
// centres (the scan's divide by 1/w, which a normal's direction alone hides): the colour
// and depth of every pixel hashed, so that no rule's arithmetic drifts. SPHAERIX_RECORD_GOLDEN_RULES=FILE writes the table anew.
TEST(RulesFrame, EveryRuleKeepsItsColoursAndDepths)
{
    Torus torus;
    RecordedTable table(SPHAERIX_GOLDEN_RULE_FRAMES, "SPHAERIX_RECORD_GOLDEN_RULES");
    ASSERT_TRUE(table.in) << SPHAERIX_GOLDEN_RULE_FRAMES;
    int frames = 0;
    for (std::string line; std::getline(table.in, line);) {
        std::istringstream fields(line);
        std::string name, rulesText, error;
        View v{};
        std::uint64_t color = 0, depth = 0;
        RasterRules rules;
        if (line.empty() || line[0] == '#' ||
            !(fields >> rulesText >> name >> v.width >> v.height >> v.angleZ >> v.angleX >> v.panX >> v.panY >> v.zoom)) {
            table.out << line << '\n';
            continue;
        }
        fields >> std::hex >> color >> depth;
        ASSERT_TRUE(parseRules(rulesText, rules, error)) << error;
        torus.look(v);
        renderSoftwareFrame(torus.scene, v.width, v.height, rules);
        const Frame f = grab(v.width, v.height);
        const std::uint64_t actualColor = fnv(f.color.data(), f.color.size() * sizeof(Color4));
        const std::uint64_t actualDepth = fnv(f.depth.data(), f.depth.size() * sizeof(float));
        EXPECT_EQ(actualColor, color) << rulesText << " " << name << ": the colours changed";
        EXPECT_EQ(actualDepth, depth) << rulesText << " " << name << ": the depths changed";
        char out[256];
        std::snprintf(out, sizeof out, "%s %s %d %d %.9g %.9g %.9g %.9g %.9g %016llx %016llx", rulesText.c_str(),
                      name.c_str(), v.width, v.height, v.angleZ, v.angleX, v.panX, v.panY, v.zoom,
                      static_cast<unsigned long long>(actualColor), static_cast<unsigned long long>(actualDepth));
        table.out << out << '\n';
        ++frames;
    }
    EXPECT_GE(frames, 24);
    setInteractionView(-135, -60, 0, 0, 0.25f);
}

} // namespace
