#include "conformance/case_compare.h"

#include <algorithm>

#include "app/camera.h"
#include "inspect/comparison.h"
#include "inspect/exact_number.h"
#include "inspect/frame_watch.h"
#include "inspect/slide.h"
#include "raster/frame_buffers.h"
#include "raster/rules_frame.h"
#include "raster/software_frame.h"

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

} // namespace

CaseResult unreadableCase(const std::string& message)
{
    CaseResult r;
    r.outcome = Outcome::unreadable;
    r.line = message;
    return r;
}

ReferenceFrame renderReference(const ConformanceCase& c)
{
    setView(c);
    rasterizeScene(theScene, c.width, c.height, c.rules);
    return {imageFromColors(ColorBuffer.data(), c.width, c.height),
        depthForFile(DepthBuffer.data(), pixelCount(c.width, c.height), c.rules)};
}

std::string pixelHistoryText(const ConformanceCase& c, int x, int y)
{
    setView(c);
    const int pixel[2] = {x, y};
    FrameWatch watch(DebugView::color, pixel, -1, c.width, c.height, theScene, c.rules);
    rasterizeScene(theScene, c.width, c.height, c.rules, watch.observer());
    completeHistory(watch.history->history, theScene);
    return describeHistory(watch.history->history);
}

CaseResult compareCaseFrames(const ConformanceCase& c, const ReferenceFrame& ours, const TheirFrame& theirs,
    bool withDetails, int maskMargin)
{
    const bool hasColor = theirs.image != nullptr, hasDepth = theirs.depth != nullptr;
    const RgbImage empty;
    const RgbImage& theirImage = hasColor ? *theirs.image : empty;
    const std::vector<float> none;
    const std::vector<float>& theirDepth = hasDepth ? *theirs.depth : none;
    if (hasColor && (theirImage.width != c.width || theirImage.height != c.height))
        return unreadableCase("\"" + theirs.imageName + "\" is " + std::to_string(theirImage.width) + "x" +
            std::to_string(theirImage.height) + "; the frame is " + std::to_string(c.width) + "x" +
            std::to_string(c.height));
    if (hasDepth && theirDepth.size() != ours.depth.size())
        return unreadableCase(depthSizeProblem(theirs.depthName, theirDepth.size() * 4, ours.depth.size()));

    CaseResult r;
    std::vector<std::string> parts;
    FrameDifference colors, depths;
    if (!hasColor) {
        parts.push_back("no " + c.name + ".png or " + c.name + ".ppm");
    } else {
        colors = compareColors(ours.image, theirImage);
        if (withDetails)
            r.colorDetail = describeColorDifference(theirs.imageName, colors, ours.image, theirImage);
        parts.push_back(colors.count == 0 ? "colour equal"
                                          : "colour: " + countText(colors, "pixels") + ": ours " +
                    rgbText(ours.image, colors.first) + ", theirs " + rgbText(theirImage, colors.first));
    }
    if (!hasDepth) {
        parts.push_back("no " + c.name + ".depth");
    } else {
        depths = compareDepths(ours.depth, theirDepth, c.width, c.height);
        if (withDetails)
            r.depthDetail = describeDepthDifference(theirs.depthName, depths, ours.depth, theirDepth);
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
    r.outcome = !hasColor || !hasDepth ? Outcome::missing
        : differs                                      ? Outcome::differs
                                                       : Outcome::equal;
    r.colorCount = colors.count, r.depthCount = depths.count;
    if (differs) {
        r.firstPixel = colors.count > 0 ? colors.first : depths.first;
        if (depths.count > 0 && (r.firstPixel < 0 || depths.first < r.firstPixel))
            r.firstPixel = depths.first;
        const long long x = r.firstPixel % c.width, row = c.height - 1 - r.firstPixel / c.width;
        r.first.color = hasColor, r.first.depth = hasDepth;
        for (int k = 0; k < 3 && r.first.color; ++k) {
            r.first.ourRgb[k] = ours.image.rgb[std::size_t((row * c.width + x) * 3 + k)];
            r.first.theirRgb[k] = theirImage.rgb[std::size_t((row * c.width + x) * 3 + k)];
        }
        if (r.first.depth)
            r.first.ourDepth = ours.depth[std::size_t(r.firstPixel)],
            r.first.theirDepth = theirDepth[std::size_t(r.firstPixel)];
        r.mask = errorMask(ours.image, colors.count > 0 ? &colors : nullptr, depths.count > 0 ? &depths : nullptr,
                           wholePicture(ours.image.width, ours.image.height), maskMargin);
    }
    return r;
}

const char* outcomeName(Outcome outcome)
{
    static const char* const names[] = {"equal", "differs", "missing", "unreadable", "command failed"};
    return names[int(outcome)];
}

std::string caseResultLine(const ConformanceCase& c, const CaseResult& r)
{
    static const char* const words[] = {"equal   ", "DIFFERS ", "MISSING ", "ERROR   ", "ERROR   "};
    const bool equal = r.outcome == Outcome::equal;
    return words[int(r.outcome)] + (" " + caseTitle(c)) + (equal ? "" : ": " + r.line);
}

std::string summaryLine(const long long (&counts)[5], bool commandRun)
{
    const long long failed = counts[1] + counts[2] + counts[3] + counts[4];
    return std::to_string(counts[0]) + " passed, " + std::to_string(failed) + " failed (" +
        std::to_string(counts[1]) + " differ, " + std::to_string(counts[2]) + " missing, " +
        std::to_string(counts[3]) + " unreadable" +
        (commandRun ? ", " + std::to_string(counts[4]) + " command failed)" : ")");
}
