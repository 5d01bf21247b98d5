#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "app/camera.h"
#include "inspect/frame_watch.h"
#include "inspect/pixel_reason.h"
#include "inspect/rgb_image.h"
#include "inspect/slide.h"
#include "raster/frame_buffers.h"
#include "raster/rules_frame.h"
#include "raster/software_frame.h"
#include "scene/scene.h"
#include "web/binding/session.h"

#ifdef __EMSCRIPTEN__
#include <emscripten/heap.h>
#endif

// The last drawn view is kept as its request: a history, a trace or the span ends draw
// that frame again with their observer, which gives the same buffers bit for bit.

namespace {

constexpr int largestSide = 16384;

std::optional<ViewRequest> drawn;
RasterRules rulesChosen;
// The last polygon traced in the drawn view: the page asks for its text and its JSON in
// turn, and each would otherwise draw the frame again.
std::optional<PolygonTrace> keptTrace;
// Likewise the last pixel's history: the page asks for its JSON and its reason in turn.
std::optional<PixelHistory> keptHistory;
// The last picture, its RGB and its RGBA: the colour view's RGBA is written as the frame
// is drawn and its RGB made only when asked for; the other views make their RGB and the
// RGBA follows when asked for.
RgbImage picture;
std::vector<unsigned char> rgba;
bool pictureMade = false, rgbaMade = false;
// Whether rgba holds the colour buffer as the last frame left it, every pixel.
bool rgbaHoldsFrame = false;
int pictureWidth = 0, pictureHeight = 0;
std::string line;

// The colour view's canvas bytes, a band of rows at a time as the frame resolves them.
// Where rgba holds the last frame of this size, only the columns this frame wrote or
// cleared are made again: every other pixel of the colour buffer is white, and was.
struct CanvasRows : FinishedRows {
    int width, height;
    bool onlyChanged;
    std::vector<int> dueFrom, dueTo; // what the last frames wrote, before this one clears it
    CanvasRows(int w, int h, bool changedOnly)
        : width(w), height(h), onlyChanged(changedOnly), dueFrom(clearFrom), dueTo(clearTo)
    {
    }
    void rows(int first, int end) override
    {
        if (!onlyChanged) {
            rgbaFromColors(ColorBuffer.data(), width, height, first, end, rgba.data());
            return;
        }
        for (int y = first; y < end; ++y) {
            const int from = std::min(writtenFrom[y], dueFrom[y]), to = std::max(writtenTo[y], dueTo[y]);
            if (from < to)
                rgbaFromColors(ColorBuffer.data() + from, width, height, y, y + 1, rgba.data() + 4 * from, to - from);
        }
    }
};

// The first N polygons in drawing order, for as long as this lives: the tail of the
// meshes is moved aside and put back.
struct PolygonLimit {
    Scene& scene;
    std::vector<std::vector<Polygon>> aside;

