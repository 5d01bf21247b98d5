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
    std::string snapshot;        // snapshotCommand(c), or as a merged shard's JSON gives it
};

// What a run was, beyond its cases' results: what the summary, JUnit and JSON name, and
// what --merge checks its shards agree on.
struct RunFacts {
    RasterRules rules;
    std::optional<std::uint64_t> seed; // of the random views, when there were any
    bool commandRun = false;           // --run, whose failures the summary counts apart
    int shard = 0, shards = 0;         // K and N of --shard K/N; 0 and 0 for a whole run
    long long listCases = 0;           // the cases of the whole run, all shards together
    std::string listDigest;            // the MD5 of their list lines, in order
};

// `text` with every byte that is not part of valid UTF-8 replaced by U+FFFD, so that a
// command's standard error or a folder's name cannot make the XML or JSON invalid.
std::string validUtf8(const std::string& text);

// `text` with < > & and " written as XML and HTML entities.
std::string markupEscaped(const std::string& text);

// "N passed, M failed (D differ, M missing, U unreadable[, C command failed])".
std::string summaryText(const std::vector<CaseRun>& runs, bool commandRun);

// The count line: "[shard K/N: ]" that, then "; seed S" and "; under the rules LIST" when
// they apply.
std::string runSummary(const std::vector<CaseRun>& runs, const RunFacts& facts);

// JUnit XML: one test case per view, its time; a difference or a missing file is a
// failure and a file or command that failed an error, each with the case's line as its
// message. The rules and the shard, when there are any, are the suite's properties.
std::string junitXml(const std::vector<CaseRun>& runs, double seconds, const RunFacts& facts);

// Every case's outcome, line and first difference, the counts and the seed of the random
// views (null without them): what --baseline reads back. Under rules their list, and of
// a shard what --merge needs: K, N, the whole run's case count and list digest.
Json resultsJson(const std::vector<CaseRun>& runs, const std::string& summary, const RunFacts& facts,
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
