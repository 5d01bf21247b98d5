#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "texture/texture.h"
#include "files/png_file.h"
#include "files/raw_file.h"
#include "texture/raw_image.h"
#include "texture/resample.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readBytes(const char* name)
{
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

PngData uniform(int width, int height, int colorType, int bitDepth, Bytes pixel)
{
    PngData png{width, height, colorType, bitDepth, false, {}, {}, {}};
    for (int i = 0; i < width * height; ++i)
        png.pixels.insert(png.pixels.end(), pixel.begin(), pixel.end());
    return png;
}

Bytes texel(const Bytes& raw, int row, int column)
{
    const auto at = raw.begin() + (long(row) * textureSize + column) * 3;
    return Bytes(at, at + 3);
}

// Each test works in a fresh current directory, where the tool runs too.
class SpheremapTest : public ::testing::Test {
protected:
    const fs::path dir = fs::temp_directory_path() / ("spheremap_test_" + std::to_string(getpid()));

    void SetUp() override { fs::create_directories(dir); fs::current_path(dir); }
    void TearDown() override { fs::current_path(dir.parent_path()); fs::remove_all(dir); }

    int runTool(const std::string& arguments)
    {
        const int status = std::system((std::string(SPHEREMAP_TOOL) + " " + arguments).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Writes `png`, imports it with the tool and returns the raw bytes.
    Bytes import(const PngData& png)
    {
        std::string error;
        EXPECT_TRUE(writePng("in.png", png, error)) << error;
        EXPECT_EQ(runTool("import in.png out.raw"), 0);
        return readBytes("out.raw");
    }
};

// Export and import round-trip; a PNG's top row is the raw file's last; every PNG kind
// imports, alpha over black; shrinking averages, enlarging interpolates; a failed export
// leaves nothing.
TEST_F(SpheremapTest, ImportAndExport)
{
    Bytes raw(textureBytes);
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<unsigned char>((i * 7919) >> 3);
    std::string error;
    ASSERT_TRUE(writeRawFile("a.raw", raw, error)) << error;
    ASSERT_EQ(runTool("export a.raw a.png"), 0);
    EXPECT_EQ(readBytes("a.png").at(28), 0) << "interlaced";
    ASSERT_EQ(runTool("import a.png b.raw"), 0);
    EXPECT_EQ(readBytes("b.raw"), raw);

    const int n = textureSize;
    PngData topLeft = uniform(n, n, PNG_COLOR_TYPE_RGB, 8, {0, 0, 0});
    topLeft.pixels[0] = 255;
    const Bytes imported = import(topLeft);
    EXPECT_EQ(texel(imported, 255, 0), (Bytes{255, 0, 0}));
    EXPECT_EQ(texel(imported, 0, 0), (Bytes{0, 0, 0}));
    EXPECT_EQ(texel(imported, 255, 1), (Bytes{0, 0, 0}));

    const std::pair<PngData, Bytes> kinds[] = {
        {uniform(n, n, PNG_COLOR_TYPE_GRAY, 8, {77}), {77, 77, 77}},
        {uniform(n, n, PNG_COLOR_TYPE_RGBA, 8, {200, 100, 50, 128}), {100, 50, 25}},
        // 511/65535 rounds to 2: dropping the low byte would give 1.
        {uniform(n, n, PNG_COLOR_TYPE_RGB, 16, {1, 255, 0, 0, 255, 255}), {2, 0, 255}},
        // Entry 1 is (40, 50, 60) at alpha 51/255.
        {PngData{n, n, PNG_COLOR_TYPE_PALETTE, 8, false, {10, 200, 30, 40, 50, 60}, {255, 51}, Bytes(n * n, 1)}, {8, 10, 12}},
    };
    for (const auto& [png, expected] : kinds) {
        const Bytes kind = import(png);
        EXPECT_TRUE(texel(kind, 0, 0) == expected && texel(kind, 200, 100) == expected) << png.colorType;
    }

    PngData checker = uniform(512, 512, PNG_COLOR_TYPE_GRAY, 8, {});
    for (int i = 0; i < 512 * 512; ++i)
        checker.pixels.push_back((i + i / 512) % 2 ? 255 : 0);
    const Bytes shrunk = import(checker);
    EXPECT_EQ(std::count(shrunk.begin(), shrunk.end(), 128), textureBytes);
    for (double sample : resample(Image{301, 7, std::vector<double>(301 * 7 * 3, 0.25)}, 256, 3).rgb)
        EXPECT_NEAR(sample, 0.25, 1e-12); // uneven ratios still weigh to exactly one
    // Two by two, black on the left, white on the right: a gentle even ramp between.
    const Bytes ramp = import(PngData{2, 2, PNG_COLOR_TYPE_GRAY, 8, false, {}, {}, {0, 255, 0, 255}});
    for (auto [column, value] : {std::pair{0, 0}, {64, 0}, {96, 64}, {128, 128}, {160, 191}, {192, 255}, {255, 255}})
        EXPECT_NEAR(texel(ramp, 100, column)[0], value, 2) << column;

    // A PNG or raw file that cannot be written whole (files limited to 1 KiB) is not left in
    // part. The tool's other failures are among the recorded runs of the snapshot test.
    for (const auto& [command, out] : {std::pair{" export a.raw ", "out.png"}, {" generate ", "out.raw"}}) {
        EXPECT_NE(std::system((std::string("ulimit -f 1; trap '' XFSZ; ") + SPHEREMAP_TOOL + command + out + " 2>/dev/null").c_str()), 0);
        EXPECT_FALSE(fs::exists(out)) << command;
    }
}

} // namespace
