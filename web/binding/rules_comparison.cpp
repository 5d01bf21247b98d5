#include <nlohmann/json.hpp>

#include "inspect/ladder.h"
#include "raster/frame_buffers.h"
#include "scene/scene.h"
#include "web/binding/page_session.h"

// The software frame under rules against the page's own OpenGL frame (WebGL's), as the
// snapshot's --ladder and --explain set it against the frame drawn in the program's window.

namespace {

// The kept OpenGL frame, if it is of the drawn view's size and the drawn view is a whole frame.
std::string checkFrames()
{
    const PageSession& s = session();
    if (!s.drawn)
        return "no frame has been drawn";
    if (!s.openGL)
        return "no OpenGL frame has been given to compare with";
    if (s.openGL->image.width != s.drawn->width || s.openGL->image.height != s.drawn->height)
        return "the OpenGL frame is " + std::to_string(s.openGL->image.width) + "x" +
               std::to_string(s.openGL->image.height) + "; the frame is " + std::to_string(s.drawn->width) + "x" +
               std::to_string(s.drawn->height);
    if (s.drawn->polygonLimit >= 0)
        return "the watched fill is not a whole frame: the comparison is of whole frames";
    return "";
}

// The software frame of the drawn view under `rules`, headless, against the OpenGL frame.
StepComparison compareStep(RasterRules rules)
{
    PageSession& s = session();
    ViewRequest view = *s.drawn;
    view.rules = rules;
    drawFrame(view);
    const std::size_t count = pixelCount(view.width, view.height);
    const std::vector<float> depth(DepthBuffer.begin(), DepthBuffer.begin() + long(count));
    return compareWithOpenGL(rules, imageFromColors(ColorBuffer.data(), view.width, view.height), depth, *s.openGL,
                             s.caption);
}

// The drawn view again, as the page shows it: the ladder drew into its buffers.
void redrawShown()
{
    PageSession& s = session();
    const ViewRequest shown = *s.drawn;
    s.forgetFrame();
    drawView(shown);
}

Json countsJson(const StepComparison& c)
{
    Json counts = stepCountsJson(c);
    counts["line"] = describeStep(c);
    return counts;
}

} // namespace

std::string keepOpenGLFrame(const RgbImage& image, const std::vector<unsigned char>& covered)
{
    const std::size_t count = std::size_t(image.width) * std::size_t(image.height);
    if (image.width < 1 || image.height < 1 || image.rgb.size() != count * 3 || covered.size() != count)
        return "the OpenGL frame has " + std::to_string(image.rgb.size()) + " bytes of colour and " +
               std::to_string(covered.size()) + " of coverage, not 3 and 1 per pixel of " +
               std::to_string(image.width) + "x" + std::to_string(image.height);
    PageSession& s = session();
    OpenGLFrame frame{image, std::vector<float>(count)};
    // Only whether the torus covers a pixel is compared; the caption is what is not white
    // where it does not.
    for (std::size_t i = 0; i < count; ++i)
        frame.depth[i] = covered[i] ? 0.0f : 1.0f;
    s.caption = captionPixels(frame);
    s.openGL = std::move(frame);
    return "";
}

std::string ruleComparisonJson(std::string& json)
{
    if (std::string problem = checkFrames(); !problem.empty())
        return problem;
    PageSession& s = session();
    const std::size_t count = pixelCount(s.drawn->width, s.drawn->height);
    if (bufferWidth != s.drawn->width || bufferHeight != s.drawn->height)
        redrawShown();
    const std::vector<float> depth(DepthBuffer.begin(), DepthBuffer.begin() + long(count));
    json = countsJson(compareWithOpenGL(s.drawn->rules, imageFromColors(ColorBuffer.data(), s.drawn->width,
                                                                        s.drawn->height),
                                        depth, *s.openGL, s.caption))
               .dump();
    return "";
}

std::string pageLadderJson(const std::string& against, std::string& json)
{
    if (std::string problem = checkFrames(); !problem.empty())
        return problem;
    PageSession& s = session();
    s.ladder = Ladder{};
    for (int k = 0; k <= ruleCount; ++k)
        s.ladder.steps.push_back(compareStep(ladderStep(k)));
    redrawShown();
    Json result = ladderJson(s.ladder);
    for (std::size_t k = 0; k < s.ladder.steps.size(); ++k)
        result["steps"][k]["line"] = describeStep(s.ladder.steps[k]);
    result["text"] = describeLadder(s.ladder, against);
    json = result.dump();
    return "";
}

std::string ladderStepPicture(int step, RgbImage& picture)
{
    const Ladder& ladder = session().ladder;
    if (step < 0 || step >= int(ladder.steps.size()))
        return ladder.steps.empty() ? "the ladder has not been run" : "step " + std::to_string(step) + ": the ladder has steps 0.." + std::to_string(ladder.steps.size() - 1);
    picture = ladder.steps[step].difference;
    return "";
}

std::string ladderSlidePicture(RgbImage& picture)
{
    const Ladder& ladder = session().ladder;
    if (ladder.steps.empty())
        return "the ladder has not been run";
    picture = ladderSlide(ladder);
    return "";
}

std::string explainJson(int x, int y, std::string& json)
{
    if (std::string problem = checkFrames(); !problem.empty())
        return problem;
    PageSession& s = session();
    const ViewRequest& v = *s.drawn;
    if (x < 0 || y < 0 || x >= v.width || y >= v.height)
        return "pixel " + std::to_string(x) + "," + std::to_string(y) + " lies outside the " +
               std::to_string(v.width) + "x" + std::to_string(v.height) + " frame";
    if (bufferWidth != v.width || bufferHeight != v.height)
        redrawShown();
    aimCamera(v);
    const PixelLadder pixel = pixelThroughLadder(theScene, v.width, v.height, x, y, *s.openGL, s.caption);
    // The row back as the frame shown has it.
    drawFrame(v, nullptr, nullptr, y);
    Json result = pixelLadderJson(pixel);
    result["text"] = describePixelLadder(pixel);
    json = result.dump();
    return "";
}
