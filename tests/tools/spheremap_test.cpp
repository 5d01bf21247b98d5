#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "texture/texture.h"
#include "tools/spheremap/generate.h"
#include "tools/spheremap/png_io.h"
#include "tools/spheremap/raw_image.h"
#include "tools/spheremap/resample.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

struct ToolResult {
    int status = -1;
    std::string errors;
};

class SpheremapTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("spheremap_test_" + std::to_string(getpid()));

    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const char* name) const { return (dir / name).string(); }

    ToolResult runTool(const std::string& arguments) const
    {
        const std::string errors = path("stderr.txt");
        const int status = std::system((std::string(SPHEREMAP_TOOL) + " " + arguments + " 2>" + errors).c_str());
        std::ifstream in(errors);
        std::stringstream text;
        text << in.rdbuf();
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
    }

    Bytes readRaw(const std::string& file) const
    {
        Bytes raw;
        std::string error;
        EXPECT_TRUE(readRawFile(file.c_str(), raw, error)) << error;
        return raw;
    }

    // Writes `png`, imports it with the program and returns the raw bytes.
    Bytes import(const PngData& png)
    {
        std::string error;
        EXPECT_TRUE(writePng(path("in.png").c_str(), png, error)) << error;
        EXPECT_EQ(runTool("import " + path("in.png") + " " + path("out.raw")).status, 0);
        return readRaw(path("out.raw"));
    }

    // One line, our prefix, exit status 1, the file named.
    void expectFailure(const std::string& arguments, const std::string& file, const std::string& words)
    {
        const ToolResult result = runTool(arguments);
        EXPECT_EQ(result.status, 1) << arguments;
        EXPECT_EQ(result.errors.rfind("sphaerix-spheremap: ", 0), 0u) << result.errors;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
        EXPECT_NE(result.errors.find(file), std::string::npos) << result.errors;
        EXPECT_NE(result.errors.find(words), std::string::npos) << result.errors;
    }
};

PngData uniform(int width, int height, int colorType, int bitDepth, Bytes pixel)
{
    PngData png;
    png.width = width;
    png.height = height;
    png.colorType = colorType;
    png.bitDepth = bitDepth;
    for (int i = 0; i < width * height; ++i)
        png.pixels.insert(png.pixels.end(), pixel.begin(), pixel.end());
    return png;
}

Bytes texel(const Bytes& raw, int row, int column)
{
    const auto at = raw.begin() + (long(row) * textureSize + column) * 3;
    return Bytes(at, at + 3);
}

int brightness(const Bytes& raw, int row, int column)
{
    const Bytes t = texel(raw, row, column);
    return t[0] + t[1] + t[2];
}

TEST_F(SpheremapTest, GeneratedMapIsStableBlueShadedBallLitFromUpperLeft)
{
    const Bytes raw = generateSphereMap();
    ASSERT_EQ(raw.size(), std::size_t(textureBytes));
    ASSERT_EQ(runTool("generate " + path("a.raw")).status, 0);
    EXPECT_EQ(readRaw(path("a.raw")), raw);

    const Bytes centre = texel(raw, 128, 128);
    EXPECT_GT(centre[2], centre[0]);
    EXPECT_GT(centre[2], 80);
    const Bytes corner(sphereMapCorner, sphereMapCorner + 3);
    for (int row : {0, 10, 245, 255})
        for (int column : {0, 10, 245, 255})
            EXPECT_EQ(texel(raw, row, column), corner);

    int bestRow = 0, bestColumn = 0;
    for (int row = 0; row < textureSize; ++row)
        for (int column = 0; column < textureSize; ++column)
            if (brightness(raw, row, column) > brightness(raw, bestRow, bestColumn))
                bestRow = row, bestColumn = column;
    EXPECT_GE(bestRow, 128);
    EXPECT_LT(bestColumn, 128);
    EXPECT_GE(brightness(raw, bestRow, bestColumn), 3 * 240); // a white highlight
    // Shaded: the lower right, away from the key light, is darker than the upper left.
    EXPECT_LT(brightness(raw, 60, 196), brightness(raw, 196, 60));
}

TEST_F(SpheremapTest, ExportThenImportKeepsEveryByte)
{
    Bytes raw(textureBytes);
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<unsigned char>((i * 7919) >> 3);
    std::string error;
    ASSERT_TRUE(writeRawFile(path("a.raw").c_str(), raw, error)) << error;
    ASSERT_EQ(runTool("export " + path("a.raw") + " " + path("a.png")).status, 0);

    Image exported;
    ASSERT_TRUE(readPng(path("a.png").c_str(), exported, error)) << error;
    ASSERT_EQ(exported.width, textureSize);
    ASSERT_EQ(exported.height, textureSize);
    EXPECT_EQ(rawFromImage(exported), raw);
    ASSERT_EQ(runTool("import " + path("a.png") + " " + path("b.raw")).status, 0);
    EXPECT_EQ(readRaw(path("b.raw")), raw);
}

TEST_F(SpheremapTest, TopLeftOfPictureBecomesLastRowFirstColumn)
{
    PngData png = uniform(textureSize, textureSize, PNG_COLOR_TYPE_RGB, 8, {0, 0, 0});
    png.pixels[0] = 255;
    const Bytes raw = import(png);
    EXPECT_EQ(texel(raw, 255, 0), (Bytes{255, 0, 0}));
    EXPECT_EQ(texel(raw, 0, 0), (Bytes{0, 0, 0}));
    EXPECT_EQ(texel(raw, 255, 1), (Bytes{0, 0, 0}));
}

