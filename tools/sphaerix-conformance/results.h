#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "inspect/exact_number.h"
#include "conformance/case_list.h"
#include "conformance/case_compare.h"

// A run's results as CI systems and later runs read them.

struct CaseRun {
    ConformanceCase c;
    CaseResult result;
    double seconds = 0.0;        // the command's and the comparison's
    double commandSeconds = 0.0; // the command's alone
};

// `text` with every byte that is not part of valid UTF-8 replaced by U+FFFD, so that a
// command's standard error or a folder's name cannot make the XML or JSON invalid.
std::string validUtf8(const std::string& text);

// `text` with < > & and " written as XML and HTML entities.
std::string markupEscaped(const std::string& text);

// "N passed, M failed (D differ, M missing, U unreadable[, C command failed])".
std::string summaryText(const std::vector<CaseRun>& runs, bool commandRun);

// JUnit XML: one test case per view, its time; a difference or a missing file is a
// failure and a file or command that failed an error, each with the case's line as its
// message.
std::string junitXml(const std::vector<CaseRun>& runs, double seconds);

// Every case's outcome, line and first difference, the counts and the seed of the random
// views (null without them): what --baseline reads back.
Json resultsJson(const std::vector<CaseRun>& runs, const std::string& summary, std::optional<std::uint64_t> seed,
    double seconds);

// "time: T s for N cases, J at once: the commands C s, our frames and comparisons F s"
std::string timingText(const std::vector<CaseRun>& runs, double seconds, int jobs);

// The outcome of each case by name from a file resultsJson wrote; false with `error`
// saying why the file is not one.
bool readBaseline(const std::string& path, std::map<std::string, std::string>& outcomes, std::string& error);

// Regressions: equal in the baseline, not now. Fixes: the other way round. New: cases
// the baseline does not have.
struct BaselineChanges {
    std::vector<std::string> regressions, fixes, added;
};
BaselineChanges compareWithBaseline(const std::map<std::string, std::string>& before, const std::vector<CaseRun>& now);
