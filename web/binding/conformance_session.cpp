#include "conformance/case_compare.h"
#include "inspect/comparison.h"
#include "web/binding/page_session.h"

// The conformance run in the page: the tool's built-in cases, each drawn and judged as
// the tool does it, on the files the tester gave the page (decoded there, since the
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

} // namespace

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
    const ConformanceCase& c = cases[std::size_t(index)];
    if (rgb && (width < 1 || height < 1 || rgb->size() != std::size_t(width) * std::size_t(height) * 3))
        return "\"" + colorName + "\" has " + std::to_string(rgb->size()) + " bytes, not 3 per pixel of " +
               std::to_string(width) + "x" + std::to_string(height);

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
            r = compareCaseFrames(c, ours, theirs, false);
        }
    }
    session().caseMask = r.mask;
    Json first = nullptr, history = nullptr;
    if (r.firstPixel >= 0) {
        const long long x = r.firstPixel % c.width, y = r.firstPixel / c.width;
        first = Json::array({x, y});
        history = snapshotCommand(c) + " --history " + std::to_string(x) + "," + std::to_string(y);
    }
    json = Json{{"outcome", outcomeName(r.outcome)}, {"line", caseResultLine(c, r)}, {"first", first}, {"history", history}}
               .dump();
    return "";
}

// The cases drew into the buffers: the page's own view is drawn again, so that what the
// page shows and compares is its own frame.
void conformanceEnd()
{
    PageSession& s = session();
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
    return summaryLine(counts, false);
}
