#include "inspect/ladder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "inspect/glyphs.h"
#include "inspect/slide.h"

std::vector<unsigned char> captionPixels(const OpenGLFrame& openGL)
{
    const int w = openGL.image.width, h = openGL.image.height;
    std::vector<unsigned char> caption(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t pixel = static_cast<std::size_t>(y) * w + x;
            const unsigned char* rgb = openGL.image.rgb.data() + (static_cast<std::size_t>(h - 1 - y) * w + x) * 3;
            caption[pixel] = openGL.depth[pixel] >= 1.0f && (rgb[0] != 255 || rgb[1] != 255 || rgb[2] != 255);
        }
    return caption;
}

StepComparison compareWithOpenGL(RasterRules rules, const RgbImage& ours, const std::vector<float>& ourDepth,
                                 const OpenGLFrame& openGL, const std::vector<unsigned char>& caption)
{
    StepComparison s;
    s.rules = rules;
    const int w = ours.width, h = ours.height;
    s.difference.width = w;
    s.difference.height = h;
    s.difference.rgb.assign(static_cast<std::size_t>(w) * h * 3, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t pixel = static_cast<std::size_t>(y) * w + x;
            const std::size_t at = (static_cast<std::size_t>(h - 1 - y) * w + x) * 3;
            if (caption[pixel]) {
                ++s.caption;
                s.difference.rgb[at] = s.difference.rgb[at + 1] = s.difference.rgb[at + 2] = 64;
                continue;
            }
            ++s.pixels;
            s.coverageDiffers += (ourDepth[pixel] < 1.0f) != (openGL.depth[pixel] < 1.0f);
            int largest = 0;
            for (int c = 0; c < 3; ++c) {
                const int d = std::abs(int(ours.rgb[at + c]) - int(openGL.image.rgb[at + c]));
                largest = std::max(largest, d);
                // Amplified so that one level shows: 64 + 16 per level, capped.
                s.difference.rgb[at + c] = d == 0 ? 0 : static_cast<unsigned char>(std::min(255, 64 + 16 * d));
            }
            s.differ += largest > 0;
            s.within1 += largest <= 1;
            s.within2 += largest <= 2;
            s.largest = std::max(s.largest, largest);
        }
    return s;
}

std::string percentText(long long count, long long total)
{
    char text[32];
    const double p = total > 0 ? 100.0 * double(count) / double(total) : 0.0;
    std::snprintf(text, sizeof text, p != 0.0 && p < 0.01 ? "%.4f%%" : p > 99.99 && p < 100.0 ? "%.4f%%" : "%.2f%%", p);
    return text;
}

namespace {

// The rule a step adds, or "none" for step 0.
std::string stepRule(int step)
{
    return step == 0 ? "none" : ruleName(static_cast<Rule>(step - 1));
}

} // namespace

std::string describeLadder(const Ladder& ladder)
{
    std::string text = "step  rule          coverage differs  pixels that differ   within 1   within 2  largest\n";
    for (std::size_t k = 0; k < ladder.steps.size(); ++k) {
        const StepComparison& s = ladder.steps[k];
        char line[200];
        std::snprintf(line, sizeof line, "%4zu  %-12s  %16lld  %9lld %8s  %9s  %9s  %7d\n", k, stepRule(int(k)).c_str(),
                      s.coverageDiffers, s.differ, percentText(s.differ, s.pixels).c_str(),
                      percentText(s.within1, s.pixels).c_str(), percentText(s.within2, s.pixels).c_str(), s.largest);
        text += line;
    }
    if (!ladder.steps.empty())
        text += "against the OpenGL frame drawn in the window; " + std::to_string(ladder.steps[0].pixels) +
                " pixels compared, the caption's " + std::to_string(ladder.steps[0].caption) + " counted apart\n";
    return text;
}

Json ladderJson(const Ladder& ladder)
{
    Json steps = Json::array();
    for (std::size_t k = 0; k < ladder.steps.size(); ++k) {
        const StepComparison& s = ladder.steps[k];
        steps.push_back({{"step", k},
                         {"rule", stepRule(int(k))},
                         {"rules", formatRules(s.rules)},
                         {"pixels", s.pixels},
                         {"caption", s.caption},
                         {"coverage_differs", s.coverageDiffers},
                         {"differ", s.differ},
                         {"within_1", s.within1},
                         {"within_2", s.within2},
                         {"largest", s.largest}});
    }
    return Json{{"steps", steps}};
}

RgbImage ladderSlide(const Ladder& ladder)
{
    if (ladder.steps.empty())
        return RgbImage{};
    const int w = ladder.steps[0].difference.width, h = ladder.steps[0].difference.height;
    const int gap = 8, label = 7 * keyScale(w) + 2 * gap;
    const int n = static_cast<int>(ladder.steps.size());
    RgbImage slide;
    slide.width = n * w + (n + 1) * gap;
    slide.height = h + label + gap;
    slide.rgb.assign(static_cast<std::size_t>(slide.width) * slide.height * 3, 224);
    for (int k = 0; k < n; ++k) {
        const int left = gap + k * (w + gap);
        const RgbImage& d = ladder.steps[k].difference;
        for (int y = 0; y < h; ++y)
            std::copy_n(d.rgb.data() + static_cast<std::size_t>(y) * w * 3, w * 3,
                        slide.rgb.data() + (static_cast<std::size_t>(label + y) * slide.width + left) * 3);
        const std::string name = std::to_string(k) + " " + stepRule(k);
        drawText(slide, name, left, gap, keyScale(w), Rgb{0, 0, 0});
    }
    return slide;
}