    PolygonLimit(Scene& s, int limit) : scene(s), aside(s.meshes.size())
    {
        if (limit < 0)
            return;
        for (std::size_t m = 0; m < scene.meshes.size(); ++m) {
            std::vector<Polygon>& polygons = scene.meshes[m].polygons;
            const std::size_t keep = std::min<std::size_t>(polygons.size(), std::size_t(limit));
            aside[m].assign(std::make_move_iterator(polygons.begin() + long(keep)),
                            std::make_move_iterator(polygons.end()));
            polygons.resize(keep);
            limit -= int(keep);
        }
    }
    ~PolygonLimit()
    {
        for (std::size_t m = 0; m < scene.meshes.size(); ++m)
            for (Polygon& polygon : aside[m])
                scene.meshes[m].polygons.push_back(std::move(polygon));
    }
    PolygonLimit(const PolygonLimit&) = delete;
    PolygonLimit& operator=(const PolygonLimit&) = delete;
};

// Per pixel at most: colour and depth buffers (16 + 4), the largest view's records (the
// winners, 20), the picture and one more RGB copy (3 + 3).
constexpr double pieceBytes[] = {16.0, 4.0, 20.0, 3.0, 3.0};
constexpr double bytesPerPixel = 46.0;

// Whether a frame of this many pixels can be had now, asked of the allocator piece by
// piece as the frame will take them: without the module's exceptions, an allocation that
// failed would end the module instead of giving a message.
bool roomFor(double pixels)
{
    if (pixels > largestFramePixels())
        return false;
    std::vector<void*> pieces;
    bool room = true;
    for (double bytes : pieceBytes) {
        pieces.push_back(std::malloc(static_cast<std::size_t>(pixels * bytes)));
        room = room && pieces.back();
    }
    for (void* piece : pieces)
        std::free(piece);
    return room;
}

void ensureScene()
{
    if (theScene.meshes.empty())
        useGeneratedTexture();
}

// The program's camera for the request, from its interaction state.
void setCamera(const ViewRequest& r)
{
    setInteractionView(r.angleZ, r.angleX, r.panX, r.panY, r.zoom);
    setupCamera(theScene, r.width, r.height);
}

// Draws the kept view again for `observer` (null: the plain frame, as the program draws
// it: the rows due are cleared band by band with the fill, not all first).
void redraw(FillObserver* observer, FinishedRows* finished = nullptr)
{
    setCamera(*drawn);
    PolygonLimit limit(theScene, drawn->polygonLimit);
    sizeBuffers(drawn->width, drawn->height);
    rasterizeScene(theScene, drawn->width, drawn->height, drawn->rules, observer, finished);
}

std::string pixelOutside(int x, int y)
{
    return "error: pixel " + std::to_string(x) + "," + std::to_string(y) + " lies outside the " +
           std::to_string(drawn->width) + "x" + std::to_string(drawn->height) + " frame";
}

std::optional<PixelHistory> history(int x, int y, std::string& error)
{
    if (!drawn) {
        error = "error: no frame has been drawn";
        return std::nullopt;
    }
    if (x < 0 || y < 0 || x >= drawn->width || y >= drawn->height) {
        error = pixelOutside(x, y);
        return std::nullopt;
    }
    if (keptHistory && keptHistory->x == x && keptHistory->y == y)
        return keptHistory;
    // Only the pixel's row is drawn again: the fragments of a pixel come only from the
    // polygons over its row, in the same order and with the same values, and the row
    // comes out as the drawn frame left it.
    if (bufferWidth != drawn->width || bufferHeight != drawn->height)
        redraw(nullptr);
    PixelHistoryObserver observer(x, y, drawn->width, drawn->height, drawn->rules);
    setCamera(*drawn);
    PolygonLimit limit(theScene, drawn->polygonLimit);
    rasterizeRow(theScene, drawn->width, drawn->height, y, &observer, drawn->rules);
    completeHistory(observer.history, theScene);
    return keptHistory = observer.history;
}

// The drawn view's picture through `window`, as -o writes it; `line` gets the view's line.
// The camera is set before the watch is made: the texels view's records take the
// model-view as they find it.
RgbImage drawnPicture(const SlideWindow& window, std::string& line)
{
    setCamera(*drawn);
    // The watched polygon is drawn as --trace-polygon N -o draws it, and its trace kept.
    FrameWatch watch(drawn->view, nullptr, drawn->tracePolygon, drawn->width, drawn->height, theScene);
    redraw(watch.observer());
    if (watch.trace)
        keptTrace = watch.trace->trace;
    return slideImage(drawn->view, watch, theScene, drawn->width, drawn->height, window, line);
}

std::optional<PolygonTrace> trace(int n, std::string& error)
{
    if (!drawn) {
        error = "error: no frame has been drawn";
        return std::nullopt;
    }
    const int count = scenePolygonCount();
    if (n < 0 || n >= count) {
        error = "error: polygon " + std::to_string(n) + ": the frame has " + std::to_string(count) + " polygons";
        return std::nullopt;
    }
    if (keptTrace && keptTrace->target == n)
        return keptTrace;
    FrameWatch watch(DebugView::color, nullptr, n, drawn->width, drawn->height, theScene);
    redraw(watch.observer());
    return keptTrace = watch.trace->trace;
}

} // namespace

void forgetKeptHistory()
{
    keptHistory.reset();
}

void redrawKeptView()
{
    keptTrace.reset();
    keptHistory.reset();
    // The canvas's bytes no longer follow the buffers' written columns: made again whole.
    rgbaHoldsFrame = false;
    if (drawn)
        drawView(*drawn);
}

