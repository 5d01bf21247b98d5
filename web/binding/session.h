#pragma once

// The page's view of the program: one process-wide session (the program's own scene,
// interaction state and buffers) that the page asks to draw a view and to explain it.
// Everything here calls the program's and the inspection's functions; nothing is
// computed a second time.
//
// In JavaScript (`const m = await createSphaerix()`; web/binding/module.cpp binds it):
//   m.useGeneratedTexture() -> string                     "" or a message
//   m.loadRawTexture(bytes: Uint8Array) -> string         "" or a message naming the size
//   m.importImageTexture(samples: Float64Array, width: number, height: number) -> string
//       RGB samples 0..1, top row first, alpha already composited over black
//   m.textureBytes() -> Uint8Array                        196,608 bytes, bottom row first
//   m.draw(width, height, angleZ, angleX, panX, panY, zoom, view: string,
//          polygonLimit: number) -> string                "" or a message; nothing changes
//                                                          on a message
//   m.pixels() -> Uint8Array                              the last picture, RGB, top row first
//                                                          (made when asked: the page needs only
//                                                          the RGBA to show it)
//   m.imageWidth() -> number, m.imageHeight() -> number   its size (texels: 512x512)
//   m.rgbaPixels() -> Uint8Array                          the same picture as RGBA (alpha 255),
//       ready for new ImageData(new Uint8ClampedArray(a.buffer, a.byteOffset, a.length), w, h)
//   m.depthBytes() -> Uint8Array                          the last frame's depth as the snapshot's
//                                                          --depth file: floats, bottom row first
//   m.viewLine() -> string                                the overdraw/texels line, else ""
//   m.historyJson(x, y) -> string, m.historyText(x, y) -> string
//   m.traceJson(n) -> string, m.traceText(n) -> string    "error: ..." for a missing polygon
//   m.polygonCount() -> number
//   m.spanEndsAround(x, y, w, h) -> string                JSON [[x, y, "visible"|"hidden"], ...]
//   m.compareImage(rgb: Uint8Array, width, height) -> string
//       JSON {"error"} or {"width", "height", "count", "total", "largest", "first": [x, y] | null,
//             "line"}; colours of the last drawn frame (not the debug view's picture)
//   m.compareImageNamed(rgb, width, height, name: string) -> string   the line names `name`
//   m.maskPixels() -> Uint8Array                          the last comparison's error mask, RGB
//   m.sceneBytes() -> Uint8Array                          the torus as built (for the tests)
//   m.canvasBytes(colors: Float32Array) -> Uint8Array     r, g, b, a floats as the canvas's bytes
//                                                          (for the tests)
//   m.largestFramePixels() -> number                      what this module can hold
//   m.rasterTimes(count) -> string                        JSON list of milliseconds: the last
//                                                          view's plain frame drawn count times
// Coordinates are window coordinates (row 0 at the bottom); the Uint8Arrays returned are
// views into the module's memory, valid until the next call: copy them to keep them.
// Pan is in the interaction state's pixels and zoom in wheel events, as the snapshot's
// --pan and --zoom take them; numbers are rounded to float as the program stores them.

#include <string>
#include <vector>

#include "inspect/debug_views.h"

// The texture choice: each rebuilds the scene with the new texture, as the program builds
// it from sphere.raw. A refused texture leaves the scene as it was.
std::string useGeneratedTexture();
std::string loadRawTexture(const std::vector<unsigned char>& bytes);
std::string importImageTexture(const std::vector<double>& samples, int width, int height);
const std::vector<unsigned char>& currentTextureBytes();

// Where the texture is written for the program's own reader (the module's file system).
void setTextureScratchPath(const std::string& path);

struct ViewRequest {
    int width = 480, height = 480;
    float angleZ = -135.0f, angleX = -60.0f;
    float panX = 0.0f, panY = 0.0f;
    float zoom = 0.25f;
    DebugView view = DebugView::color;
    int polygonLimit = -1; // -1 for every polygon
};

// "" and the view's name, or a message naming the unknown view.
std::string parseViewName(const std::string& name, DebugView& view);

std::string drawView(const ViewRequest& request);
// The last picture (made when first asked for after a colour view) and its size.
const RgbImage& lastPicture();
int lastPictureWidth();
int lastPictureHeight();
// The last picture with an opaque alpha after each pixel, for a canvas.
const std::vector<unsigned char>& lastPictureRgba();
const std::string& lastViewLine();
// The depth buffer of the last frame, as depthFileBytes writes it.
const std::vector<unsigned char>& lastDepthBytes();

// The histories and traces of the last drawn view, drawn again with the observer.
std::string pixelHistoryJson(int x, int y);
std::string pixelHistoryText(int x, int y);
std::string polygonTraceJson(int n);
std::string polygonTraceText(int n);
int scenePolygonCount();
std::string spanEndsAround(int x, int y, int w, int h);

// Compares `rgb` (top row first) with the colours of the last drawn frame.
std::string compareWithLastFrame(const std::vector<unsigned char>& rgb, int width, int height,
                                 const std::string& name);
const RgbImage& lastMask();

// The built torus: per vertex its position (x, y, z, w), normal and u, v as little-endian floats,
// polygon by polygon in drawing order.
std::vector<unsigned char> sceneBytes();

// The most pixels a frame may have here: a frame needs its buffers, its picture and the
// view's records at once.
double largestFramePixels();

// The plain software frame of the last drawn view, `count` times, each timed: the
// raster core as the benchmarks measure it, buffers already sized.
std::string rasterTimesJson(int count);
