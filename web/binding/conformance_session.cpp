#include "conformance/case_compare.h"

#include <nlohmann/json.hpp>
#include "inspect/comparison.h"
#include "texture/generate_sphere_map.h"
#include "web/binding/page_session.h"

// The conformance run in the page: the tool's built-in cases, each drawn and judged as
// the tool does it, on the texture it would draw them on (the generated sphere map, or
// the one given as its --texture would be; the built-in list names none of its own),
// whatever the page shows, under the rules of the frame it shows (as its --rules would
// give them), and on the files the tester gave the page (decoded there, since the
// module reads no PNG).

namespace {

const std::vector<ConformanceCase>& builtInCases()
{
    static const std::vector<ConformanceCase> cases = [] {
        std::vector<ConformanceCase> list;
        std::string error;
        parseCaseList(builtInCaseList, "the built-in list", "", list, error);
        return list;
    }();
    return cases;
}

const char* const caseTexturePath = "/conformance.raw";

// The rules of the frame the page shows: the judging and the frame never disagree.
RasterRules caseRules()
{
    const PageSession& s = session();
    return s.drawn ? s.drawn->rules : RasterRules();
}

} // namespace

std::string conformanceTexture(const std::vector<unsigned char>* bytes)
{
    PageSession& s = session();
    Texture checked;
    if (bytes) {
        if (std::string error = buildSceneOn(*bytes, caseTexturePath, &checked); !error.empty())
            return error;
        s.sceneOnCaseTexture = true;
        conformanceEnd();
    }
    s.caseTexture = checked.data;
    return "";
}

std::string conformanceCasesJson()
{
    Json list = Json::array();
    for (const ConformanceCase& c : builtInCases())
        list.push_back(caseJson(c, "the page's sphere map"));
    return list.dump();
}

std::string conformanceCompare(int index, const std::vector<unsigned char>* rgb, int width, int height,
    const std::string& colorName, const std::string& colorError, const std::vector<unsigned char>* depth,
    const std::string& depthName, std::string& json)
{
    const std::vector<ConformanceCase>& cases = builtInCases();
    if (index < 0 || std::size_t(index) >= cases.size())
        return "there is no case " + std::to_string(index);
    ConformanceCase c = cases[std::size_t(index)];
    c.rules = caseRules();
    if (rgb && (width < 1 || height < 1 || rgb->size() != std::size_t(width) * std::size_t(height) * 3))
        return "\"" + colorName + "\" has " + std::to_string(rgb->size()) + " bytes, not 3 per pixel of " +
               std::to_string(width) + "x" + std::to_string(height);

    PageSession& s = session();
    if (!s.sceneOnCaseTexture) {
        if (std::string error =
                buildSceneOn(s.caseTexture.empty() ? generateSphereMap() : s.caseTexture, caseTexturePath);
            !error.empty())
            return error;
        s.sceneOnCaseTexture = true;
        s.forgetFrame();
    }
    const ReferenceFrame ours = renderReference(c);
    CaseResult r;
    if (!colorError.empty()) {
        r = unreadableCase(colorError);
    } else {
        const RgbImage theirImage{width, height, rgb ? *rgb : std::vector<unsigned char>()};
        std::vector<float> theirDepth;
        TheirFrame theirs;
        if (rgb)
            theirs.image = &theirImage, theirs.imageName = colorName;
        const bool otherSize = rgb && (width != c.width || height != c.height);
        const std::string depthProblem =
            depth && !otherSize ? depthSizeProblem(depthName, depth->size(), ours.depth.size()) : "";
        if (!depthProblem.empty()) {
            r = unreadableCase(depthProblem);
        } else {
            if (depth && !otherSize) {
                theirDepth = depthFromBytes(depth->data(), ours.depth.size());
                theirs.depth = &theirDepth, theirs.depthName = depthName;
            }
            r = compareCaseFrames(c, ours, theirs, false, maskRingGap);
        }
    }
    s.caseMask = r.mask;
    Json first = nullptr, history = nullptr;
    if (r.firstPixel >= 0) {
        const long long x = r.firstPixel % c.width, y = r.firstPixel / c.width;
        first = Json::array({x, y});
        history = snapshotCommand(c) + " --history " + std::to_string(x) + "," + std::to_string(y);
    }
    json = Json{{"outcome", outcomeName(r.outcome)}, {"line", caseResultLine(c, r)}, {"first", first}, {"history", history},
                {"mask", {r.mask.width, r.mask.height}}}
               .dump();
    return "";
}

bool pageSceneBack()
{
    PageSession& s = session();
    if (!s.sceneOnCaseTexture)
        return false;
    if (!s.textureBytes.empty())
        buildSceneOn(s.textureBytes, s.texturePath);
    s.sceneOnCaseTexture = false;
    return true;
}

// The cases drew into the buffers on their texture: the page's own texture and view come
// back, so that what the page shows and compares is its own frame.
void conformanceEnd()
{
    PageSession& s = session();
    pageSceneBack();
    s.forgetFrame();
    if (s.drawn)
        drawView(*s.drawn);
}

const RgbImage& conformanceMask()
{
    return session().caseMask;
}

std::string conformanceSummary(long long equal, long long differs, long long missing, long long unreadable)
{
    const long long counts[5] = {equal, differs, missing, unreadable, 0};
    const RasterRules rules = caseRules();
    return summaryLine(counts, false) + (rules.any() ? "; under the rules " + formatRules(rules) : "");
}
