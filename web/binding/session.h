#pragma once

// The page's view of the program: one session (web/binding/page_session.h, over the
// program's own scene, interaction state and buffers) that the page asks to draw a view
// and to explain it. Everything here calls the program's and the inspection's functions;
// nothing is computed a second time.
//
// A call that can be refused says so one way: one that does something returns "" or the
// message naming what was wrong; one that gives something gives it, or in its place
// {error: message} (for JSON text, that object's JSON). Nothing changes on a refusal.
//
// In JavaScript (`const m = await createSphaerix()`; web/binding/module.cpp binds it):
//   m.useGeneratedTexture() -> string                     "" or a message
//   m.loadRawTexture(bytes: Uint8Array) -> string         "" or a message naming the size
//   m.importImageTexture(samples: Float64Array, width: number, height: number) -> string
//       RGB samples 0..1, top row first, alpha already composited over black
//   m.textureBytes() -> Uint8Array                        196,608 bytes, bottom row first
//   m.setRules(names: string) -> string                  "" or a message naming the bad name; the
//                                                          rules (--rules' words: "gl", "none",
//                                                          "centres,snap", ...) every later draw,
//                                                          history and trace follows
//   m.rules() -> string                                   the rules chosen, as --rules writes them
//   m.draw(width, height, angleZ, angleX, panX, panY, zoom, view: string,
//          polygonLimit: number) -> string                "" or a message; nothing changes
//                                                          on a message
//   m.drawWatching(width, height, angleZ, angleX, panX, panY, zoom, view: string,
//          polygon: number) -> string                   the polygons up to `polygon`, which is
//                                                          drawn on the picture as --trace-polygon -o
//                                                          draws it
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
//   m.reason(x, y) -> string[]                            1 to 3 sentences: why the pixel has its
//                                                          colour (the history's "reason")
//   m.traceJson(n) -> string, m.traceText(n) -> string
//   m.polygonCount() -> number
//   m.spanEndsAround(x, y, w, h) -> string                JSON [[x, y, "visible"|"hidden"], ...]
//   m.compareImage(rgb: Uint8Array, width, height) -> string
//       JSON {"error"} or {"width", "height", "count", "total", "largest", "first": [x, y] | null,
//             "mask": [width, height], "line"}; colours of the last drawn frame (not the debug
//       view's picture)
//   m.compareImageNamed(rgb, width, height, name: string) -> string   the line names `name`
//   m.maskPixels() -> Uint8Array                          the last comparison's error mask, RGB,
//       with maskRingGap pixels of ground round it for the rings at its edges
//   m.differencePicture(rgb: Uint8Array, width, height) -> {width, height, rgb: Uint8Array, line} | {error}
//       the colour picture last drawn against another rendering of it, as --compare shows them
//   m.decodePicture(name, bytes: Uint8Array) -> {format: 'png'} (the page reads it: js/png.js)
//       | {format: 'ppm', width, height, channels: 3, max, samples: Uint16Array} | {format, error}
//       a file given to compare or as a texture, as the tools read it; format null for neither
//   m.keepOpenGLFrame(rgb: Uint8Array, covered: Uint8Array, width, height) -> string   "" or a
//       message: the page's OpenGL frame of the drawn view (RGB top row first; coverage, 1
//       where the torus drew, bottom row first) that the calls below compare with
//   m.ruleComparison() -> string                         JSON {"rules", "pixels", "caption",
//       "coverage_differs", "differ", "within_1", "within_2", "largest", "line"} | {"error"}:
//       the drawn frame, under its rules, as a row of --ladder's table
//   m.ladder(against: string) -> string                  JSON: --ladder --json's, each step with
//       its "line", and "text", the table as --ladder prints it, against `against`
//   m.ladderPicture(step) -> {width, height, rgb} | {error}   a step's difference picture
//   m.ladderSlide() -> {width, height, rgb} | {error}    the pictures side by side, as DIR/ladder.png
//   m.explain(x, y) -> string                            JSON: --explain X,Y --json's, and "text",
//       as --explain prints it
//   m.conformanceCases() -> string                       JSON list of the built-in cases: name,
//       width, height, angle_z, angle_x, pan_x, pan_y, zoom, texture, snapshot (--list --json's)
//   m.conformanceTexture(bytes: Uint8Array | null) -> string   "" or a message: the texture every
//       case is drawn on, as sphaerix-conformance --texture reads it; null for the generated
//       sphere map (the tool's sphere.raw), whatever texture the page shows
//   m.conformanceCompare(index, rgb: Uint8Array | null, width, height, colorName: string,
//          colorError: string, depth: Uint8Array | null, depthName: string) -> string
//       JSON {"outcome", "line" (as sphaerix-conformance prints it), "first": [x, y] | null,
//             "history", "mask": [width, height] (the mask's, ground round it as maskPixels')}:
//       the case drawn on the run's texture under the rules of the last drawn frame (as
//       sphaerix-conformance --rules draws it) and judged; a colorError (the file could not
//       be decoded) makes the case unreadable
//   m.conformanceEnd()                                    after the last case: the page's own
//       texture and view again, drawn into the buffers the cases used
//   m.conformanceMask() -> Uint8Array                    the last judged case's error mask, RGB
//   m.conformanceSummary(equal, differs, missing, unreadable) -> string   the run's last line,
//       naming the rules as --rules' run does
//   m.slidePicture(scale, grid: bool) -> {width, height, rgb: Uint8Array} | {error}
//       the last drawn view as `--view V --scale N [--grid] -o` writes it, keys included
//   m.enlargedPicture(rgb: Uint8Array, width, height, scale, grid) -> the same shape
//       any picture of the page (the OpenGL rendering, the difference) enlarged the same way
//   m.maskPicture(scale, grid) -> the same shape         the last comparison's error mask, as
//                                                          --mask writes it with --scale/--grid
//   m.sceneBytes() -> Uint8Array                          the torus as built (for the tests)
//   m.canvasBytes(colors: Float32Array) -> Uint8Array     r, g, b, a floats as the canvas's bytes
//                                                          (for the tests)
//   m.largestFramePixels() -> number                      what this module can hold
//   m.limits() -> string                                  JSON: the side and scale limits, the
//                                                          views' names and the start-up view
//   m.rasterTimes(count) -> string                        JSON list of milliseconds: the last
//                                                          view's plain frame drawn count times
// Coordinates are window coordinates (row 0 at the bottom); the Uint8Arrays returned are
// views into the module's memory, valid until the next call: copy them to keep them.
// Pan is in the interaction state's pixels and zoom in wheel events, as the snapshot's
// --pan and --zoom take them; numbers are rounded to float as the program stores them.

