#pragma once

#include <string>
#include <vector>

#include "conformance/case_list.h"
#include "inspect/rgb_image.h"

// One case of the conformance run judged: our frame against another rasterizer's, as
// read from its files by the tool or decoded by the page. No files here, so both share it.

// Our frame of one case under its rules, drawn by the program's own camera and fill into
// theScene's buffers; theScene must hold the case's texture (buildScene).
struct ReferenceFrame {
    RgbImage image; // top row first
    std::vector<float> depth; // bottom row first, as the --depth files hold it (device scale)
};
ReferenceFrame renderReference(const ConformanceCase& c);

// Our history of pixel (x, y), window coordinates, of the case: the frame drawn again
// with the observer, as the snapshot's --history prints it.
std::string pixelHistoryText(const ConformanceCase& c, int x, int y);

// commandFailed: --run's command failed, was stopped or left a file out.
enum class Outcome { equal, differs, missing, unreadable, commandFailed };

// Both frames at the first differing pixel, as far as their files were read.
struct PixelValues {
    bool color = false, depth = false;
    unsigned char ourRgb[3] = {0, 0, 0}, theirRgb[3] = {0, 0, 0};
    float ourDepth = 0.0f, theirDepth = 0.0f;
};

// How another rasterizer's files for one case compare with ours.
struct CaseResult {
    Outcome outcome = Outcome::equal;
    std::string line; // what the run prints after the case's name
    std::string colorDetail, depthDetail; // the full comparison lines, with digests
    long long colorCount = 0, depthCount = 0; // differing pixels and depth values
    long long firstPixel = -1; // first pixel that differs in either, buffer order
    PixelValues first;         // at firstPixel
    RgbImage mask; // the error mask, only when something differs
};

// Their frame as read: the picture (null: no colour file) and the depth values (null: no
// depth file), each with the name its lines give it.
struct TheirFrame {
    const RgbImage* image = nullptr;
    std::string imageName;
    const std::vector<float>* depth = nullptr;
    std::string depthName;
};

// Judges `theirs` against `ours`; a picture of another size is unreadable. The detail
// lines (whose digests take a third of the time) only `withDetails`; the mask with
// `maskMargin` (errorMask's margin).
CaseResult compareCaseFrames(const ConformanceCase& c, const ReferenceFrame& ours, const TheirFrame& theirs,
    bool withDetails = true, int maskMargin = 0);

// A case whose files could not be read, with the message that says why.
CaseResult unreadableCase(const std::string& message);

// "equal", "differs", "missing", "unreadable" or "command failed".
const char* outcomeName(Outcome outcome);

// The line the run prints for a case: "equal   NAME WxH", "DIFFERS  NAME WxH: ...",
// "MISSING ...", "ERROR   ...".
std::string caseResultLine(const ConformanceCase& c, const CaseResult& r);

// "N passed, M failed (D differ, M missing, U unreadable[, C command failed])", from the
// number of cases of each outcome in the order of Outcome.
std::string summaryLine(const long long (&counts)[5], bool commandRun);
