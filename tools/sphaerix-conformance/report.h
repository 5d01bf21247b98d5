#pragma once

#include <string>

#include "inspect/rgb_image.h"
#include "conformance/case_list.h"
#include "conformance/case_compare.h"

// The HTML report of a conformance run: one self-contained page, the masks inside it.

// One case's section: a list item for an equal case; else what differs, their values
// beside ours at the first difference, the mask with its legend and `history`, our
// history of that pixel.
std::string reportSection(
    const ConformanceCase& c, const CaseResult& r, const std::string& history, std::string& error);

// The page: the failed cases' sections, then the equal ones folded; false with `error`
// naming the file when it cannot be written.
bool writeReport(const std::string& path, const std::string& summary, const std::string& failed,
    const std::string& equal, std::string& error);

// For embedding: standard base64, padded.
std::string base64(const std::string& bytes);
