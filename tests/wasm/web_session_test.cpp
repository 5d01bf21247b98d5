#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/camera.h"
#include "inspect/exact_number.h"
#include "inspect/frame_watch.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "inspect/rgb_image.h"
#include "texture/generate_sphere_map.h"
#include "web/binding/session.h"

// The page's session, natively: what it refuses and how it keeps its state. That the
// WebAssembly build gives the same bytes is wasm_matches_native's job.

namespace {

struct WebSession : testing::Test {
    static void SetUpTestSuite()
    {
        setTextureScratchPath((std::filesystem::temp_directory_path() /
                               ("sphaerix-session-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".raw"))
                                  .string());
        ASSERT_EQ(useGeneratedTexture(), "");
    }
    void SetUp() override { ASSERT_EQ(useGeneratedTexture(), ""); }
};

// What a call gave, or "refused: " and its message.
template <typename Out = std::string, typename Call>
Out either(Call call)
{
    Out out;
    const std::string problem = call(out);
    return problem.empty() ? out : Out{"refused: " + problem};
}

std::string historyJsonOf(int x, int y) { return either([=](auto& o) { return pixelHistoryJson(x, y, o); }); }
std::string traceJsonOf(int n) { return either([=](auto& o) { return polygonTraceJson(n, o); }); }
std::string traceTextOf(int n) { return either([=](auto& o) { return polygonTraceText(n, o); }); }
std::vector<std::string> reasonOf(int x, int y)
{
    return either<std::vector<std::string>>([=](auto& o) { return pixelReasonLines(x, y, o); });
}
std::string compareOf(const std::vector<unsigned char>& rgb, int w, int h)
{
    return either([&](auto& o) { return compareWithLastFrame(rgb, w, h, "a.png", o); });
}

ViewRequest view(int w, int h, const char* name = "color", int limit = -1)
{
    ViewRequest r;
    r.width = w;
    r.height = h;
    EXPECT_EQ(parseViewName(name, r.view), "");
    r.polygonLimit = limit;
    return r;
}

TEST_F(WebSession, RefusedTexturesNameWhatWasWrongAndKeepTheSceneAsItWas)
{
    const std::vector<unsigned char> generated = generateSphereMap();
    struct Case {
        bool raw;
        std::vector<unsigned char> bytes;
        std::vector<double> samples;
        int width, height;
        const char* message;
    } cases[] = {
        // The module's own file is none of the user's business: no path between the words.
        {true, std::vector<unsigned char>(100, 7), {}, 0, 0, "texture file is too short: 100 bytes, 196608 needed"},
        {true, {}, {}, 0, 0, "texture file is too short: 0 bytes, 196608 needed"},
        {false, {}, std::vector<double>(11, 0.5), 2, 2, "11 samples, not 3 per pixel of 2x2"},
        {false, {}, {}, 0, 3, "0 samples, not 3 per pixel of 0x3"},
    };
    for (const Case& c : cases) {
        const std::string message = c.raw ? loadRawTexture(c.bytes) : importImageTexture(c.samples, c.width, c.height);
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        EXPECT_EQ(currentTextureBytes(), generated) << c.message;
    }
    // Longer than a texture: read up to its size, as the program reads sphere.raw.
    std::vector<unsigned char> longer(textureBytes + 5);
    for (std::size_t i = 0; i < longer.size(); ++i)
        longer[i] = static_cast<unsigned char>(i * 7);
    ASSERT_EQ(loadRawTexture(longer), "");
    EXPECT_EQ(currentTextureBytes(), std::vector<unsigned char>(longer.begin(), longer.begin() + textureBytes));
    // A picture of the texture's size is taken as it is, flipped to rows bottom first;
    // one of another size is resampled: a uniform grey stays that grey.
    std::vector<double> samples(std::size_t(textureSize) * textureSize * 3, 0.0);
    samples[0] = 1.0; // top row, first texel, red
    ASSERT_EQ(importImageTexture(samples, textureSize, textureSize), "");
    EXPECT_EQ(currentTextureBytes()[std::size_t(textureSize - 1) * textureSize * 3], 255);
    EXPECT_EQ(currentTextureBytes()[0], 0);
    ASSERT_EQ(importImageTexture(std::vector<double>(3 * 3 * 5, 0.5), 3, 5), "");
    EXPECT_EQ(currentTextureBytes(), std::vector<unsigned char>(textureBytes, 128));
}

TEST_F(WebSession, RefusedViewsNameWhatWasWrongAndKeepTheLastPicture)
{
    ASSERT_EQ(drawView(view(5, 4)), "");
    const RgbImage before = lastPicture();
    for (const auto& [w, h] : {std::pair{0, 5}, {5, 0}, {-3, 5}, {16385, 1}, {1, 16385}}) {
        const std::string message = drawView(view(w, h));
        EXPECT_NE(message.find("each side must be 1..16384"), std::string::npos) << w << "x" << h << ": " << message;
        EXPECT_EQ(lastPicture().rgb, before.rgb);
        EXPECT_EQ(historyJsonOf(4, 3).find("refused"), std::string::npos) << "the kept view is still 5x4";
    }
    DebugView v;
    EXPECT_EQ(parseViewName("depths", v), "unknown view \"depths\": color, depth, normals, overdraw, polygons, edges or texels");
    for (const auto& [x, y] : {std::pair{5, 0}, {0, 4}, {-1, 0}, {0, -1}})
        EXPECT_EQ(either([&](std::string& out) { return pixelHistoryText(x, y, out); }),
                  "refused: pixel " + std::to_string(x) + "," + std::to_string(y) + " lies outside the 5x4 frame");
    for (int n : {-1, 2304})
        EXPECT_EQ(traceJsonOf(n), "refused: polygon " + std::to_string(n) + ": the frame has 2304 polygons");
}

// Watching the fill: the first N polygons, the rest put back in their order afterwards.
TEST_F(WebSession, APolygonLimitDrawsThatManyAndPutsTheRestBack)
{
    ASSERT_EQ(drawView(view(64, 48)), "");
    const RgbImage whole = lastPicture();
    const std::string lastTrace = traceJsonOf(2303);
    ASSERT_EQ(drawView(view(64, 48, "color", 0)), "");
    EXPECT_EQ(lastPicture().rgb, std::vector<unsigned char>(whole.rgb.size(), 255)) << "nothing drawn: cleared white";
    EXPECT_EQ(scenePolygonCount(), 0);
    ASSERT_EQ(drawView(view(64, 48, "color", 1200)), "");
    EXPECT_NE(lastPicture().rgb, whole.rgb);
    EXPECT_EQ(scenePolygonCount(), 1200);
    EXPECT_EQ(traceTextOf(1200), "refused: polygon 1200: the frame has 1200 polygons");
    for (int limit : {2304, 100000, -1}) {
        ASSERT_EQ(drawView(view(64, 48, "color", limit)), "");
        EXPECT_EQ(lastPicture().rgb, whole.rgb) << limit;
        EXPECT_EQ(scenePolygonCount(), 2304);
        EXPECT_EQ(traceJsonOf(2303), lastTrace) << limit;
    }
}

TEST_F(WebSession, ComparisonFindsTheFirstDifferenceInWindowCoordinates)
{
    ASSERT_EQ(drawView(view(6, 5, "depth")), "");
    // The colours of the frame, not the depth picture shown.
    ASSERT_EQ(drawView(view(6, 5)), "");
    std::vector<unsigned char> theirs = lastPicture().rgb;
    ASSERT_EQ(drawView(view(6, 5, "depth")), "");
    EXPECT_EQ(compareOf(theirs, 6, 5).rfind(
                  "{\"width\":6,\"height\":5,\"count\":0,\"total\":30,\"largest\":0.0,\"first\":null,\"mask\":[12,11],"
                  "\"line\":\"against a.png: 0 of", 0),
              0u);
    theirs[(1 * 6 + 4) * 3 + 2] ^= 0x10; // row 1 from the top: window row 3
    theirs[(4 * 6 + 2) * 3] ^= 0x01;     // the bottom row: window row 0, found first
    const std::string json = compareOf(theirs, 6, 5);
    EXPECT_NE(json.find("\"count\":2,\"total\":30,\"largest\":16.0,\"first\":[2,0]"), std::string::npos) << json;
    EXPECT_EQ(lastMask().width, 12); // room for the rings at its edges
    for (const auto& [w, h, size, message] :
         {std::tuple{6, 4, 72, "\"a.png\" is 6x4; the frame is 6x5"}, {6, 5, 89, "\"a.png\" has 89 bytes, not 3 per pixel of 6x5"}})
        EXPECT_EQ(compareOf(std::vector<unsigned char>(std::size_t(size)), w, h), std::string("refused: ") + message);
}

// The reason is that of the pixel's history, which is kept for one pixel of one view
// with one texture.
TEST_F(WebSession, TheReasonIsThatOfThePixelsOwnHistory)
{
    ViewRequest r = view(240, 240);
    ASSERT_EQ(drawView(r), "");
    for (const auto& [x, y] : {std::pair{120, 60}, {0, 0}, {187, 48}, {120, 60}}) {
        const Json history = Json::parse(historyJsonOf(x, y));
        EXPECT_EQ(history["pixel"], Json({x, y}));
        EXPECT_EQ(Json(reasonOf(x, y)), history["reason"]) << x << "," << y;
    }
    const std::vector<std::string> before = reasonOf(120, 60);
    ASSERT_EQ(loadRawTexture(std::vector<unsigned char>(textureBytes, 9)), "");
    EXPECT_NE(reasonOf(120, 60).back().find("bytes 9 9 9"), std::string::npos) << "a new texture";
    ASSERT_EQ(useGeneratedTexture(), "");
    EXPECT_EQ(reasonOf(120, 60), before);
    r.angleZ = -100.0f;
    ASSERT_EQ(drawView(r), "");
    EXPECT_NE(reasonOf(120, 60), before) << "a new view";
    ASSERT_EQ(drawView(view(5, 4)), "");
    EXPECT_EQ(reasonOf(5, 0), std::vector<std::string>{"refused: pixel 5,0 lies outside the 5x4 frame"});
}

// Save PNG's pictures: the snapshot's limits, and the frame on the page left as it was.
TEST_F(WebSession, SlidesRefuseWhatTheSnapshotRefusesAndLeaveTheFrame)
{
    ASSERT_EQ(drawView(view(4100, 3)), "");
    const RgbImage frame = lastPicture();
    ASSERT_NE(compareOf(frame.rgb, 4100, 3).find("\"count\""), std::string::npos);
    RgbImage slide{1, 1, {1, 2, 3}};
    const RgbImage small{2, 1, std::vector<unsigned char>(6, 9)};
    const std::pair<std::string, const char*> cases[] = {
        {drawnSlide(0, false, slide), "bad value \"0\" for scale: N from 1 to 64"},
        {enlargedPicture(small, 65, true, slide), "bad value \"65\" for scale: N from 1 to 64"},
        {drawnSlide(4, true, slide), "--scale 4 makes a 16400x12 picture; at most 16384 a side"},
        {maskSlide(4, false, slide), "--scale 4 makes a 16400x12 picture; at most 16384 a side"},
        {enlargedPicture(RgbImage{2, 2, small.rgb}, 1, false, slide), "the picture has 6 bytes, not 3 per pixel of 2x2"},
        {enlargedPicture(RgbImage{0, 0, {}}, 1, false, slide), "the picture has 0 bytes, not 3 per pixel of 0x0"},
    };
    for (const auto& [message, expected] : cases)
        EXPECT_EQ(message, expected);
    EXPECT_EQ(slide.rgb, (std::vector<unsigned char>{1, 2, 3})) << "nothing is made";
    ASSERT_EQ(drawnSlide(3, true, slide), "");
    EXPECT_EQ(lastPicture().rgb, frame.rgb);
    ASSERT_EQ(enlargedPicture(small, 64, false, slide), "");
    EXPECT_EQ(slide.rgb, std::vector<unsigned char>(std::size_t(128) * 64 * 3, 9));
}

// The texels view records the texels the frame read, with the frame's own camera, even
// when the camera and the view change in one request.
TEST_F(WebSession, TheTexelsViewTakesTheCameraItIsDrawnWith)
{
    ViewRequest turned = view(96, 64, "texels");
    turned.angleZ = 40.0f;
    turned.zoom = 5.0f;
    ASSERT_EQ(drawView(turned), "");
    ASSERT_EQ(drawView(turned), "");
    const RgbImage settled = lastPicture();
    ASSERT_EQ(drawView(view(96, 64)), "");
    ASSERT_EQ(drawView(turned), "");
    EXPECT_EQ(lastPicture().rgb, settled.rgb);
    RgbImage slide;
    ASSERT_EQ(drawnSlide(1, false, slide), "");
    EXPECT_EQ(slide.rgb, settled.rgb);
}

TEST_F(WebSession, SpanEndsStayInsideTheFrameWhateverTheRectangle)
{
    ASSERT_EQ(drawView(view(48, 40)), "");
    const std::string all = spanEndsAround(0, 0, 48, 40);
    EXPECT_NE(all.find("\"visible\""), std::string::npos);
    EXPECT_NE(all.find("\"hidden\""), std::string::npos);
    EXPECT_EQ(spanEndsAround(-1000, -1000, 5000, 5000), all);
    EXPECT_EQ(spanEndsAround(48, 0, 10, 10), "[]");
    EXPECT_EQ(spanEndsAround(10, 10, -4, 3), "[]");
    // Zoomed in, the torus runs off every side: the spans cut by the frame end at its
    // first and last column, and the magnifier's rectangle there gets them.
    ViewRequest close = view(48, 40);
    close.zoom = 6.0f;
    ASSERT_EQ(drawView(close), "");
    const std::string whole = spanEndsAround(0, 0, 48, 40);
    for (int column : {0, 47}) {
        std::string expected = "[";
        for (std::size_t at = 0; (at = whole.find("[" + std::to_string(column) + ",", at + 1)) != std::string::npos;)
            expected += (expected.size() > 1 ? "," : "") + whole.substr(at, whole.find(']', at) + 1 - at);
        EXPECT_GT(expected.size(), 30u) << column;
        EXPECT_EQ(spanEndsAround(column, 0, 1, 40), expected + "]") << column;
    }
}

// A trace is kept for the view it was drawn in: after another view, the same polygon's
// trace is that view's.
TEST_F(WebSession, AKeptTraceGoesWithItsView)
{
    ASSERT_EQ(drawView(view(64, 48)), "");
    const std::string small = traceTextOf(531);
    ASSERT_EQ(drawView(view(96, 72)), "");
    const std::string large = traceTextOf(531);
    EXPECT_NE(large, small);
    EXPECT_EQ(traceTextOf(700).rfind("polygon 700 of the frame", 0), 0u) << "another polygon, another trace";
    ASSERT_EQ(drawView(view(64, 48)), "");
    EXPECT_EQ(traceTextOf(531), small);
}

// A history draws the pixel's row alone: it must tell what the whole frame drawn with the
// observer tells, and leave the frame (its colours, depth and what the next frame clears)
// as it found it. Rows and columns at the frame's edges, views with polygons that start
// below the frame, frames one pixel wide or high.
TEST_F(WebSession, AHistoryFromItsRowAloneIsTheWholeFramesAndLeavesTheFrameAsItWas)
{
    struct Case {
        int w, h;
        float az, ax, panX, panY, zoom;
        std::vector<std::pair<int, int>> pixels;
    } cases[] = {
        {480, 480, -135, -60, 0, 0, 0.25f, {{70, 214}, {240, 240}, {0, 0}, {479, 479}, {200, 120}, {300, 360}}},
        {64, 48, 20, -40, -60, 35, 8.5f, {{0, 47}, {63, 0}, {32, 24}, {10, 5}}},
        {1, 1, -135, -60, 0, 0, 0.25f, {{0, 0}}},
        {7, 3, 10, 20, 0, 0, 7.0f, {{6, 2}, {3, 1}, {0, 0}}},
        {1, 40, -135, -60, 0, 0, 3.0f, {{0, 20}, {0, 39}}},
    };
    for (const Case& c : cases) {
        ViewRequest r = view(c.w, c.h);
        r.angleZ = c.az;
        r.angleX = c.ax;
        r.panX = c.panX;
        r.panY = c.panY;
        r.zoom = c.zoom;
        ASSERT_EQ(drawView(r), "");
        const std::vector<unsigned char> depth = lastDepthBytes(), rgba = lastPictureRgba();
        std::vector<std::string> rowAlone;
        for (const auto& [x, y] : c.pixels)
            rowAlone.push_back(historyJsonOf(x, y));
        EXPECT_EQ(lastDepthBytes(), depth) << c.w << "x" << c.h;
        // The next frame clears what this one wrote, and no more is left over: the same
        // view drawn again gives the same bytes.
        ASSERT_EQ(drawView(r), "");
        EXPECT_EQ(lastPictureRgba(), rgba) << c.w << "x" << c.h;
        EXPECT_EQ(lastDepthBytes(), depth) << c.w << "x" << c.h;
        for (std::size_t i = 0; i < c.pixels.size(); ++i) {
            const int pixel[2] = {c.pixels[i].first, c.pixels[i].second};
            setInteractionView(c.az, c.ax, c.panX, c.panY, c.zoom);
            setupCamera(theScene, c.w, c.h);
            FrameWatch watch(DebugView::color, pixel, -1, c.w, c.h, theScene);
            sizeBuffers(c.w, c.h);
            rasterizeScene(theScene, c.w, c.h, watch.observer());
            completeHistory(watch.history->history, theScene);
            EXPECT_EQ(rowAlone[i], jsonLines(historyJson(watch.history->history)))
                << c.w << "x" << c.h << " pixel " << pixel[0] << "," << pixel[1];
        }
    }
}

// The colour view's RGBA is written while the frame is drawn (after a colour frame of the
// same size, only where the two frames wrote), and its RGB made from it when asked for;
// the other views' RGBA from their RGB: both equal the picture -o writes, whatever came
// before (other views, angles, sizes, polygon limits, histories and traces).
TEST_F(WebSession, ThePicturesRgbaAndRgbAreTheSamePictureInEveryView)
{
    struct Step {
        int w, h;
        const char* name;
        float angleZ;
        int limit;
        bool inspect;
    } steps[] = {
        {33, 17, "color", -135, -1, false}, {33, 17, "depth", -135, -1, false}, {33, 17, "color", -100, -1, true},
        {33, 17, "color", -60, -1, false},  {33, 17, "overdraw", 0, -1, false}, {33, 17, "texels", 0, -1, false},
        {33, 17, "color", 40, 900, true},   {33, 17, "color", 40, -1, false},   {17, 33, "color", 40, 0, false},    {33, 17, "normals", 0, -1, false},
        {33, 17, "color", 40, -1, false},   {33, 17, "color", 45, 0, false},    {33, 17, "color", 45, -1, false},
    };
    for (const Step& step : steps) {
        ViewRequest r = view(step.w, step.h, step.name, step.limit);
        r.angleZ = step.angleZ;
        r.zoom = 3.0f;
        ASSERT_EQ(drawView(r), "");
        const char* name = step.name;
        if (step.inspect) {
            historyJsonOf(16, 8);
            traceJsonOf(400);
        }
        const std::vector<unsigned char> rgba = lastPictureRgba();
        const RgbImage& rgb = lastPicture();
        EXPECT_EQ(rgb.width, lastPictureWidth()) << name;
        EXPECT_EQ(rgb.height, lastPictureHeight()) << name;
        ASSERT_EQ(rgba.size(), std::size_t(rgb.width) * rgb.height * 4) << name;
        EXPECT_EQ(rgbFromRgba(rgba), rgb.rgb) << name;
        if (std::string(name) == "color") {
            EXPECT_EQ(rgb.rgb, imageFromColors(ColorBuffer.data(), step.w, step.h).rgb) << step.angleZ;
        }
        for (std::size_t i = 3; i < rgba.size(); i += 4)
            ASSERT_EQ(rgba[i], 255) << name;
    }
}

// The browser build's C++ library has no std::to_chars for floats, so exactText writes the
// shortest decimal itself: it must print what to_chars prints, fixed or scientific.
TEST(ExactText, PrintsWhatToCharsPrints)
{
    long long differ = 0;
    for (std::uint64_t bits = 0; bits <= 0xffffffffull; bits += 65521) {
        const std::uint32_t b = static_cast<std::uint32_t>(bits);
        float f;
        std::memcpy(&f, &b, sizeof f);
        if (f != f)
            continue;
        char text[64];
        const std::string expected(text, std::to_chars(text, text + sizeof text, f).ptr);
        if (exactText(f) != expected && ++differ < 5)
            ADD_FAILURE() << std::hex << b << ": " << exactText(f) << " instead of " << expected;
    }
    // Every power of two, where the floats below lie twice as close as those above (three
    // of them, 2^-96, 2^87 and 2^90, need the decimal on the wide side), and a few more.
    std::vector<float> values = {0.0f, -0.0f, 1e20f, 33555512.0f, 1.0f / 3.0f, 3.4028235e38f, 0.1f, 100000.0f};
    for (int e = -149; e <= 127; ++e)
        values.push_back(std::ldexp(e % 2 ? -1.0f : 1.0f, e));
    for (float f : values)
        EXPECT_EQ(exactText(f), [f] { char t[64]; return std::string(t, std::to_chars(t, t + 64, f).ptr); }());
}

// The page's pictures go through channelByte, written without std::round for speed: it
// must still round as round(c * 255) does, halves away from zero, on either side of
// every half-way point and across all floats.
TEST(ChannelByte, RoundsAsStdRoundDoes)
{
    auto expected = [](float c) {
        const float scaled = std::round(c * 255.0f);
        return !(scaled > 0.0f) ? 0 : scaled >= 255.0f ? 255 : int(scaled);
    };
    std::vector<float> values;
    for (int k = -1; k <= 256; ++k) {
        const float half = (static_cast<float>(k) + 0.5f) / 255.0f;
        for (float v = std::nextafter(std::nextafter(half, -2.0f), -2.0f), n = 0; n < 5; ++n, v = std::nextafter(v, 2.0f))
            values.push_back(v);
    }
    for (std::uint64_t bits = 0; bits <= 0xffffffffull; bits += 4093) {
        const std::uint32_t b = static_cast<std::uint32_t>(bits);
        float f;
        std::memcpy(&f, &b, sizeof f);
        values.push_back(f);
    }
    int differ = 0;
    for (float v : values)
        if (channelByte(v) != expected(v) && ++differ < 5)
            ADD_FAILURE() << v << ": " << int(channelByte(v)) << " instead of " << expected(v);
}

} // namespace
