#include "inspect/ladder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "inspect/glyphs.h"
#include "inspect/pixel_history.h"
#include "inspect/slide.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"

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

std::string describeLadder(const Ladder& ladder, const std::string& against)
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
        text += "against " + against + "; " + std::to_string(ladder.steps[0].pixels) +
                " pixels compared, the caption's " + std::to_string(ladder.steps[0].caption) + " counted apart\n";
    return text;
}

std::string describeStep(const StepComparison& s)
{
    const std::string pixels = s.differ == 1 ? " pixel differs (" : " pixels differ (";
    return "coverage differs at " + std::to_string(s.coverageDiffers) + " pixel" +
           (s.coverageDiffers == 1 ? "" : "s") + "; " + std::to_string(s.differ) + pixels +
           percentText(s.differ, s.pixels) + "); within 1 level " + percentText(s.within1, s.pixels) +
           ", within 2 levels " + percentText(s.within2, s.pixels) + "; largest difference " +
           std::to_string(s.largest) + "; of " + std::to_string(s.pixels) + " pixels, the caption's " +
           std::to_string(s.caption) + " counted apart";
}

Json ladderJson(const Ladder& ladder)
{
    Json steps = Json::array();
    for (std::size_t k = 0; k < ladder.steps.size(); ++k) {
        Json step = {{"step", k}, {"rule", stepRule(int(k))}};
        step.update(stepCountsJson(ladder.steps[k]));
        steps.push_back(step);
    }
    return Json{{"steps", steps}};
}

Json stepCountsJson(const StepComparison& s)
{
    return {{"rules", formatRules(s.rules)},
            {"pixels", s.pixels},
            {"caption", s.caption},
            {"coverage_differs", s.coverageDiffers},
            {"differ", s.differ},
            {"within_1", s.within1},
            {"within_2", s.within2},
            {"largest", s.largest}};
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
        const std::string name = std::to_string(k) + " " + stepRule(k) + " " + std::to_string(ladder.steps[k].differ);
        drawText(slide, name, left, gap, keyScale(w), Rgb{0, 0, 0});
    }
    return slide;
}

