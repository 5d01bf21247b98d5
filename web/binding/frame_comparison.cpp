#include "inspect/comparison.h"

#include <nlohmann/json.hpp>
#include "inspect/difference_picture.h"
#include "inspect/exact_number.h"
#include "inspect/slide.h"
#include "raster/frame_buffers.h"
#include "web/binding/page_session.h"

// The page's "compare": another rasterizer's picture against the colours of the frame
// last drawn, as the snapshot's --against compares them.

std::string compareWithLastFrame(const std::vector<unsigned char>& rgb, int width, int height,
                                 const std::string& name, std::string& json)
{
    if (bufferWidth < 1 || bufferHeight < 1)
        return "no frame has been drawn to compare with";
    if (width < 1 || height < 1 || rgb.size() != std::size_t(width) * std::size_t(height) * 3)
        return "\"" + name + "\" has " + std::to_string(rgb.size()) + " bytes, not 3 per pixel of " +
               std::to_string(width) + "x" + std::to_string(height);
    if (width != bufferWidth || height != bufferHeight)
        return "\"" + name + "\" is " + std::to_string(width) + "x" + std::to_string(height) + "; the frame is " +
               std::to_string(bufferWidth) + "x" + std::to_string(bufferHeight);
    const RgbImage ours = imageFromColors(ColorBuffer.data(), width, height);
    const RgbImage theirs{width, height, rgb};
    const FrameDifference d = compareColors(ours, theirs);
    PageSession& s = session();
    // Shown with room for the rings at its edges; kept to draw it again at another scale.
    s.mask = errorMask(ours, &d, nullptr, wholePicture(width, height), maskRingGap);
    s.compared = ours;
    s.difference = d;
    Json first = nullptr;
    if (d.first >= 0)
        first = Json::array({d.first % width, d.first / width});
    json = Json{{"width", width},
                {"height", height},
                {"count", d.count},
                {"total", static_cast<long long>(width) * height},
                {"largest", d.largest},
                {"first", first},
                {"mask", {s.mask.width, s.mask.height}},
                {"line", describeColorDifference(name, d, ours, theirs)}}
               .dump();
    return "";
}

std::string differenceWithLastPicture(const RgbImage& other, RgbImage& picture, std::string& line)
{
    const RgbImage& ours = lastPicture();
    if (other.width != ours.width || other.height != ours.height ||
        other.rgb.size() != std::size_t(ours.width) * std::size_t(ours.height) * 3)
        return "the picture is " + std::to_string(other.width) + "x" + std::to_string(other.height) + " with " +
               std::to_string(other.rgb.size()) + " bytes; the frame is " + std::to_string(ours.width) + "x" +
               std::to_string(ours.height);
    const DifferencePicture d = differencePicture(ours, other);
    picture = d.amplified;
    line = describeDifferencePicture(d);
    return "";
}

const RgbImage& lastMask()
{
    return session().mask;
}
