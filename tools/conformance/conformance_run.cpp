#include "tools/conformance/conformance_run.h"

#include <algorithm>
#include <filesystem>

#include "app/camera.h"
#include "inspect/comparison.h"
#include "inspect/exact_number.h"
#include "inspect/frame_watch.h"
#include "inspect/slide.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "tools/snapshot/against.h"

namespace {

void setView(const ConformanceCase& c)
{
    setInteractionView(c.angleZ, c.angleX, c.panX, c.panY, c.zoom);
    setupCamera(theScene, c.width, c.height);
    prepareBuffers(c.width, c.height);
}

std::string firstText(const FrameDifference& d)
{
    const long long x = d.first % d.width, y = d.first / d.width;
    return "first at " + std::to_string(x) + "," + std::to_string(y) + " (row " +
        std::to_string(d.height - 1 - y) + " from the top)";
}

std::string rgbText(const RgbImage& image, long long pixel)
{
    const long long x = pixel % image.width, row = image.height - 1 - pixel / image.width;
    const unsigned char* p = image.rgb.data() + (row * image.width + x) * 3;
    return std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]);
}

std::string countText(const FrameDifference& d, const char* what)
{
    return std::to_string(d.count) + " of " + std::to_string(static_cast<long long>(d.width) * d.height) +
        " " + what + " differ, " + firstText(d);
}

std::string existing(const std::filesystem::path& path)
{
    std::error_code ignored;
    return std::filesystem::exists(path, ignored) ? path.string() : "";
}

CaseResult unreadable(const std::string& message)
{
    CaseResult r;
    r.outcome = Outcome::unreadable;
    r.line = message;
    return r;
}

} // namespace

ReferenceFrame renderReference(const ConformanceCase& c)
{
    setView(c);
    rasterizeScene(theScene, c.width, c.height);
    const std::size_t count = pixelCount(c.width, c.height);
    return {imageFromColors(ColorBuffer.data(), c.width, c.height),
        std::vector<float>(DepthBuffer.begin(), DepthBuffer.begin() + long(count))};
}

std::string pixelHistoryText(const ConformanceCase& c, int x, int y)
{
    setView(c);
    const int pixel[2] = {x, y};
    FrameWatch watch(DebugView::color, pixel, -1, c.width, c.height, theScene);
    rasterizeScene(theScene, c.width, c.height, watch.observer());
    completeHistory(watch.history->history, theScene);
    return describeHistory(watch.history->history);
}

CaseResult compareCase(const ConformanceCase& c, const ReferenceFrame& ours, const std::string& dir, bool withDetails)
{
    const std::filesystem::path base = std::filesystem::path(dir) / c.name;
    std::string colorPath = existing(base.string() + ".png");
    if (colorPath.empty())
        colorPath = existing(base.string() + ".ppm");
    const std::string depthPath = existing(base.string() + ".depth");

    std::string error;
    RgbImage theirImage;
    std::vector<float> theirDepth;
    if (!colorPath.empty()) {
        if (!readImageFile(colorPath, theirImage, error))
            return unreadable(error);
        if (theirImage.width != c.width || theirImage.height != c.height)
            return unreadable("\"" + colorPath + "\" is " + std::to_string(theirImage.width) + "x" +
                std::to_string(theirImage.height) + "; the frame is " + std::to_string(c.width) + "x" +
                std::to_string(c.height));
    }
    if (!depthPath.empty() && !readDepthValues(depthPath, ours.depth.size(), theirDepth, error))
        return unreadable(error);

    CaseResult r;
    std::vector<std::string> parts;
    FrameDifference colors, depths;
    if (colorPath.empty()) {
        parts.push_back("no " + c.name + ".png or " + c.name + ".ppm");
    } else {
        colors = compareColors(ours.image, theirImage);
        if (withDetails)
            r.colorDetail = describeColorDifference(colorPath, colors, ours.image, theirImage);
        parts.push_back(colors.count == 0 ? "colour equal"
                                          : "colour: " + countText(colors, "pixels") + ": ours " +
                    rgbText(ours.image, colors.first) + ", theirs " + rgbText(theirImage, colors.first));
    }
    if (depthPath.empty()) {
        parts.push_back("no " + c.name + ".depth");
    } else {
        depths = compareDepths(ours.depth, theirDepth, c.width, c.height);
        if (withDetails)
            r.depthDetail = describeDepthDifference(depthPath, depths, ours.depth, theirDepth);
        parts.push_back(depths.count == 0 ? "depth equal"
                                          : "depth: " + countText(depths, "values") + ": ours " +
                    exactText(ours.depth[std::size_t(depths.first)]) + ", theirs " +
                    exactText(theirDepth[std::size_t(depths.first)]));
    }
    // A missing file first: it is what to mend first.
    std::stable_partition(
        parts.begin(), parts.end(), [](const std::string& part) { return part.starts_with("no "); });
    for (const std::string& part : parts)
        r.line += (r.line.empty() ? "" : "; ") + part;

    const bool differs = colors.count > 0 || depths.count > 0;
    r.outcome = colorPath.empty() || depthPath.empty() ? Outcome::missing
        : differs                                      ? Outcome::differs
                                                       : Outcome::equal;
    r.colorCount = colors.count, r.depthCount = depths.count;
    if (differs) {
        r.firstPixel = colors.count > 0 ? colors.first : depths.first;
        if (depths.count > 0 && (r.firstPixel < 0 || depths.first < r.firstPixel))
            r.firstPixel = depths.first;
        const long long x = r.firstPixel % c.width, row = c.height - 1 - r.firstPixel / c.width;
        r.first.color = !colorPath.empty(), r.first.depth = !depthPath.empty();
        for (int k = 0; k < 3 && r.first.color; ++k) {
            r.first.ourRgb[k] = ours.image.rgb[std::size_t((row * c.width + x) * 3 + k)];
            r.first.theirRgb[k] = theirImage.rgb[std::size_t((row * c.width + x) * 3 + k)];
        }
        if (r.first.depth)
            r.first.ourDepth = ours.depth[std::size_t(r.firstPixel)],
            r.first.theirDepth = theirDepth[std::size_t(r.firstPixel)];
        r.mask = errorMask(ours.image, colors.count > 0 ? &colors : nullptr, depths.count > 0 ? &depths : nullptr,
                           wholePicture(ours.image.width, ours.image.height));
    }
    return r;
}
