// The JavaScript names of the session's functions (web/binding/session.h lists them with
// their types). Bytes cross as typed arrays: copied in, handed out as views into the
// module's memory.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include "inspect/rgb_image.h"
#include "web/binding/session.h"

using emscripten::val;

namespace {

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

std::string draw(int width, int height, double angleZ, double angleX, double panX, double panY, double zoom,
                 const std::string& viewName, int polygonLimit)
{
    ViewRequest r;
    if (std::string message = parseViewName(viewName, r.view); !message.empty())
        return message;
    r.width = width;
    r.height = height;
    r.angleZ = static_cast<float>(angleZ);
    r.angleX = static_cast<float>(angleX);
    r.panX = static_cast<float>(panX);
    r.panY = static_cast<float>(panY);
    r.zoom = static_cast<float>(zoom);
    r.polygonLimit = polygonLimit;
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
    return bytesView(lastDepthBytes());
}

std::string viewLine()
{
    return lastViewLine();
}

std::string compareNamed(const val& rgb, int width, int height, const std::string& name)
{
    return compareWithLastFrame(arrayFrom<unsigned char>(rgb), width, height, name);
}

std::string compare(const val& rgb, int width, int height)
{
    return compareNamed(rgb, width, height, "the image");
}

val maskPixels()
{
    return bytesView(lastMask().rgb);
}

// Colours (r, g, b, a floats) through the canvas's conversion, as one row: the
// WebAssembly lanes' rounding against the program's, for the tests.
val canvasBytes(const val& floats)
{
    static std::vector<unsigned char> bytes;
    const std::vector<float> values = arrayFrom<float>(floats);
    const int count = static_cast<int>(values.size() / 4);
    std::vector<Color4> colors(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        colors[i] = Color4{values[4 * i], values[4 * i + 1], values[4 * i + 2], values[4 * i + 3]};
    bytes.assign(static_cast<std::size_t>(count) * 4, 0);
    rgbaFromColors(colors.data(), count, 1, 0, 1, bytes.data());
    return bytesView(bytes);
}

val sceneView()
{
    static std::vector<unsigned char> bytes;
    bytes = sceneBytes();
    return bytesView(bytes);
}

} // namespace

EMSCRIPTEN_BINDINGS(sphaerix)
{
    using emscripten::function;
    function("useGeneratedTexture", &useGeneratedTexture);
    function("loadRawTexture", &loadRaw);
    function("importImageTexture", &importImage);
    function("textureBytes", &textureView);
    function("draw", &draw);
    function("pixels", &pixels);
    function("rgbaPixels", &rgbaPixels);
    function("imageWidth", &imageWidth);
    function("imageHeight", &imageHeight);
    function("depthBytes", &depthBytes);
    function("viewLine", &viewLine);
    function("historyJson", &pixelHistoryJson);
    function("historyText", &pixelHistoryText);
    function("traceJson", &polygonTraceJson);
    function("traceText", &polygonTraceText);
    function("polygonCount", &scenePolygonCount);
    function("spanEndsAround", &spanEndsAround);
    function("compareImage", &compare);
    function("compareImageNamed", &compareNamed);
    function("maskPixels", &maskPixels);
    function("sceneBytes", &sceneView);
    function("canvasBytes", &canvasBytes);
    function("largestFramePixels", &largestFramePixels);
    function("rasterTimes", &rasterTimesJson);
}
