#include <chrono>
#include <cmath>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "app/camera.h"
#include "inspect/frame_records.h"
#include "inspect/frame_watch.h"
#include "inspect/pixel_reason.h"
#include "inspect/slide.h"
#include "raster/frame_buffers.h"
#include "raster/frame_limits.h"
#include "raster/rules_frame.h"
#include "scene/scene.h"
#include "web/binding/page_session.h"

#ifdef __EMSCRIPTEN__
#include <emscripten/heap.h>
#endif

namespace {


// The colour view's canvas bytes, a band of rows at a time as the frame resolves them.
// Where rgba holds the last frame of this size, only the columns this frame wrote or
// cleared are made again: every other pixel of the colour buffer is white, and was.
struct CanvasRows : FinishedRows {
    int width, height;
    bool onlyChanged;
    std::vector<unsigned char>& rgba;
    // What the last frames wrote or left to clear, as the next sizeBuffers takes it over.
    std::vector<int> dueFrom, dueTo;
    CanvasRows(int w, int h, bool changedOnly, std::vector<unsigned char>& bytes)
        : width(w), height(h), onlyChanged(changedOnly), rgba(bytes)
    {
        if (!onlyChanged)
            return;
        for (int y = 0; y < height; ++y) {
            dueFrom.push_back(std::min(clearFrom[y], writtenFrom[y]));
            dueTo.push_back(std::max(clearTo[y], writtenTo[y]));
        }
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

// Per pixel at most, what a frame holds at once: its colour and depth buffers, the
// largest view's records (the winners), the picture and one more RGB copy of it.
constexpr double pieceBytes[] = {sizeof(Color4), sizeof(float), sizeof(Winners::Winner), 3.0, 3.0};
constexpr double bytesPerPixel = [] {
    double sum = 0.0;
    for (double piece : pieceBytes)
        sum += piece;
    return sum;
}();

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
    pageSceneBack();
}

std::string nothingDrawn()
{
    return "no frame has been drawn";
}

// The drawn view's picture through `window`, as -o writes it; `line` gets the view's line.
// The camera is set before the watch is made: the texels view's records take the
// model-view as they find it.
RgbImage drawnPicture(const SlideWindow& window, std::string& line)
{
    PageSession& s = session();
    aimCamera(*s.drawn);
    // The watched polygon is drawn as --trace-polygon N -o draws it, and its trace kept.
    FrameWatch watch(s.drawn->view, nullptr, s.drawn->tracePolygon, s.drawn->width, s.drawn->height, theScene,
                     s.drawn->rules);
    drawFrame(*s.drawn, watch.observer());
    if (watch.trace)
        s.trace = watch.trace->trace;
    return slideImage(s.drawn->view, watch, theScene, s.drawn->width, s.drawn->height, window, line);
}

// The kept history of pixel x, y of the drawn view, made if it is not kept.
std::string keepHistory(int x, int y)
{
    PageSession& s = session();
    if (!s.drawn)
        return nothingDrawn();
    const ViewRequest& v = *s.drawn;
    if (x < 0 || y < 0 || x >= v.width || y >= v.height)
        return "pixel " + std::to_string(x) + "," + std::to_string(y) + " lies outside the " +
               std::to_string(v.width) + "x" + std::to_string(v.height) + " frame";
    if (s.history && s.history->x == x && s.history->y == y)
        return "";
    // Only the pixel's row is drawn again: the fragments of a pixel come only from the
    // polygons over its row, in the same order and with the same values, and the row
    // comes out as the drawn frame left it.
    if (bufferWidth != v.width || bufferHeight != v.height)
        drawFrame(v);
    PixelHistoryObserver observer(x, y, v.width, v.height, v.rules);
    drawFrame(v, &observer, nullptr, y);
    completeHistory(observer.history, theScene);
    s.history = observer.history;
    return "";
}

// The kept trace of polygon n of the drawn view, made if it is not kept.
std::string keepTrace(int n)
{
    PageSession& s = session();
    if (!s.drawn)
        return nothingDrawn();
    const int count = scenePolygonCount();
    if (n < 0 || n >= count)
        return "polygon " + std::to_string(n) + ": the frame has " + std::to_string(count) + " polygons";
    if (s.trace && s.trace->target == n)
        return "";
    FrameWatch watch(DebugView::color, nullptr, n, s.drawn->width, s.drawn->height, theScene, s.drawn->rules);
    drawFrame(*s.drawn, watch.observer());
    s.trace = watch.trace->trace;
    return "";
}

// The window of a whole picture at that scale, with the scale's range checked.
std::string slideWindowFor(int scale, bool grid, int width, int height, SlideWindow& window)
{
    if (scale < 1 || scale > largestSlideScale)
        return "bad value \"" + std::to_string(scale) + "\" for scale: N from 1 to " +
               std::to_string(largestSlideScale);
    SlideLayout layout;
    layout.scale = scale;
    layout.grid = grid;
    std::string error;
    slideWindow(layout, width, height, window, error);
    return error;
}

} // namespace

PageSession& session()
{
    static PageSession one;
    return one;
}

void aimCamera(const ViewRequest& view)
{
    setInteractionView(view.angleZ, view.angleX, view.panX, view.panY, view.zoom);
    setupCamera(theScene, view.width, view.height);
}

void drawFrame(const ViewRequest& view, FillObserver* observer, FinishedRows* finished, int row)
{
    // A row is drawn over the page's own frame, which a conformance case may have replaced.
    if (pageSceneBack() && row >= 0)
        drawFrame(view);
    aimCamera(view);
    PolygonLimit limit(theScene, view.polygonLimit);
    if (row >= 0) {
        rasterizeRow(theScene, view.width, view.height, row, observer, view.rules);
        return;
    }
    sizeBuffers(view.width, view.height);
    rasterizeScene(theScene, view.width, view.height, view.rules, observer, finished);
}

std::string parseViewName(const std::string& name, DebugView& view)
{
    if (debugViewFromName(name, view))
        return "";
    std::string names;
    for (std::size_t i = 0; i < std::size(debugViewNames); ++i)
        names += std::string(i == 0 ? "" : i + 1 < std::size(debugViewNames) ? ", " : " or ") + debugViewNames[i];
    return "unknown view \"" + name + "\": " + names;
}

std::string limitsJson()
{
    const StartView& s = startView;
    Json views = Json::array();
    for (const char* name : debugViewNames)
        views.push_back(name);
    Json rules = Json::array();
    for (int r = 0; r < ruleCount; ++r)
        rules.push_back({{"name", ruleName(static_cast<Rule>(r))}, {"summary", ruleSummary(static_cast<Rule>(r))}});
    return Json{{"largestSide", largestSide},
                {"largestSlideScale", largestSlideScale},
                {"views", views},
                {"rules", rules},
                {"start", {{"width", s.width}, {"height", s.height}, {"az", s.angleZ}, {"ax", s.angleX},
                           {"panX", s.panX}, {"panY", s.panY}, {"zoom", s.zoom}}}}
        .dump();
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
    RasterRules rules;
    std::string error;
    if (!parseRules(names, rules, error))
        return error;
    session().rules = rules;
    return "";
}

RasterRules chosenRules()
{
    return session().rules;
}

std::string drawView(const ViewRequest& r)
{
    PageSession& s = session();
    if (r.width < 1 || r.height < 1 || r.width > largestSide || r.height > largestSide)
        return "size " + std::to_string(r.width) + "x" + std::to_string(r.height) + ": each side must be 1.." +
               std::to_string(largestSide);
    if (!s.drawn || r.width != s.drawn->width || r.height != s.drawn->height) {
        // The last frame's memory goes first, as it would for the new one.
        s.picture = RgbImage();
        std::vector<unsigned char>().swap(s.rgba);
        s.pictureMade = s.rgbaMade = false;
        s.forgetFrame();
        sizeBuffers(1, 1);
        if (!roomFor(double(r.width) * r.height)) {
            if (s.drawn) // the kept view again, as it was: it fitted before
                drawView(*s.drawn);
            return "a " + std::to_string(r.width) + "x" + std::to_string(r.height) +
                   " frame needs more memory than this page can have (at most about " +
                   std::to_string(static_cast<long long>(largestFramePixels())) + " pixels a frame)";
        }
    }
    ensureScene();
    const bool sameFrameSize = s.rgbaHoldsFrame && bufferWidth == r.width && bufferHeight == r.height &&
                               s.rgba.size() == pixelCount(r.width, r.height) * 4;
    s.forgetFrame();
    s.drawn = r;
    s.viewLine.clear();
    viewSize(r.view, theScene, r.width, r.height, s.pictureWidth, s.pictureHeight);
    if (r.view == DebugView::color && r.tracePolygon < 0) {
        // The colour view's picture is the frame itself: its RGBA is written in the pass
        // that resolves the colours.
        s.picture = RgbImage();
        s.rgba.resize(pixelCount(r.width, r.height) * 4);
        CanvasRows rows(r.width, r.height, sameFrameSize, s.rgba);
        drawFrame(r, nullptr, &rows);
        s.pictureMade = false;
        s.rgbaMade = s.rgbaHoldsFrame = true;
        return "";
    }
    // As -o writes the view: the keys of the depth and overdraw views below the frame.
    s.picture = drawnPicture(wholePicture(s.pictureWidth, s.pictureHeight), s.viewLine);
    s.pictureWidth = s.picture.width;
    s.pictureHeight = s.picture.height;
    s.pictureMade = true;
    s.rgbaMade = false;
    return "";
}

std::string drawnSlide(int scale, bool grid, RgbImage& slide)
{
    PageSession& s = session();
    if (!s.drawn)
        return nothingDrawn();
    int width = 0, height = 0;
    viewSize(s.drawn->view, theScene, s.drawn->width, s.drawn->height, width, height);
    SlideWindow window;
    if (std::string problem = slideWindowFor(scale, grid, width, height, window); !problem.empty())
        return problem;
    std::string unused;
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
    if (std::string problem = slideWindowFor(scale, grid, picture.width, picture.height, window); !problem.empty())
        return problem;
    slide = slidePicture(picture, window);
    return "";
}

std::string maskSlide(int scale, bool grid, RgbImage& slide)
{
    const PageSession& s = session();
    if (s.compared.width < 1)
        return "nothing has been compared";
    SlideWindow window;
    if (std::string problem = slideWindowFor(scale, grid, s.compared.width, s.compared.height, window);
        !problem.empty())
        return problem;
    slide = errorMask(s.compared, &s.difference, nullptr, window);
    return "";
}

const RgbImage& lastPicture()
{
    PageSession& s = session();
    if (!s.pictureMade) {
        s.picture = RgbImage{s.pictureWidth, s.pictureHeight, rgbFromRgba(s.rgba)};
        s.pictureMade = true;
    }
    return s.picture;
}

int lastPictureWidth()
{
    return session().pictureWidth;
}

int lastPictureHeight()
{
    return session().pictureHeight;
}

const std::vector<unsigned char>& lastPictureRgba()
{
    PageSession& s = session();
    if (!s.rgbaMade) {
        s.rgba = rgbaFromRgb(s.picture.rgb);
        s.rgbaMade = true;
    }
    return s.rgba;
}

const std::string& lastViewLine()
{
    return session().viewLine;
}

std::vector<unsigned char> lastDepthBytes()
{
    const PageSession& s = session();
    if (!s.drawn)
        return {};
    const std::size_t count = pixelCount(s.drawn->width, s.drawn->height);
    return depthFileBytes(depthForFile(DepthBuffer.data(), count, s.drawn->rules).data(), count);
}

std::string pixelHistoryJson(int x, int y, std::string& json)
{
    std::string problem = keepHistory(x, y);
    if (problem.empty())
        json = jsonLines(historyJson(*session().history));
    return problem;
}

std::string pixelHistoryText(int x, int y, std::string& text)
{
    std::string problem = keepHistory(x, y);
    if (problem.empty())
        text = describeHistory(*session().history);
    return problem;
}

std::string pixelReasonLines(int x, int y, std::vector<std::string>& lines)
{
    std::string problem = keepHistory(x, y);
    if (problem.empty())
        lines = pixelReason(*session().history);
    return problem;
}

std::string polygonTraceJson(int n, std::string& json)
{
    std::string problem = keepTrace(n);
    if (problem.empty())
        json = jsonLines(traceJson(*session().trace));
    return problem;
}

std::string polygonTraceText(int n, std::string& text)
{
    std::string problem = keepTrace(n);
    if (problem.empty())
        text = describeTrace(*session().trace);
    return problem;
}

int scenePolygonCount()
{
    ensureScene();
    long long count = 0;
    for (const Mesh& mesh : theScene.meshes)
        count += static_cast<long long>(mesh.polygons.size());
    const std::optional<ViewRequest>& drawn = session().drawn;
    if (drawn && drawn->polygonLimit >= 0)
        count = std::min<long long>(count, drawn->polygonLimit);
    return static_cast<int>(count);
}

std::string spanEndsAround(int x, int y, int w, int h)
{
    const std::optional<ViewRequest>& drawn = session().drawn;
    if (!drawn)
        return "[]";
    SpanEnds ends(drawn->width, drawn->height);
    drawFrame(*drawn, &ends);
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
    const std::optional<ViewRequest>& drawn = session().drawn;
    if (!drawn)
        return "[]";
    std::string json = "[";
    for (int i = 0; i < count; ++i) {
        const auto start = std::chrono::steady_clock::now();
        drawFrame(*drawn);
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        json += (i ? "," : "") + std::to_string(took.count());
    }
    return json + "]";
}