#include <string>
#include <vector>

#include "app/start_view.h"
#include "inspect/debug_views.h"
#include "inspect/rgb_image.h"
#include "inspect/slide.h"
#include "raster/raster_rules.h"

// In C++ likewise: a call that can be refused returns the message, "" when it did what
// was asked; what it makes goes to its last parameter, untouched on a refusal.

// The texture choice: each rebuilds the scene with the new texture, as the program builds
// it from sphere.raw. A refused texture leaves the scene as it was.
std::string useGeneratedTexture();
std::string loadRawTexture(const std::vector<unsigned char>& bytes);
std::string importImageTexture(const std::vector<double>& samples, int width, int height);
const std::vector<unsigned char>& currentTextureBytes();
// Where the texture is written for the program's own reader (the module's file system).
void setTextureScratchPath(const std::string& path);

struct ViewRequest {
    int width = startView.width, height = startView.height;
    float angleZ = startView.angleZ, angleX = startView.angleX;
    float panX = startView.panX, panY = startView.panY;
    float zoom = startView.zoom;
    DebugView view = DebugView::color;
    int polygonLimit = -1; // -1 for every polygon
    int tracePolygon = -1; // drawn on the picture as --trace-polygon N -o draws it; -1 for none
    RasterRules rules;     // the program's own by default
};