std::string parseViewName(const std::string& name, DebugView& view)
{
    if (debugViewFromName(name, view))
        return "";
    return "unknown view \"" + name + "\": color, depth, normals, overdraw, polygons, edges or texels";
}

double largestFramePixels()
{
#ifdef __EMSCRIPTEN__
    // Less what the module itself and the page's copies of one picture take.
    return std::floor((double(emscripten_get_heap_max()) - 64.0 * 1024 * 1024) / bytesPerPixel);
#else
    return double(largestSide) * largestSide;
#endif
}

std::string setRules(const std::string& names)
{
    std::string error;
    RasterRules rules;
    if (!parseRules(names, rules, error))
        return error;
    rulesChosen = rules;
    return "";
}

RasterRules chosenRules()
{
    return rulesChosen;
}

std::string drawView(const ViewRequest& r)
{
    if (r.width < 1 || r.height < 1 || r.width > largestSide || r.height > largestSide)
        return "size " + std::to_string(r.width) + "x" + std::to_string(r.height) + ": each side must be 1.." +
               std::to_string(largestSide);
    const double pixels = double(r.width) * r.height;
    if (!drawn || r.width != drawn->width || r.height != drawn->height) {
        // The last frame's memory goes first, as it would for the new one.
        picture = RgbImage();
        std::vector<unsigned char>().swap(rgba);
        pictureMade = rgbaMade = rgbaHoldsFrame = false;
        sizeBuffers(1, 1);
        if (!roomFor(pixels)) {
            if (drawn) // the kept view again, as it was: it fitted before
                drawView(*drawn);
            return "a " + std::to_string(r.width) + "x" + std::to_string(r.height) +
                   " frame needs more memory than this page can have (at most about " +
                   std::to_string(static_cast<long long>(largestFramePixels())) + " pixels a frame)";
        }
    }
    ensureScene();
    drawn = r;
    keptTrace.reset();
    keptHistory.reset();
    line.clear();
    viewSize(r.view, theScene, r.width, r.height, pictureWidth, pictureHeight);
    if (r.view == DebugView::color && r.tracePolygon < 0) {
        // The colour view's picture is the frame itself: its RGBA is written in the pass
        // that resolves the colours.
        picture = RgbImage();
        const bool sameSize = rgbaHoldsFrame && bufferWidth == r.width && bufferHeight == r.height &&
                              rgba.size() == pixelCount(r.width, r.height) * 4;
        rgba.resize(pixelCount(r.width, r.height) * 4);
        setCamera(r);
        PolygonLimit limit(theScene, r.polygonLimit);
        sizeBuffers(r.width, r.height);
        CanvasRows rows(r.width, r.height, sameSize);
        rasterizeScene(theScene, r.width, r.height, r.rules, nullptr, &rows);
        pictureMade = false;
        rgbaMade = rgbaHoldsFrame = true;
        return "";
    }
    rgbaHoldsFrame = false;
    // As -o writes the view: the keys of the depth and overdraw views below the frame.
    picture = drawnPicture(wholePicture(pictureWidth, pictureHeight), line);
    pictureWidth = picture.width;
    pictureHeight = picture.height;
    pictureMade = true;
    rgbaMade = false;
    return "";
}

std::string drawnSlide(int scale, bool grid, RgbImage& slide)
{
    if (!drawn)
        return "no frame has been drawn";
    int pictureWidth = 0, pictureHeight = 0;
    viewSize(drawn->view, theScene, drawn->width, drawn->height, pictureWidth, pictureHeight);
    SlideWindow window;
    std::string error, unused;
    if (!pageSlideWindow(scale, grid, pictureWidth, pictureHeight, window, error))
        return error;
    slide = drawnPicture(window, unused);
    return "";
}

std::string enlargedPicture(const RgbImage& picture, int scale, bool grid, RgbImage& slide)
{
    if (picture.width < 1 || picture.height < 1 ||
        picture.rgb.size() != std::size_t(picture.width) * std::size_t(picture.height) * 3)
        return "the picture has " + std::to_string(picture.rgb.size()) + " bytes, not 3 per pixel of " +
               std::to_string(picture.width) + "x" + std::to_string(picture.height);
    SlideWindow window;
    std::string error;
    if (!pageSlideWindow(scale, grid, picture.width, picture.height, window, error))
        return error;
    slide = slidePicture(picture, window);
    return "";
}

