#include "tools/sphaerix-snapshot/software_snapshot.h"

#include <cstdio>
#include <optional>
#include <nlohmann/json.hpp>

#include "app/camera.h"
#include "raster/frame_buffers.h"
#include "raster/render_frame.h"
#include "raster/rules_frame.h"
#include "raster/software_frame.h"
#include "scene/scene.h"
#include "files/depth_file.h"
#include "files/image_file.h"
#include "tools/sphaerix-snapshot/frame_timing.h"
#include "inspect/comparison.h"
#include "inspect/frame_watch.h"

int fail(const std::string& message)
{
    std::fprintf(stderr, "sphaerix-snapshot: %s\n", message.c_str());
    return 1;
}

int usageError(const std::string& message)
{
    std::fprintf(stderr, "sphaerix-snapshot: %s; %s\n", message.c_str(), snapshotUsage());
    return 2;
}

int writeOutputs(const SnapshotOptions& options, const RgbImage& image, const float* depth)
{
    std::string error;
    if (!options.output.empty() && !writeImage(image, options.output, error))
        return fail(error);
    if (!options.depth.empty() && !writeDepthFile(depth, options.width, options.height, options.depth, error))
        return fail(error);
    return 0;
}

std::vector<float> softwareDepth(const SnapshotOptions& options)
{
    return depthForFile(DepthBuffer.data(), pixelCount(options.width, options.height), options.rules);
}

void printTiming(const std::vector<double>& samples)
{
    if (!samples.empty())
        std::printf("%s\n", describeTiming(samples).c_str());
}

namespace {

// Another rasterizer's files, read before anything is drawn or written.
struct TheirFrame {
    RgbImage image;
    std::vector<float> depth;
};

int readTheirFrame(const SnapshotOptions& o, TheirFrame& theirs)
{
    std::string error;
    if (!o.against.empty()) {
        if (!readImageFile(o.against, theirs.image, error))
            return fail(error);
        if (theirs.image.width != o.width || theirs.image.height != o.height)
            return fail("\"" + o.against + "\" is " + std::to_string(theirs.image.width) + "x" +
                        std::to_string(theirs.image.height) + "; the frame is " +
                        std::to_string(o.width) + "x" + std::to_string(o.height));
    }
    if (!o.againstDepth.empty() &&
        !readDepthValues(o.againstDepth, pixelCount(o.width, o.height), theirs.depth, error))
        return fail(error);
    return 0;
}

// One line per comparison (or one JSON object for both), then the mask; 3 when anything
// differs.
int compareWithTheirs(const SnapshotOptions& o, const TheirFrame& theirs, const SlideWindow& maskWindow)
{
    if (o.against.empty() && o.againstDepth.empty())
        return 0;
    const RgbImage colors = imageFromColors(ColorBuffer.data(), o.width, o.height);
    const int listed = o.maxDifferences < 0 ? 0 : o.maxDifferences;
    const int cap = o.maxDifferences < 0 ? 1000 : o.maxDifferences;
    Json json = Json::object();
    std::vector<float> depth;
    if (!o.againstDepth.empty())
        depth = softwareDepth(o);

    std::optional<FrameDifference> colorDifference, depthDifference;
    if (!o.against.empty()) {
        colorDifference = compareColors(colors, theirs.image);
        if (o.json)
            json["against"] = colorDifferenceJson(o.against, *colorDifference, colors, theirs.image, cap);
        else
            std::printf("%s\n%s", describeColorDifference(o.against, *colorDifference, colors, theirs.image).c_str(),
                        listColorDifferences(*colorDifference, colors, theirs.image, listed).c_str());
    }
    if (!o.againstDepth.empty()) {
        depthDifference = compareDepths(depth, theirs.depth, o.width, o.height);
        if (o.json)
            json["against_depth"] = depthDifferenceJson(o.againstDepth, *depthDifference, depth, theirs.depth, cap);
        else
            std::printf("%s\n%s", describeDepthDifference(o.againstDepth, *depthDifference, depth, theirs.depth).c_str(),
                        listDepthDifferences(*depthDifference, depth, theirs.depth, listed).c_str());
    }
    if (o.json)
        std::fputs(jsonLines(json).c_str(), stdout);
    std::string error;
    if (!o.mask.empty() &&
        !writeImage(errorMask(colors, colorDifference ? &*colorDifference : nullptr,
                              depthDifference ? &*depthDifference : nullptr, maskWindow),
                    o.mask, error))
        return fail(error);
    const bool differs = (colorDifference && colorDifference->count) || (depthDifference && depthDifference->count);
    return differs ? 3 : 0;
}

std::size_t polygonCount(const Scene& scene)
{
    std::size_t count = 0;
    for (const Mesh& mesh : scene.meshes)
        count += mesh.polygons.size();
    return count;
}

} // namespace

int softwareSnapshot(const SnapshotOptions& o, const Texture& texture)
{
    TheirFrame theirs;
    if (const int status = readTheirFrame(o, theirs))
        return status;
    buildScene(theScene, texture);
    useOpenGL = false;
    setupCamera(theScene, o.width, o.height);
    if (o.tracePolygon >= 0 && std::size_t(o.tracePolygon) >= polygonCount(theScene))
        return usageError("--trace-polygon " + std::to_string(o.tracePolygon) + ": the frame has " +
                          std::to_string(polygonCount(theScene)) + " polygons");

    // The crop is checked against the pictures it cuts before anything is drawn.
    int pictureWidth = 0, pictureHeight = 0;
    viewSize(o.view, theScene, o.width, o.height, pictureWidth, pictureHeight);
    SlideWindow window, maskWindow;
    std::string error;
    if ((!o.output.empty() && !slideWindow(o.slide, pictureWidth, pictureHeight, window, error)) ||
        (!o.mask.empty() && !slideWindow(o.slide, o.width, o.height, maskWindow, error)))
        return usageError(error);

    const int historyPixel[2] = {o.historyX, o.historyY};
    FrameWatch watch(o.view, o.history ? historyPixel : nullptr, o.tracePolygon, o.width, o.height,
                     theScene, o.rules);
    prepareBuffers(o.width, o.height);
    rasterizeScene(theScene, o.width, o.height, o.rules, watch.observer());

    std::string line;
    RgbImage image;
    if (!o.output.empty())
        image = slideImage(o.view, watch, theScene, o.width, o.height, window, line);
    if (const int status = writeOutputs(o, image, softwareDepth(o).data()))
        return status;
    if (!line.empty())
        std::printf("%s\n", line.c_str());
    if (watch.history) {
        completeHistory(watch.history->history, theScene);
        const PixelHistory& h = watch.history->history;
        std::fputs(o.json ? jsonLines(historyJson(h)).c_str() : describeHistory(h).c_str(), stdout);
    }
    if (watch.trace) {
        const PolygonTrace& t = watch.trace->trace;
        std::fputs(o.json ? jsonLines(traceJson(t)).c_str() : describeTrace(t).c_str(), stdout);
    }
    const int status = compareWithTheirs(o, theirs, maskWindow);
    if (status == 1)
        return status;
    printTiming(timeFrames(o.frames, [&o] { renderSoftwareFrame(theScene, o.width, o.height, o.rules); }));
    return status;
}