namespace {

// What a step's rule does to a pixel, for sentences; whether the phrase is plural.
const char* rulePhrase(int step)
{
    static const char* const phrases[ruleCount] = {
        "sampling at pixel centres (with the split into triangles)", "snapping to 1/256 pixel",
        "perspective correction", "the per-corner sphere-map coordinates", "the filter",
        "the single-precision corners", "the clip at the near and far planes"};
    return phrases[step - 1];
}

bool pluralPhrase(int step)
{
    return step == 4 || step == 6;
}

std::string rgbText(const unsigned char* c)
{
    return std::to_string(c[0]) + " " + std::to_string(c[1]) + " " + std::to_string(c[2]);
}

std::string capitalized(std::string text)
{
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

// The first step from which every later one equals OpenGL's, or -1.
int equalFrom(const std::vector<int>& levels)
{
    int from = -1;
    for (int k = static_cast<int>(levels.size()) - 1; k >= 0 && levels[k] == 0; --k)
        from = k;
    return from;
}

} // namespace

PixelLadder pixelThroughLadder(const Scene& scene, int width, int height, int x, int y, const OpenGLFrame& openGL,
                               const std::vector<unsigned char>& caption)
{
    PixelLadder pixel;
    pixel.x = x;
    pixel.y = y;
    const std::size_t at = (static_cast<std::size_t>(height - 1 - y) * width + x) * 3;
    for (int c = 0; c < 3; ++c)
        pixel.openGL[c] = openGL.image.rgb[at + c];
    pixel.caption = caption[static_cast<std::size_t>(y) * width + x];
    // A pixel's colour comes from its row alone: the row drawn again under each step is
    // that step's whole frame there.
    for (int k = 0; k < ruleCount; ++k) {
        rasterizeRow(scene, width, height, y, nullptr, ladderStep(k));
        const Color4& c = ColorBuffer[static_cast<std::size_t>(y) * width + x];
        const RgbImage one = imageFromColors(&c, 1, 1);
        pixel.steps.push_back({one.rgb[0], one.rgb[1], one.rgb[2]});
    }
    // Under gl, how the filter found the colour: a value at a rounding half says why a last
    // level may remain.
    PixelHistoryObserver watch(x, y, width, height, RasterRules::gl());
    rasterizeRow(scene, width, height, y, &watch, RasterRules::gl());
    const Color4& c = ColorBuffer[static_cast<std::size_t>(y) * width + x];
    const RgbImage one = imageFromColors(&c, 1, 1);
    pixel.steps.push_back({one.rgb[0], one.rgb[1], one.rgb[2]});
    for (const HistoryFragment& f : watch.history.fragments)
        if (f.passed && f.rule.filter) {
            pixel.filtered = true;
            for (int c = 0; c < 3; ++c)
                pixel.scaled[c] = f.rule.filtered.scaled[c];
        }
    return pixel;
}

std::vector<int> levelsFromOpenGL(const PixelLadder& p)
{
    std::vector<int> levels;
    for (const auto& c : p.steps) {
        int largest = 0;
        for (int i = 0; i < 3; ++i)
            largest = std::max(largest, std::abs(int(c[i]) - int(p.openGL[i])));
        levels.push_back(largest);
    }
    return levels;
}

std::vector<std::string> explainPixel(const PixelLadder& p)
{
    const std::vector<int> levels = levelsFromOpenGL(p);
    const std::string where = "pixel " + std::to_string(p.x) + "," + std::to_string(p.y);
    if (p.caption)
        return {capitalized(where) + " is part of the OpenGL frame's caption (" + rgbText(p.openGL) +
                "), which the software frames do not draw: it is " + rgbText(p.steps.back().data()) +
                " at every step."};
    if (levels.empty())
        return {};
    std::vector<std::string> sentences;
    if (levels[0] == 0)
        sentences.push_back(capitalized(where) + " is " + rgbText(p.steps[0].data()) +
                            " under the program's own rules, as OpenGL draws it.");
    else
        sentences.push_back(capitalized(where) + " is " + rgbText(p.steps[0].data()) +
                            " under the program's own rules and " + rgbText(p.openGL) + " in the OpenGL frame, " +
                            std::to_string(levels[0]) + " level" + (levels[0] == 1 ? "" : "s") + " apart.");
    // Each rule that moved it: the first nearing as a share of the levels it started with,
    // later ones shortly after it; a rule that takes it away, or nearer after one did, in
    // words of its own.
    std::vector<std::string> moves;
    bool shareGiven = false, awayGiven = false, lastWasShare = false;
    for (std::size_t k = 1; k < levels.size(); ++k) {
        const int change = levels[k - 1] - levels[k];
        const std::string rule = rulePhrase(int(k));
        const bool plural = pluralPhrase(int(k));
        if (change > 0 && !shareGiven && !awayGiven) {
            moves.push_back(rule + (plural ? " account" : " accounts") + " for " + std::to_string(change) +
                            " of its " + std::to_string(levels[0]) + " levels");
            shareGiven = lastWasShare = true;
        } else if (change > 0 && lastWasShare) {
            moves.push_back(rule + " for " + std::to_string(change));
        } else if (change > 0) {
            moves.push_back(rule + (plural ? " bring" : " brings") + " it " + std::to_string(change) + " level" +
                            (change == 1 ? "" : "s") + " nearer");
        } else if (change < 0) {
            moves.push_back(rule + (plural ? " take" : " takes") + " it " + std::to_string(-change) + " level" +
                            (change == -1 ? "" : "s") + " further away");
            awayGiven = true;
            lastWasShare = false;
        } else if (p.steps[k] != p.steps[k - 1]) {
            moves.push_back(rule + (plural ? " change" : " changes") + " its colour but not its distance");
            lastWasShare = false;
        }
    }
    if (!moves.empty()) {
        std::string text;
        for (std::size_t i = 0; i < moves.size(); ++i)
            text += (i == 0 ? "" : i + 1 == moves.size() ? " and " : ", ") + moves[i];
        sentences.push_back(capitalized(text) + ".");
    }
    const int from = equalFrom(levels);
    if (from > 0)
        sentences.push_back("It equals OpenGL's from step " + std::to_string(from) + " (" +
                            ruleName(static_cast<Rule>(from - 1)) + ") on.");
    else if (from < 0) {
        std::string still = "With every rule taken it is still " + std::to_string(levels.back()) + " level" +
                            (levels.back() == 1 ? "" : "s") + " from OpenGL's (" + rgbText(p.steps.back().data()) +
                            " against " + rgbText(p.openGL) + ")";
        if (p.filtered) {
            // The channel whose filtered value lies nearest a half.
            int nearest = 0;
            float gap = 1.0f;
            for (int c = 0; c < 3; ++c) {
                const float g = std::fabs(p.scaled[c] - std::floor(p.scaled[c]) - 0.5f);
                if (p.steps.back()[c] != p.openGL[c] && g < gap)
                    gap = g, nearest = c;
            }
            if (gap < 0.01f)
                still += ": its filtered value " + exactText(p.scaled[nearest]) + " lies " + exactText(gap) +
                         " from a half, where the last bit of OpenGL's own float arithmetic decides the byte";
        }
        sentences.push_back(still + ".");
    }
    return sentences;
}

std::string describePixelLadder(const PixelLadder& p)
{
    const std::vector<int> levels = levelsFromOpenGL(p);
    std::string text = "pixel " + std::to_string(p.x) + "," + std::to_string(p.y) + ": OpenGL " +
                       rgbText(p.openGL) + (p.caption ? " (the caption)" : "") + "\n";
    for (std::size_t k = 0; k < p.steps.size(); ++k) {
        char line[120];
        std::snprintf(line, sizeof line, "  step %zu %-12s %3d %3d %3d   %3d level%s from OpenGL's\n", k,
                      stepRule(int(k)).c_str(), p.steps[k][0], p.steps[k][1], p.steps[k][2], levels[k],
                      levels[k] == 1 ? "" : "s");
        text += line;
    }
    for (const std::string& sentence : explainPixel(p))
        text += sentence + "\n";
    return text;
}

Json pixelLadderJson(const PixelLadder& p)
{
    const std::vector<int> levels = levelsFromOpenGL(p);
    Json steps = Json::array();
    for (std::size_t k = 0; k < p.steps.size(); ++k)
        steps.push_back({{"step", k},
                         {"rule", stepRule(int(k))},
                         {"rules", formatRules(ladderStep(int(k)))},
                         {"color", {p.steps[k][0], p.steps[k][1], p.steps[k][2]}},
                         {"levels", levels[k]}});
    const int from = equalFrom(levels);
    return {{"pixel", {p.x, p.y}},
            {"opengl", {p.openGL[0], p.openGL[1], p.openGL[2]}},
            {"caption", p.caption},
            {"steps", steps},
            {"equal_from", from >= 0 ? Json(from) : Json(nullptr)},
            {"sentences", explainPixel(p)}};
}

std::vector<std::string> ladderFileNames()
{
    std::vector<std::string> names = {"opengl.png"};
    for (int k = 0; k <= ruleCount; ++k)
        names.push_back("step-" + std::to_string(k) + "-" + (k ? ruleName(static_cast<Rule>(k - 1)) : "none") + ".png");
    names.push_back("ladder.png");
    return names;
}