bool pageSlideWindow(int scale, bool grid, int width, int height, SlideWindow& window, std::string& error)
{
    if (scale < 1 || scale > 64) {
        error = "bad value \"" + std::to_string(scale) + "\" for scale: N from 1 to 64";
        return false;
    }
    SlideLayout layout;
    layout.scale = scale;
    layout.grid = grid;
    return slideWindow(layout, width, height, window, error);
}

const RgbImage& lastPicture()
{
    if (!pictureMade) {
        picture = RgbImage{pictureWidth, pictureHeight, rgbFromRgba(rgba)};
        pictureMade = true;
    }
    return picture;
}

int lastPictureWidth()
{
    return pictureWidth;
}

int lastPictureHeight()
{
    return pictureHeight;
}

const std::vector<unsigned char>& lastPictureRgba()
{
    if (!rgbaMade) {
        rgba = rgbaFromRgb(picture.rgb);
        rgbaMade = true;
    }
    return rgba;
}

const std::string& lastViewLine()
{
    return line;
}

const std::vector<unsigned char>& lastDepthBytes()
{
    static std::vector<unsigned char> bytes;
    bytes = drawn ? depthFileBytes(depthForFile(DepthBuffer.data(), pixelCount(drawn->width, drawn->height),
                                                drawn->rules).data(),
                                   pixelCount(drawn->width, drawn->height))
                  : std::vector<unsigned char>();
    return bytes;
}

std::string pixelHistoryJson(int x, int y)
{
    std::string error;
    const std::optional<PixelHistory> h = history(x, y, error);
    return h ? jsonLines(historyJson(*h)) : error;
}

std::string pixelHistoryText(int x, int y)
{
    std::string error;
    const std::optional<PixelHistory> h = history(x, y, error);
    return h ? describeHistory(*h) : error;
}

std::vector<std::string> pixelReasonLines(int x, int y)
{
    std::string error;
    const std::optional<PixelHistory> h = history(x, y, error);
    return h ? pixelReason(*h) : std::vector<std::string>{error};
}

std::string polygonTraceJson(int n)
{
    std::string error;
    const std::optional<PolygonTrace> t = trace(n, error);
    return t ? jsonLines(traceJson(*t)) : error;
}

std::string polygonTraceText(int n)
{
    std::string error;
    const std::optional<PolygonTrace> t = trace(n, error);
    return t ? describeTrace(*t) : error;
}

int scenePolygonCount()
{
    ensureScene();
    long long count = 0;
    for (const Mesh& mesh : theScene.meshes)
        count += static_cast<long long>(mesh.polygons.size());
    if (drawn && drawn->polygonLimit >= 0)
        count = std::min<long long>(count, drawn->polygonLimit);
    return static_cast<int>(count);
}

std::string spanEndsAround(int x, int y, int w, int h)
{
    if (!drawn)
        return "[]";
    SpanEnds ends(drawn->width, drawn->height);
    redraw(&ends);
    std::string json = "[";
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + std::max(w, 0), drawn->width), y1 = std::min(y + std::max(h, 0), drawn->height);
    for (int row = y0; row < y1; ++row)
        for (int column = x0; column < x1; ++column) {
            const SpanEnds::Mark mark = ends.marks[std::size_t(row) * drawn->width + column];
            if (mark == SpanEnds::none)
                continue;
            if (json.size() > 1)
                json += ",";
            json += "[" + std::to_string(column) + "," + std::to_string(row) + ",\"" +
                    (mark == SpanEnds::visible ? "visible" : "hidden") + "\"]";
        }
    return json + "]";
}

std::string rasterTimesJson(int count)
{
    if (!drawn)
        return "[]";
    setCamera(*drawn);
    PolygonLimit limit(theScene, drawn->polygonLimit);
    std::string json = "[";
    for (int i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        renderSoftwareFrame(theScene, drawn->width, drawn->height, drawn->rules);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        json += (i ? "," : "") + std::to_string(took.count());
    }
    return json + "]";
}