// The rules later views are drawn under: "" and chosen, or a message (the rules stay).
std::string setRules(const std::string& names);
RasterRules chosenRules();

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
std::vector<unsigned char> lastDepthBytes();

// Pictures to save, as the snapshot's --scale N and --grid make them (a scale outside
// 1..64, a picture over 16384 a side and nothing drawn are refused).
std::string drawnSlide(int scale, bool grid, RgbImage& slide);
std::string enlargedPicture(const RgbImage& picture, int scale, bool grid, RgbImage& slide);
std::string maskSlide(int scale, bool grid, RgbImage& slide);

// The histories and traces of the last drawn view, drawn again with the observer (the last
// pixel's history and the last polygon's trace are kept until the frame changes).
std::string pixelHistoryJson(int x, int y, std::string& json);
std::string pixelHistoryText(int x, int y, std::string& text);
// The reason of that history: one to three sentences.
std::string pixelReasonLines(int x, int y, std::vector<std::string>& lines);
std::string polygonTraceJson(int n, std::string& json);
std::string polygonTraceText(int n, std::string& text);
int scenePolygonCount();
std::string spanEndsAround(int x, int y, int w, int h);

// Compares `rgb` (top row first) with the colours of the last drawn frame: `json` as
// m.compareImage gives it.
std::string compareWithLastFrame(const std::vector<unsigned char>& rgb, int width, int height,
                                 const std::string& name, std::string& json);
const RgbImage& lastMask();
// The picture of another rendering of the last drawn view (the OpenGL one) against the
// software picture, as --compare makes it: `picture` amplified, `line` its line.
std::string differenceWithLastPicture(const RgbImage& other, RgbImage& picture, std::string& line);

// The software frame under rules against the page's OpenGL frame
// (web/binding/rules_comparison.cpp); `covered` is 1 where the torus drew, bottom row first.
std::string keepOpenGLFrame(const RgbImage& image, const std::vector<unsigned char>& covered);
std::string ruleComparisonJson(std::string& json);
std::string pageLadderJson(const std::string& against, std::string& json);
std::string ladderStepPicture(int step, RgbImage& picture);
std::string ladderSlidePicture(RgbImage& picture);
std::string explainJson(int x, int y, std::string& json);

// The page's conformance run (web/binding/conformance_session.cpp). `rgb` and `depth`
// are null for a case whose file the tester did not give.
std::string conformanceCasesJson();
// "" or the message of the program's reader; null for the generated sphere map.
std::string conformanceTexture(const std::vector<unsigned char>* bytes);
std::string conformanceCompare(int index, const std::vector<unsigned char>* rgb, int width, int height,
    const std::string& colorName, const std::string& colorError, const std::vector<unsigned char>* depth,
    const std::string& depthName, std::string& json);
void conformanceEnd();
// The page's own scene back if a run left its case's there (the run waits for files
// between cases, and the page may draw meanwhile); whether it did.
bool pageSceneBack();
const RgbImage& conformanceMask();
std::string conformanceSummary(long long equal, long long differs, long long missing, long long unreadable);

// The built torus: per vertex its position (x, y, z, w), normal and u, v as little-endian floats,
// polygon by polygon in drawing order.
std::vector<unsigned char> sceneBytes();

// The most pixels a frame may have here: a frame needs its buffers, its picture and the
// view's records at once.
double largestFramePixels();

// What the page takes from here rather than restating it, as JSON: {"largestSide",
// "largestSlideScale", "views": [names], "rules": [{"name", "summary"}] in ladder order, "start": {"width", "height", "az", "ax", "panX",
// "panY", "zoom"}}.
std::string limitsJson();

// The plain software frame of the last drawn view, `count` times, each timed: the
// frame as the page draws it.
std::string rasterTimesJson(int count);
