#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numeric>
#include <nlohmann/json.hpp>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "scene/torus.h"
#include "tests/support/test_texture.h"
#include "inspect/debug_views.h"
#include "inspect/pixel_history.h"
#include "inspect/polygon_trace.h"

namespace {

bool sameColor(const Color4& a, const Color4& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Counts the fragments of every non-empty span: how many the fill must have tested.
struct SpanWidths : FillObserver {
    long long total = 0;
    void span(int, const ActiveEdge&, const ActiveEdge&, int xs, int xe) override { total += xs < xe ? xe - xs : 0; }
};

// A small frame of the start-up view, drawn plainly, then watched: once whole, and once per
// pixel for its history. Every history must end in what the buffers hold, and its last
// passing fragment must be the polygon that the polygons view shows there.
TEST(Inspect, EveryPixelsHistoryEndsInTheBuffersAndTheWinningPolygon)
{
    const int w = 40, h = 30;
    static const Texture texture = distinctTexture();
    Scene scene;
    scene.currentTexture = &texture;
    buildTorus(scene, torusRings, torusSides);
    angleZ = -120.0f, angleX = -50.0f, panX = panY = 0.0f, zoom = 0.25f;
    setupCamera(scene, w, h);
    renderSoftwareFrame(scene, w, h);
    const std::vector<Color4> colors(ColorBuffer.begin(), ColorBuffer.begin() + w * h);
    const std::vector<float> depths(DepthBuffer.begin(), DepthBuffer.begin() + w * h);

    FragmentCounts counts(w, h);
    Winners winners(w, h);
    SpanWidths spans;
    ObserverFan fan;
    fan.observers = {&counts, &winners, &spans};
    prepareBuffers(w, h);
    rasterizeScene(scene, w, h, &fan);
    EXPECT_TRUE(std::equal(colors.begin(), colors.end(), ColorBuffer.begin(), sameColor)) << "observed frame differs";
    EXPECT_EQ(std::accumulate(counts.counts.begin(), counts.counts.end(), 0LL), spans.total);
    const RgbImage polygons = polygonsView(winners, h);

    int overdrawn = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            PixelHistoryObserver watch(x, y, w, h);
            prepareBuffers(w, h);
            rasterizeScene(scene, w, h, &watch);
            completeHistory(watch.history, scene);
            const PixelHistory& history = watch.history;
            const std::size_t i = std::size_t(y) * w + x;
            ASSERT_EQ(history.fragments.size(), std::size_t(counts.counts[i])) << x << "," << y;
            EXPECT_TRUE(sameColor(history.finalColor, colors[i]) && history.finalDepth == depths[i]) << x << "," << y;
            // Each test sees the depth the last pass left; the last pass is the pixel.
            float stored = 1.0f;
            const HistoryFragment* last = nullptr;
            for (const HistoryFragment& f : history.fragments) {
                EXPECT_TRUE(f.stored == stored && f.passed == (f.depth < f.stored) && f.xs <= x && x < f.xe &&
                            std::trunc(f.left) <= x && x < std::trunc(f.right)) << x << "," << y;
                if (f.passed)
                    stored = f.depth, last = &f;
            }
            overdrawn += history.fragments.size() > 1;
            unsigned char expected[3] = {255, 255, 255};
            if (last) {
                EXPECT_TRUE(sameColor(last->lookup.color, colors[i]) && last->depth == depths[i]) << x << "," << y;
                polygonColor(last->mesh, last->polygon, expected);
            }
            EXPECT_TRUE(std::equal(expected, expected + 3, polygons.rgb.data() + (std::size_t(h - 1 - y) * w + x) * 3))
                << x << "," << y;
        }
    EXPECT_GT(overdrawn, w * h / 4) << "the view must hide fragments";
}

// Hand-made polygons through the frame driver, with identity transforms on a 16x16 frame
// (window x = 8 (x + 1), likewise y): a square at depth 0.25, then the traced triangle at
// 0.5 behind it, whose base edge is dropped and whose spans the square cuts.
TEST(Inspect, AHandMadeEdgeListGivesAKnownTrace)
{
    Scene scene;
    scene.beginMesh();
    for (const std::vector<Vec4>& corners : {std::vector<Vec4>{{3, 0, 0.25f}, {7, 0, 0.25f}, {7, 3, 0.25f}, {3, 3, 0.25f}},
                                             std::vector<Vec4>{{1, 1.5f, 0.5f}, {9, 1.5f, 0.5f}, {5, 5.5f, 0.5f}}}) {
        scene.beginPolygon();
        for (const Vec4& c : corners)
            scene.addVertex(Vec4{c.x / 8 - 1, c.y / 8 - 1, c.z, 1});
    }
    prepareBuffers(16, 16);
    PolygonTraceObserver watch(1);
    rasterizeScene(scene, 16, 16, &watch);
    EXPECT_EQ(describeTrace(watch.trace),
              "polygon 1 of the frame: mesh 0, polygon 1, ring 0, side 1\n"
              "corners (window x, y, depth; normal):\n"
              "  0: 1, 1.5, 0.5; normal 0, 0, 1\n"
              "  1: 9, 1.5, 0.5; normal 0, 0, 1\n"
              "  2: 5, 5.5, 0.5; normal 0, 0, 1\n"
              "edges after set-up (start -> end as x, y, depth; change per row):\n"
              "  e0 corner 0 -> 2: (1, 1.5, 0.5) -> (5, 5.5, 0.5); dx 1, dz 0, normal (0, 0, 0); kept, rows 1 to 4\n"
              "  e1 corner 0 -> 1: (1, 1.5, 0.5) -> (9, 1.5, 0.5); dx inf, dz nan, normal (nan, nan, nan); "
              "dropped: starts and ends on row 1\n"
              "  e2 corner 1 -> 2: (9, 1.5, 0.5) -> (5, 5.5, 0.5); dx -1, dz 0, normal (0, 0, 0); kept, rows 1 to 4\n"
              "rows (active edges sorted by x and paired into spans):\n"
              "  row 1: e0 at 1, e2 at 9; span e0-e2 columns [1, 9): 4 passed, 4 failed\n"
              "  row 2: e0 at 2, e2 at 8; span e0-e2 columns [2, 8): 2 passed, 4 failed\n"
              "  row 3: e0 at 3, e2 at 7; span e0-e2 columns [3, 7): 4 passed, 0 failed\n"
              "  row 4: e0 at 4, e2 at 6; span e0-e2 columns [4, 6): 2 passed, 0 failed\n"
              "  row 5: no active edge\n"
              "depth test: 12 passed, 8 failed\n");
    const Json json = traceJson(watch.trace);
    EXPECT_EQ(json["edges"][1]["kept"], false);
    EXPECT_EQ(json["rows"][0]["spans"][0].dump(), R"({"edges":[0,2],"left":1.0,"right":9.0,"columns":[1,9],"passed":4,"failed":4})");
}

// Texels of the map's rim, where the texel's centre and its corners fall on different
// sides of the inscribed circle: the label is the centre's. Identity transforms, so the
// unit normal's x and y are the lookup's, aimed at a point of the texel inside the circle.
TEST(Inspect, ARimTexelIsLabelledByItsCentre)
{
    static const Texture texture = distinctTexture();
    Scene scene;
    scene.currentTexture = &texture;
    scene.beginMesh();
    const struct {
        int u, v;
        double du, dv; // where in the texel the normal points, 0..1
        bool outside;
    } cases[] = {
        {0, 127, 0.9, 0.9, false},   // lower left corner outside, centre inside
        {255, 128, 0.1, 0.1, false}, // upper right corner outside, centre inside
        {255, 140, 0.1, 0.1, true},  // lower left corner inside, centre outside
        {0, 115, 0.9, 0.9, true},    // upper right corner inside, centre outside
        {128, 128, 0.5, 0.5, false},
    };
    PixelHistory history;
    for (const auto& c : cases) {
        const double x = (c.u + c.du) / 128.0 - 1.0, y = (c.v + c.dv) / 128.0 - 1.0;
        HistoryFragment f{};
        f.passed = true;
        f.normal[0] = float(x), f.normal[1] = float(y), f.normal[2] = float(std::sqrt(1.0 - x * x - y * y));
        history.fragments.push_back(f);
    }
    history.width = history.height = 1;
    prepareBuffers(1, 1);
    completeHistory(history, scene);
    const Json json = historyJson(history);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const HistoryLookup& l = history.fragments[i].lookup;
        ASSERT_TRUE(l.u == cases[i].u && l.v == cases[i].v) << i << ": texel " << l.u << "," << l.v;
        EXPECT_EQ(json["fragments"][i]["lookup"]["texel_centre_outside_circle"], cases[i].outside) << i;
    }
    const std::string text = describeHistory(history);
    EXPECT_NE(text.find("texel 0,127 (centre inside the circle)"), std::string::npos) << text;
    EXPECT_NE(text.find("texel 255,140 (centre outside the circle)"), std::string::npos) << text;
}

} // namespace
