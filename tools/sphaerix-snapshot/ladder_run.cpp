#include "tools/sphaerix-snapshot/ladder_run.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "inspect/ladder.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "scene/scene.h"
#include "files/image_file.h"
#include "tools/sphaerix-snapshot/software_snapshot.h"
#include "tools/sphaerix-snapshot/window_snapshot.h"

namespace {

// Our frame of the view under `rules`, headless, into buffers of this size.
RgbImage softwareFrame(const SnapshotOptions& o, RasterRules rules, std::vector<float>& depth)
{
    prepareBuffers(o.width, o.height);
    rasterizeScene(theScene, o.width, o.height, rules);
    depth.assign(DepthBuffer.begin(), DepthBuffer.begin() + pixelCount(o.width, o.height));
    return imageFromColors(ColorBuffer.data(), o.width, o.height);
}

int writeLadder(const SnapshotOptions& o, const OpenGLFrame& openGL, const Ladder& ladder)
{
    const std::filesystem::path dir = o.ladderDir;
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    // The names in order: the OpenGL frame, each step's difference, the slide.
    const std::vector<std::string> names = ladderFileNames();
    const RgbImage slide = ladderSlide(ladder);
    std::vector<const RgbImage*> pictures = {&openGL.image};
    for (const StepComparison& step : ladder.steps)
        pictures.push_back(&step.difference);
    pictures.push_back(&slide);
    std::string error;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!writeImage(*pictures[i], (dir / names[i]).string(), error))
            return fail(error);
    std::fputs(o.json ? jsonLines(ladderJson(ladder)).c_str() : describeLadder(ladder).c_str(), stdout);
    return 0;
}

int explain(const SnapshotOptions& o, const OpenGLFrame& openGL, const std::vector<unsigned char>& caption)
{
    std::vector<float> depth;
    softwareFrame(o, RasterRules::none(), depth);
    const PixelLadder pixel = pixelThroughLadder(theScene, o.width, o.height, o.explainX, o.explainY, openGL, caption);
    std::fputs(o.json ? jsonLines(pixelLadderJson(pixel)).c_str() : describePixelLadder(pixel).c_str(), stdout);
    return 0;
}

} // namespace

int ladderSnapshot(const char* programName, const SnapshotOptions& o, const Texture& texture)
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return fail(std::string(o.explain ? "--explain" : "--ladder") +
                    " draws the OpenGL frame in a window and needs a display, and DISPLAY is not set "
                    "(run it under X, or under xvfb-run)");
    std::string error;
    if (!openSnapshotWindow(programName, o.width, o.height, texture, error))
        return fail(error);
    const WindowFrame window = captureWindowFrame(true, o.width, o.height, true);
    const OpenGLFrame openGL{window.image, window.depth};
    const std::vector<unsigned char> caption = captionPixels(openGL);
    if (o.explain)
        return explain(o, openGL, caption);
    Ladder ladder;
    std::vector<float> depth;
    for (int k = 0; k <= ruleCount; ++k) {
        const RasterRules rules = ladderStep(k);
        const RgbImage ours = softwareFrame(o, rules, depth);
        ladder.steps.push_back(compareWithOpenGL(rules, ours, depth, openGL, caption));
    }
    return writeLadder(o, openGL, ladder);
}