TEST_F(SpheremapTest, EveryPngKindImportsWithAlphaOverBlack)
{
    struct Case {
        const char* name;
        PngData png;
        Bytes expected;
    };
    PngData palette = uniform(textureSize, textureSize, PNG_COLOR_TYPE_PALETTE, 8, {1});
    palette.palette = {10, 200, 30, 40, 50, 60};
    PngData translucentPalette = palette;
    translucentPalette.paletteAlpha = {255, 51};
    PngData bits = uniform(textureSize, textureSize, PNG_COLOR_TYPE_GRAY, 1, {0xff});
    bits.width = 8 * textureSize;
    const Case cases[] = {
        {"grey", uniform(textureSize, textureSize, PNG_COLOR_TYPE_GRAY, 8, {77}), {77, 77, 77}},
        {"1-bit grey shrunk", bits, {255, 255, 255}},
        {"grey+alpha", uniform(textureSize, textureSize, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {255, 64}), {64, 64, 64}},
        {"RGBA", uniform(textureSize, textureSize, PNG_COLOR_TYPE_RGBA, 8, {200, 100, 50, 128}), {100, 50, 25}},
        // 511/65535 rounds to 2: dropping the low byte would give 1.
        {"16-bit", uniform(textureSize, textureSize, PNG_COLOR_TYPE_RGB, 16, {1, 255, 0, 0, 255, 255}), {2, 0, 255}},
        {"palette", palette, {40, 50, 60}},
        {"palette alpha", translucentPalette, {8, 10, 12}},
    };
    for (const Case& c : cases) {
        const Bytes raw = import(c.png);
        EXPECT_EQ(texel(raw, 0, 0), c.expected) << c.name;
        EXPECT_EQ(texel(raw, 200, 100), c.expected) << c.name;
    }
}

TEST_F(SpheremapTest, InterlacedImportsLikePlain)
{
    PngData png = uniform(textureSize, textureSize, PNG_COLOR_TYPE_RGB, 8, {});
    for (int i = 0; i < textureSize * textureSize * 3; ++i)
        png.pixels.push_back(static_cast<unsigned char>(i * 31 / 7));
    const Bytes plain = import(png);
    png.interlaced = true;
    EXPECT_EQ(import(png), plain);
}

TEST_F(SpheremapTest, ShrinkingAveragesArea)
{
    PngData checker = uniform(512, 512, PNG_COLOR_TYPE_GRAY, 8, {});
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x)
            checker.pixels.push_back((x + y) % 2 ? 255 : 0);
    const Bytes raw = import(checker);
    EXPECT_EQ(std::count(raw.begin(), raw.end(), 128), textureBytes);

    // Uneven ratios must still weigh to exactly one.
    Image flat{301, 7, std::vector<double>(301 * 7 * 3, 0.25)};
    for (double sample : resample(flat, 256, 3).rgb)
        EXPECT_NEAR(sample, 0.25, 1e-12);
}

TEST_F(SpheremapTest, EnlargingIsSmoothAndMonotone)
{
    // Two by two: black on the left, white on the right.
    const Bytes raw = import(PngData{2, 2, PNG_COLOR_TYPE_GRAY, 8, false, {}, {}, {0, 255, 0, 255}});
    for (int row : {0, 128, 255}) {
        EXPECT_EQ(texel(raw, row, 0)[0], 0);
        EXPECT_EQ(texel(raw, row, 255)[0], 255);
        for (int column = 1; column < textureSize; ++column) {
            const int step = texel(raw, row, column)[0] - texel(raw, row, column - 1)[0];
            EXPECT_GE(step, 0);
            EXPECT_LE(step, 3);
        }
    }
}

TEST_F(SpheremapTest, BadInputFailsWithOneLineNamingTheFile)
{
    const std::string missing = path("missing.png");
    expectFailure("import " + missing + " " + path("out.raw"), missing, "cannot open");
    expectFailure("export " + path("missing.raw") + " " + path("out.png"), "missing.raw", "cannot open");

    std::ofstream(path("text.png")) << "just some text, long enough to have a signature's worth\n";
    expectFailure("import " + path("text.png") + " " + path("out.raw"), "text.png", "not a PNG");

    std::string error;
    ASSERT_TRUE(writePng(path("whole.png").c_str(), uniform(64, 64, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3}), error));
    fs::copy_file(path("whole.png"), path("cut.png"));
    fs::resize_file(path("cut.png"), fs::file_size(path("whole.png")) / 2);
    expectFailure("import " + path("cut.png") + " " + path("out.raw"), "cut.png", "not a valid PNG");
    EXPECT_FALSE(fs::exists(path("out.raw")));

    ASSERT_TRUE(writeRawFile(path("short.raw").c_str(), Bytes(100), error));
    expectFailure("export " + path("short.raw") + " " + path("out.png"), "short.raw", "has 100 bytes; 196608");
    ASSERT_TRUE(writeRawFile(path("long.raw").c_str(), Bytes(textureBytes + 1), error));
    expectFailure("export " + path("long.raw") + " " + path("out.png"), "long.raw", "has 196609 bytes");

    expectFailure("generate " + path("no/such/dir.raw"), "dir.raw", "cannot write");
}

TEST_F(SpheremapTest, BadCommandLineShowsUsage)
{
    for (const char* arguments : {"", "paint x.raw", "generate", "import only.png", "export a b c"}) {
        const ToolResult result = runTool(arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_EQ(result.errors.rfind("sphaerix-spheremap: ", 0), 0u) << result.errors;
        EXPECT_NE(result.errors.find("usage: sphaerix-spheremap"), std::string::npos) << result.errors;
    }
}

} // namespace
