// The JavaScript names of the session's functions (web/binding/session.h lists them with
// their types). Bytes cross as typed arrays: copied in, handed out as views into the
// module's memory.
#include <climits>

#include <emscripten/bind.h>
#include <emscripten/val.h>
#include <nlohmann/json.hpp>

#include "inspect/comparison.h"
#include "inspect/picture_bytes.h"
#include "inspect/rgb_image.h"
#include "web/binding/page_session.h"

using emscripten::val;

namespace {

// A refusal in place of a JSON result: {"error": message}.
std::string jsonOr(const std::string& problem, const std::string& json)
{
    return problem.empty() ? json : Json{{"error", problem}}.dump();
}

val errorObject(const std::string& problem)
{
    val result = val::object();
    result.set("error", problem);
    return result;
}

// Bytes handed to JavaScript as a view, kept by the session until the next such call.
val handOut(std::vector<unsigned char> bytes)
{
    std::vector<unsigned char>& kept = session().handedOut;
    kept = std::move(bytes);
    return val(emscripten::typed_memory_view(kept.size(), kept.data()));
}

template <typename T>
std::vector<T> arrayFrom(const val& array)
{
    return emscripten::convertJSArrayToNumberVector<T>(array);
}

val bytesView(const std::vector<unsigned char>& bytes)
{
    return val(emscripten::typed_memory_view(bytes.size(), bytes.data()));
}

std::string loadRaw(const val& bytes)
{
    return loadRawTexture(arrayFrom<unsigned char>(bytes));
}

std::string importImage(const val& samples, int width, int height)
{
    return importImageTexture(arrayFrom<double>(samples), width, height);
}

val textureView()
{
    return bytesView(currentTextureBytes());
}

std::string request(int width, int height, double angleZ, double angleX, double panX, double panY, double zoom,
                    const std::string& viewName, ViewRequest& r)
{
    r.width = width;
    r.height = height;
    r.angleZ = static_cast<float>(angleZ);
    r.angleX = static_cast<float>(angleX);
    r.panX = static_cast<float>(panX);
    r.panY = static_cast<float>(panY);
    r.zoom = static_cast<float>(zoom);
    r.rules = chosenRules();
    return parseViewName(viewName, r.view);
}

std::string rulesText()
{
    return formatRules(chosenRules());
}

std::string draw(int width, int height, double angleZ, double angleX, double panX, double panY, double zoom,
                 const std::string& viewName, int polygonLimit)
{
    ViewRequest r;
    if (std::string message = request(width, height, angleZ, angleX, panX, panY, zoom, viewName, r); !message.empty())
        return message;
    r.polygonLimit = polygonLimit;
    return drawView(r);
}

// The polygons up to `polygon`, that one drawn on the picture as its trace.
std::string drawWatching(int width, int height, double angleZ, double angleX, double panX, double panY,
                         double zoom, const std::string& viewName, int polygon)
{
    ViewRequest r;
    if (std::string message = request(width, height, angleZ, angleX, panX, panY, zoom, viewName, r); !message.empty())
        return message;
    if (polygon < 0 || polygon == INT_MAX)
        return "polygon " + std::to_string(polygon) + " is no polygon of the frame";
    r.polygonLimit = polygon + 1;
    r.tracePolygon = polygon;
    return drawView(r);
}

val pixels()
{
    return bytesView(lastPicture().rgb);
}

val rgbaPixels()
{
    return bytesView(lastPictureRgba());
}

int imageWidth()
{
    return lastPictureWidth();
}

int imageHeight()
{
    return lastPictureHeight();
}

val depthBytes()
{
    return handOut(lastDepthBytes());
}

std::string viewLine()
{
    return lastViewLine();
}

std::string compareNamed(const val& rgb, int width, int height, const std::string& name)
{
    std::string json;
    const std::string problem = compareWithLastFrame(arrayFrom<unsigned char>(rgb), width, height, name, json);
    return jsonOr(problem, json);
}

std::string compare(const val& rgb, int width, int height)
{
    return compareNamed(rgb, width, height, "the image");
}

val difference(const val& rgb, int width, int height)
{
    RgbImage picture;
    std::string line;
    const std::string problem =
        differenceWithLastPicture(RgbImage{width, height, arrayFrom<unsigned char>(rgb)}, picture, line);
    if (!problem.empty())
        return errorObject(problem);
    val result = val::object();
    result.set("width", picture.width);
    result.set("height", picture.height);
    result.set("rgb", val::global("Uint8Array").new_(bytesView(picture.rgb)));
    result.set("line", line);
    return result;
}

// A file given to the page, as the tools read it: a PPM here, a PNG by the page (the
// browser inflates it; the module carries no zlib).
val decodePicture(const std::string& name, const val& bytes)
{
    const std::vector<unsigned char> data = arrayFrom<unsigned char>(bytes);
    const PictureFormat format = pictureFormat(data);
    val result = val::object();
    result.set("format", format == PictureFormat::png ? val("png") : format == PictureFormat::ppm ? val("ppm")
                                                                                                   : val::null());
    if (format == PictureFormat::png)
        return result;
    if (format == PictureFormat::neither) {
        result.set("error", notAPicture(name, data));
        return result;
    }
    PpmSamples ppm;
    if (const std::string problem = readPpmBytes(data, ppm); !problem.empty()) {
        result.set("error", problem);
        return result;
    }
    result.set("width", ppm.width);
    result.set("height", ppm.height);
    result.set("channels", 3);
    result.set("max", ppm.maxval);
    result.set("samples", val::global("Uint16Array")
                              .new_(val(emscripten::typed_memory_view(ppm.samples.size(), ppm.samples.data()))));
    return result;
}

val maskPixels()
{
    return bytesView(lastMask().rgb);
}

std::string historyJsonAt(int x, int y)
{
    std::string json;
    const std::string problem = pixelHistoryJson(x, y, json);
    return jsonOr(problem, json);
}

val historyText(int x, int y)
{
    std::string text;
    const std::string problem = pixelHistoryText(x, y, text);
    return problem.empty() ? val(text) : errorObject(problem);
}

std::string traceJsonOf(int n)
{
    std::string json;
    const std::string problem = polygonTraceJson(n, json);
    return jsonOr(problem, json);
}

val traceText(int n)
{
    std::string text;
    const std::string problem = polygonTraceText(n, text);
    return problem.empty() ? val(text) : errorObject(problem);
}

val reason(int x, int y)
{
    std::vector<std::string> found;
    if (const std::string problem = pixelReasonLines(x, y, found); !problem.empty())
        return errorObject(problem);
    val lines = val::array();
    for (const std::string& line : found)
        lines.call<void>("push", line);
    return lines;
}

std::string judgeCase(int index, const val& rgb, int width, int height, const std::string& colorName,
    const std::string& colorError, const val& depth, const std::string& depthName)
{
    std::vector<unsigned char> colorBytes, depthBytes;
    if (!rgb.isNull())
        colorBytes = arrayFrom<unsigned char>(rgb);
    if (!depth.isNull())
        depthBytes = arrayFrom<unsigned char>(depth);
    std::string json;
    const std::string problem = conformanceCompare(index, rgb.isNull() ? nullptr : &colorBytes, width, height,
        colorName, colorError, depth.isNull() ? nullptr : &depthBytes, depthName, json);
    return jsonOr(problem, json);
}

std::string caseTexture(const val& bytes)
{
    const std::vector<unsigned char> given = bytes.isNull() ? std::vector<unsigned char>() : arrayFrom<unsigned char>(bytes);
    return conformanceTexture(bytes.isNull() ? nullptr : &given);
}

val caseMask()
{
    return bytesView(conformanceMask().rgb);
}

std::string caseSummary(double equal, double differs, double missing, double unreadable)
{
    return conformanceSummary((long long)equal, (long long)differs, (long long)missing, (long long)unreadable);
}

// {width, height, rgb} with the bytes copied out (a slide is made for one save), or {error}.
val slideResult(const std::string& error, const RgbImage& slide)
{
    if (!error.empty())
        return errorObject(error);
    val result = val::object();
    result.set("width", slide.width);
    result.set("height", slide.height);
    result.set("rgb", val::global("Uint8Array").new_(bytesView(slide.rgb)));
    return result;
}

val slide(int scale, bool grid)
{
    RgbImage picture;
    const std::string error = drawnSlide(scale, grid, picture);
    return slideResult(error, picture);
}

val enlarged(const val& rgb, int width, int height, int scale, bool grid)
{
    RgbImage picture;
    const std::string error = enlargedPicture(RgbImage{width, height, arrayFrom<unsigned char>(rgb)}, scale, grid,
                                              picture);
    return slideResult(error, picture);
}

val maskSlidePicture(int scale, bool grid)
{
    RgbImage picture;
    const std::string error = maskSlide(scale, grid, picture);
    return slideResult(error, picture);
}

// Colours (r, g, b, a floats) through the canvas's conversion, as one row: the
// WebAssembly lanes' rounding against the program's, for the tests.
val canvasBytes(const val& floats)
{
    const std::vector<float> values = arrayFrom<float>(floats);
    const int count = static_cast<int>(values.size() / 4);
    std::vector<Color4> colors(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        colors[i] = Color4{values[4 * i], values[4 * i + 1], values[4 * i + 2], values[4 * i + 3]};
    std::vector<unsigned char> bytes(static_cast<std::size_t>(count) * 4, 0);
    rgbaFromColors(colors.data(), count, 1, 0, 1, bytes.data());
    return handOut(std::move(bytes));
}

std::string keepGLFrame(const val& rgb, const val& covered, int width, int height)
{
    return keepOpenGLFrame(RgbImage{width, height, arrayFrom<unsigned char>(rgb)}, arrayFrom<unsigned char>(covered));
}

std::string ruleComparison()
{
    std::string json;
    const std::string problem = ruleComparisonJson(json);
    return jsonOr(problem, json);
}

std::string ladder(const std::string& against)
{
    std::string json;
    const std::string problem = pageLadderJson(against, json);
    return jsonOr(problem, json);
}

val ladderPicture(int step)
{
    RgbImage picture;
    const std::string error = ladderStepPicture(step, picture);
    return slideResult(error, picture);
}

val ladderSlideOf()
{
    RgbImage picture;
    const std::string error = ladderSlidePicture(picture);
    return slideResult(error, picture);
}

std::string explainAt(int x, int y)
{
    std::string json;
    const std::string problem = explainJson(x, y, json);
    return jsonOr(problem, json);
}

val sceneView()
{
    return handOut(sceneBytes());
}

} // namespace

EMSCRIPTEN_BINDINGS(sphaerix)
{
    using emscripten::function;
    function("useGeneratedTexture", &useGeneratedTexture);
    function("loadRawTexture", &loadRaw);
    function("importImageTexture", &importImage);
    function("textureBytes", &textureView);
    function("setRules", &setRules);
    function("rules", &rulesText);
    function("draw", &draw);
    function("drawWatching", &drawWatching);
    function("pixels", &pixels);
    function("rgbaPixels", &rgbaPixels);
    function("imageWidth", &imageWidth);
    function("imageHeight", &imageHeight);
    function("depthBytes", &depthBytes);
    function("viewLine", &viewLine);
    function("historyJson", &historyJsonAt);
    function("historyText", &historyText);
    function("reason", &reason);
    function("traceJson", &traceJsonOf);
    function("traceText", &traceText);
    function("polygonCount", &scenePolygonCount);
    function("spanEndsAround", &spanEndsAround);
    function("compareImage", &compare);
    function("compareImageNamed", &compareNamed);
    function("maskPixels", &maskPixels);
    function("differencePicture", &difference);
    function("decodePicture", &decodePicture);
    function("keepOpenGLFrame", &keepGLFrame);
    function("ruleComparison", &ruleComparison);
    function("ladder", &ladder);
    function("ladderPicture", &ladderPicture);
    function("ladderSlide", &ladderSlideOf);
    function("explain", &explainAt);
    function("conformanceCases", &conformanceCasesJson);
    function("conformanceTexture", &caseTexture);
    function("conformanceCompare", &judgeCase);
    function("conformanceMask", &caseMask);
    function("conformanceEnd", &conformanceEnd);
    function("conformanceSummary", &caseSummary);
    function("slidePicture", &slide);
    function("enlargedPicture", &enlarged);
    function("maskPicture", &maskSlidePicture);
    function("sceneBytes", &sceneView);
    function("canvasBytes", &canvasBytes);
    function("largestFramePixels", &largestFramePixels);
    function("limits", &limitsJson);
    function("rasterTimes", &rasterTimesJson);
}
