#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "scene/torus.h"
#include "tests/support/test_texture.h"
#include "inspect/pixel_reason.h"

// The reason in words, one case a row, on pixels found with the snapshot's --history.
// The texture is the one whose texel (u, v) holds the bytes u v 7, so every "bytes"
// names its texel; everything else is as the snapshot prints it on the generated map.

namespace {

const Texture texture = distinctTexture();

PixelHistory historyOf(Scene& scene, int w, int h, int x, int y)
{
    PixelHistoryObserver watch(x, y, w, h);
    prepareBuffers(w, h);
    rasterizeScene(scene, w, h, &watch);
    completeHistory(watch.history, scene);
    return watch.history;
}

using Lines = std::vector<std::string>;

TEST(PixelReason, EveryCaseOnTheTorus)
{
    const struct {
        const char* shows;
        int w, h;
        float angleZ, angleX, zoom;
        int x, y;
        Lines reason;
    } cases[] = {
        {"nothing reached it", 240, 240, -135, -60, 0.25f, 0, 0,
         {"Nothing reached this pixel: no polygon drawn covers it, so it keeps the cleared colour (1, 1, 1, 1), "
          "white, and depth 1."}},
        {"one fragment", 120, 120, -150, 45, 0.25f, 68, 59,
         {"One fragment reached this pixel, from polygon 2098, and it passed the depth test: its depth 0.95474356 "
          "is nearer than the cleared 1.",
          "Its colour is texel 20,195, bytes 20 195 7, the texel under its eye-space normal's x, y (-0.83651876, "
          "0.52451736)."}},
        {"failures in a row, then a tie", 120, 120, -180, -120, 0.25f, 22, 93,
         {"Polygon 201 won this pixel: of the 4 fragments tested, its depth 0.93415874 is the nearest.",
          "Polygons 246 and 247 failed the depth test, 0.0044729114 and 0.0044729114 behind the stored depth "
          "0.93415874; polygon 248 tied: its depth 0.93415874 equals the stored depth, and the test passes only "
          "a nearer fragment, so the one drawn first keeps the pixel.",
          "Its colour is texel 56,217, bytes 56 217 7, the texel under its eye-space normal's x, y (-0.5624197, "
          "0.6978957)."}},
        {"drawn over twice, then a tie", 240, 240, -75, -30, 6.0f, 156, 105,
         {"Polygon 373 won this pixel: of the 4 fragments tested, its depth 0.86969995 is the nearest.",
          "Polygon 276 passed at depth 0.8779432 but was drawn over by polygon 325, 0.0019701123 nearer; polygon "
          "325 passed at depth 0.8759731 but was drawn over by polygon 373, 0.0062731504 nearer; polygon 374 "
          "tied: its depth 0.86969995 equals the stored depth, and the test passes only a nearer fragment, so "
          "the one drawn first keeps the pixel.",
          "Its colour is texel 32,212, bytes 32 212 7, the texel under its eye-space normal's x, y (-0.74378675, "
          "0.6631756)."}},
        {"a tie, and a row held at the last texel", 480, 480, -135, -60, 0.25f, 240, 264,
         {"Polygon 283 won this pixel: of the 4 fragments tested, its depth 0.9366497 is the nearest.",
          "Polygon 284 tied: its depth 0.9366497 equals the stored depth, and the test passes only a nearer "
          "fragment, so the one drawn first keeps the pixel; polygons 1458 and 1476 failed the depth test, "
          "0.030786574 and 0.018339872 behind the stored depth 0.9366497.",
          "Its eye-space normal x, y (-1.3089491e-06, 1) has y 1, at or past the map's top edge, so the row is "
          "held at the last one, 255: texel 127,255, bytes 127 255 7."}},
        {"the rim's speckle: a texel outside the circle", 320, 320, -135, -60, 6.0f, 70, 214,
         {"Polygon 713 won this pixel: of the 2 fragments tested, its depth 0.85478055 is the nearest.",
          "Polygon 1214 failed the depth test, 0.07693726 behind the stored depth 0.85478055.",
          "Its eye-space normal x, y (0.61237407, 0.7891481) has length 0.9988777, close to 1 (the surface is "
          "seen almost edge-on), and the nearest texel, 206,229, has its centre outside the sphere map's "
          "circle, where the ball meets the map's background (dark in the generated map): bytes 206 229 7."}},
        {"nothing passed: beyond the far end", 60, 60, -135, -60, -40.0f, 30, 26,
         {"No fragment passed the depth test, so the pixel keeps the cleared colour (1, 1, 1, 1), white, and "
          "depth 1, the far end of the depth range.",
          "Polygons 171 and 204 failed the depth test, 0.004432678 and 0.0035630465 behind the stored depth 1."}},
    };
    Scene scene;
    scene.currentTexture = &texture;
    buildTorus(scene, torusRings, torusSides);
    for (const auto& c : cases) {
        setInteractionView(c.angleZ, c.angleX, 0.0f, 0.0f, c.zoom);
        setupCamera(scene, c.w, c.h);
        EXPECT_EQ(pixelReason(historyOf(scene, c.w, c.h, c.x, c.y)), c.reason) << c.shows;
    }
}

// What the torus never shows, on hand-made squares over pixel 8,8 of a 16x16 frame with
// identity transforms (window x = 8 (x + 1), likewise y; depth z).
void square(Scene& scene, float z)
{
    scene.beginPolygon();
    for (const auto& [x, y] : {std::pair{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}})
        scene.addVertex(Vec4{x, y, z, 1});
}

TEST(PixelReason, WhatOnlyAHandMadeSceneShows)
{
    const struct {
        const char* shows;
        std::function<void(Scene&)> build;
        Lines reason;
        bool notANumber = false; // a failed fragment of depth NaN put in after the first
    } cases[] = {
        {"a mesh without a texture, drawn over a textured one",
         [](Scene& s) {
             s.currentTexture = &texture;
             s.beginMesh();
             square(s, 0.5f);
             s.currentTexture = nullptr;
             s.beginMesh();
             square(s, 0.25f);
         },
         {"Polygon 0 of mesh 1 won this pixel: of the 2 fragments tested, its depth 0.25 is the nearest.",
          "Polygon 0 passed at depth 0.5 but was drawn over by polygon 0 of mesh 1, 0.25 nearer.",
          "Its mesh has no texture, so the lookup gives (1, 0, 1, 1), magenta, the colour that marks a missing "
          "texture."}},
        {"a normal of zero length",
         [](Scene& s) {
             s.currentTexture = &texture;
             s.beginMesh();
             s.currentNormal[2] = 0.0f;
             square(s, 0.5f);
         },
         {"One fragment reached this pixel, from polygon 0, and it passed the depth test: its depth 0.5 is "
          "nearer than the cleared 1.",
          "Its interpolated normal (0, 0, 0) cannot be made unit length, so its eye-space normal x, y (nan, nan) "
          "are not numbers, and the lookup falls back on texel 0,0, bytes 0 0 7."}},
        {"both indices held at the first texel (the model-view doubles x and y)",
         [](Scene& s) {
             s.modelView.current.m[0] = s.modelView.current.m[5] = 2.0;
             s.currentTexture = &texture;
             s.beginMesh();
             s.setNormal(-0.6f, -0.8f, 0.0f);
             square(s, 0.5f);
         },
         {"One fragment reached this pixel, from polygon 0, and it passed the depth test: its depth 0.5 is "
          "nearer than the cleared 1.",
          "Its eye-space normal x, y (-1.2, -1.6) has x -1.2, past the map's left edge, so the column is held "
          "at the first one, 0, and y -1.6, past the map's bottom edge, so the row is held at the first one, 0: "
          "texel 0,0, bytes 0 0 7."}},
        {"a column held at the last texel; a depth that is not a number",
         [](Scene& s) {
             s.modelView.current.m[0] = 2.0;
             s.currentTexture = &texture;
             s.beginMesh();
             s.setNormal(0.6f, 0.0f, 0.8f);
             square(s, 0.5f);
         },
         {"Polygon 0 won this pixel: of the 2 fragments tested, its depth 0.5 is the nearest.",
          "Polygon 1 failed: its depth nan is not a number, and no comparison with it holds.",
          "Its eye-space normal x, y (1.2, 0) has x 1.2, at or past the map's right edge, so the column is held "
          "at the last one, 255: texel 255,128, bytes 255 128 7."},
         true},
    };
    for (const auto& c : cases) {
        Scene scene;
        c.build(scene);
        PixelHistory history = historyOf(scene, 16, 16, 8, 8);
        if (c.notANumber) {
            // No projected corner gives one: a NaN coordinate makes x NaN as well.
            HistoryFragment f = history.fragments.at(0);
            f.polygon = 1, f.depth = std::nanf(""), f.stored = 0.5f, f.passed = false;
            history.fragments.push_back(f);
        }
        EXPECT_EQ(pixelReason(history), c.reason) << c.shows;
    }
}

} // namespace
