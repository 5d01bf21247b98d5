#include <gtest/gtest.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "app/camera.h"
#include "inspect/frame_watch.h"
#include "inspect/pixel_history.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "scene/torus.h"
#include "texture/generate_sphere_map.h"

namespace {

struct GeneratedTorus {
    Texture texture;
    Scene scene;
    GeneratedTorus()
    {
        texture.width = texture.height = textureSize;
        texture.components = textureComponents;
        texture.data = generateSphereMap();
        scene.currentTexture = &texture;
        buildTorus(scene, torusRings, torusSides);
    }
};

// Pixel (70, 214) of the 320x320 view at zoom 6 under gl, the worked example of
// docs/rules.md section 13.10: every number below was worked out from that section's
// formulas alone (with exact rational arithmetic for each fused multiply-add), not by
// this program.
TEST(RulesInspect, TheHistoryUnderGlShowsTheDocumentsArithmetic)
{
    GeneratedTorus torus;
    setInteractionView(-135, -60, 0, 0, 6);
    setupCamera(torus.scene, 320, 320);
    prepareBuffers(320, 320);
    rasterizeScene(torus.scene, 320, 320, RasterRules::gl());
    PixelHistoryObserver watch(70, 214, 320, 320, RasterRules::gl());
    rasterizeRow(torus.scene, 320, 320, 214, &watch, RasterRules::gl());
    completeHistory(watch.history, torus.scene);
    const PixelHistory& h = watch.history;
    ASSERT_EQ(h.fragments.size(), 2u);
    const HistoryFragment& f = h.fragments[0];
    EXPECT_EQ(f.polygon, 713);
    EXPECT_TRUE(f.passed);
    EXPECT_FALSE(h.fragments[1].passed);
    EXPECT_EQ(f.triangle, 0);
    // Counterclockwise: corners 0, 2, 1, with their window positions, window depth, q, s, t.
    const int corner[3] = {0, 2, 1};
    const float x[3] = {82.0328598022461f, 66.4951400756836f, 70.03790283203125f};
    const float y[3] = {204.65963745117188f, 218.8006591796875f, 214.25872802734375f};
    const float z[3] = {0.9296696186065674f, 0.9295165538787842f, 0.9273903369903564f};
    const float q[3] = {0.7962714433670044f, 0.7977863550186157f, 0.818835973739624f};
    const float s[3] = {0.10190746933221817f, 0.47219914197921753f, 0.27876102924346924f};
    const float t[3] = {0.7976821064949036f, 0.9899629354476929f, 0.9427856206893921f};
    const double w[3] = {0.1442674486877113, 0.35802134054007106, 0.4977112107722176};
    const double v[3] = {0.14216551069756192, 0.3534762796957607, 0.5043582096066774};
    ASSERT_EQ(f.corners.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        const RuleCorner& c = f.corners[k];
        EXPECT_EQ(c.corner, corner[k]);
        EXPECT_EQ(c.x, x[k]);
        EXPECT_EQ(c.y, y[k]);
        EXPECT_EQ(c.depth, z[k]);
        EXPECT_EQ(c.inverseW, q[k]);
        EXPECT_EQ(c.values[0], s[k]);
        EXPECT_EQ(c.values[1], t[k]);
        EXPECT_EQ(f.rule.weights[k], w[k]);
        EXPECT_EQ(f.rule.corrected[k], v[k]);
    }
    EXPECT_EQ(f.depth, 0.9284803867340088f);
    const FilterSteps& filter = f.rule.filtered;
    EXPECT_EQ(filter.s, 0.3219943344593048f);
    EXPECT_EQ(filter.t, 0.9388329386711121f);
    EXPECT_EQ(filter.u, 81.93054962158203f);
    EXPECT_EQ(filter.v, 239.8412322998047f);
    EXPECT_EQ(filter.i0, 81);
    EXPECT_EQ(filter.j0, 239);
    EXPECT_EQ(filter.ws, 0.9305496215820312f);
    EXPECT_EQ(filter.wt, 0.8412322998046875f);
    const unsigned char texels[4][3] = {{61, 156, 233}, {61, 156, 233}, {62, 157, 233}, {61, 156, 233}};
    EXPECT_EQ(std::memcmp(filter.texels, texels, sizeof texels), 0);
    const unsigned char bytes[3] = {61, 156, 233};
    EXPECT_EQ(std::memcmp(filter.bytes, bytes, 3), 0);
    EXPECT_EQ(std::memcmp(&h.finalColor, &f.rule.color, sizeof(Color4)), 0);
    // The text and the JSON say it.
    const std::string text = describeHistory(h);
    for (const char* part : {"under the rules gl", "triangle 0 of the polygon", "weights at the centre (0.1442674",
                             "texels 81,239 61 156 233", "result bytes 61 156 233", "the filter mixes texels"})
        EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
    EXPECT_EQ(historyJson(h)["rules"], "gl");
    setInteractionView(-135, -60, 0, 0, 0.25f);
}

// Every view, the history and the trace of the watched frame, under each rule alone and
// all of them, on a view whose torus the near plane cuts: the watch gets the frame's own
// colours, the history ends in the buffer, the trace's fragments are the counts'.
TEST(RulesInspect, EveryWatchFollowsTheFrameUnderEveryRule)
{
    GeneratedTorus torus;
    setInteractionView(-135, -60, 0, 0, 11);
    const int w = 64, h = 48, pixel[2] = {20, 30};
    setupCamera(torus.scene, w, h);
    std::vector<RasterRules> sets = {RasterRules::gl()};
    for (int r = 0; r < ruleCount; ++r)
        sets.push_back(RasterRules::none().with(static_cast<Rule>(r)));
    for (RasterRules rules : sets)
        for (DebugView view : {DebugView::color, DebugView::depth, DebugView::normals, DebugView::overdraw,
                               DebugView::polygons, DebugView::edges, DebugView::texels}) {
            prepareBuffers(w, h);
            rasterizeScene(torus.scene, w, h, rules);
            const std::vector<Color4> plain(ColorBuffer.begin(), ColorBuffer.begin() + w * h);
            FrameWatch watch(view, pixel, 1000, w, h, torus.scene, rules);
            FragmentCounts counts(w, h);
            watch.fan.observers.push_back(&counts);
            prepareBuffers(w, h);
            rasterizeScene(torus.scene, w, h, rules, watch.observer());
            const std::string name = formatRules(rules);
            EXPECT_EQ(std::memcmp(plain.data(), ColorBuffer.data(), plain.size() * sizeof(Color4)), 0) << name;
            completeHistory(watch.history->history, torus.scene);
            const PixelHistory& history = watch.history->history;
            EXPECT_EQ(static_cast<int>(history.fragments.size()), counts.counts[pixel[1] * w + pixel[0]]) << name;
            std::string line;
            const RgbImage picture = viewImage(view, watch, torus.scene, w, h, line);
            EXPECT_GT(picture.width, 0) << name;
            long long traced = 0;
            for (const TraceRow& row : watch.trace->trace.rows)
                for (const TraceSpan& span : row.spans)
                    traced += span.passed + span.failed;
            EXPECT_NE(describeTrace(watch.trace->trace).find("polygon 1000"), std::string::npos) << name;
            EXPECT_GE(counts.total, traced) << name;
        }
    setInteractionView(-135, -60, 0, 0, 0.25f);
}

} // namespace
