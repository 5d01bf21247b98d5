#include "inspect/comparison.h"
#include "inspect/exact_number.h"
#include "inspect/slide.h"
#include "raster/frame_buffers.h"
#include "web/binding/session.h"

// The page's "compare": another rasterizer's picture against the colours of the frame
// last drawn, as the snapshot's --against compares them.

namespace {

RgbImage mask;
// The last comparison, kept to draw its mask again at another scale.
RgbImage compared;
FrameDifference difference;

std::string errorJson(const std::string& message)
{
    return Json{{"error", message}}.dump();
}

} // namespace

std::string compareWithLastFrame(const std::vector<unsigned char>& rgb, int width, int height,
                                 const std::string& name)
{
    if (bufferWidth < 1 || bufferHeight < 1)
        return errorJson("no frame has been drawn to compare with");
    if (width < 1 || height < 1 || rgb.size() != std::size_t(width) * std::size_t(height) * 3)
        return errorJson("\"" + name + "\" has " + std::to_string(rgb.size()) + " bytes, not 3 per pixel of " +
                         std::to_string(width) + "x" + std::to_string(height));
    if (width != bufferWidth || height != bufferHeight)
        return errorJson("\"" + name + "\" is " + std::to_string(width) + "x" + std::to_string(height) +
                         "; the frame is " + std::to_string(bufferWidth) + "x" + std::to_string(bufferHeight));
    const RgbImage ours = imageFromColors(ColorBuffer.data(), width, height);
    const RgbImage theirs{width, height, rgb};
    const FrameDifference d = compareColors(ours, theirs);
    mask = errorMask(ours, &d, nullptr, wholePicture(width, height));
    compared = ours;
    difference = d;
    Json first = nullptr;
    if (d.first >= 0)
        first = Json::array({d.first % width, d.first / width});
    return Json{{"width", width},
                {"height", height},
                {"count", d.count},
                {"total", static_cast<long long>(width) * height},
                {"largest", d.largest},
                {"first", first},
                {"line", describeColorDifference(name, d, ours, theirs)}}
        .dump();
}

const RgbImage& lastMask()
{
    return mask;
}

std::string maskSlide(int scale, bool grid, RgbImage& slide)
{
    if (compared.width < 1)
        return "nothing has been compared";
    SlideWindow window;
    std::string error;
    if (!pageSlideWindow(scale, grid, compared.width, compared.height, window, error))
        return error;
    slide = errorMask(compared, &difference, nullptr, window);
    return "";
}
