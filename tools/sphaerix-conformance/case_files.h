#pragma once

#include <string>

#include "conformance/case_compare.h"

// Compares DIR/NAME.png (else DIR/NAME.ppm) and DIR/NAME.depth with `ours`; the detail
// lines (whose digests take a third of the time) only `withDetails`.
CaseResult compareCase(const ConformanceCase& c, const ReferenceFrame& ours, const std::string& dir,
    bool withDetails = true);
