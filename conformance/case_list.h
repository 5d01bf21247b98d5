#pragma once

#include <string>
#include <vector>

#include "inspect/exact_number.h"
#include "raster/raster_rules.h"

// One view of the conformance run: a frame size and the interaction state, drawn on a
// texture. The view values keep the text they were written with, so that the command
// that reproduces a case uses the very same numbers.
struct ConformanceCase {
    std::string name;
    int width = 0, height = 0;
    float angleZ = 0.0f, angleX = 0.0f, panX = 0.0f, panY = 0.0f, zoom = 0.0f;
    std::string angleZText, angleXText, panText, zoomText;
    std::string texture; // empty for the run's texture; else a path as the list gives it
    int line = 0; // in the list, for messages
    RasterRules rules; // what our frame follows: the run's --rules, not the list's
};

// Reads a list: one case a line, "NAME WxH ANGLE-Z ANGLE-X PANX,PANY ZOOM [TEXTURE]";
// '#' starts a comment, and blank lines are skipped. Names are letters, digits, '-' and
// '_', each used once. A relative texture path is taken from `textureBase`. On failure
// returns false and sets `error` to "SOURCE line N: what is wrong".
bool parseCaseList(const std::string& text, const std::string& source, const std::string& textureBase,
    std::vector<ConformanceCase>& cases, std::string& error);

// The list built into the tool (conformance/cases.txt at build time).
extern const char* const builtInCaseList;

// "NAME WxH" and the snapshot's command line for the same view, under the same rules.
std::string caseTitle(const ConformanceCase& c);
std::string snapshotCommand(const ConformanceCase& c);

// The case as a line of the list, its name padded to `nameWidth`, and as an object for
// --list --json: its name, size, view values, texture (`runTexture` when it names none)
// and snapshot command.
std::string caseLine(const ConformanceCase& c, int nameWidth);
Json caseJson(const ConformanceCase& c, const std::string& runTexture);
