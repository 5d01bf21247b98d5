#pragma once

#include <string>
#include <vector>

#include "conformance/case_list.h"
#include "tools/sphaerix-conformance/results.h"

// One run spread over machines, as CI systems spread a job: shard K of N takes the cases
// whose place i in the run's list (from 0) has i mod N = K - 1, so that every case is in
// exactly one shard and every machine picks the same ones. The shards' JSON files merge
// back into the run's results, in the list's order.

// "K/N", digits only, with 1 <= K <= N; false when it is not.
bool parseShard(const std::string& text, int& k, int& n);

// The MD5 of the cases' lines as --list prints them: what the shards of one run share.
std::string caseListDigest(const std::vector<ConformanceCase>& cases);

// The cases of shard k of n.
std::vector<ConformanceCase> shardCases(const std::vector<ConformanceCase>& cases, int k, int n);

// Reads the JSON files that shards of one run wrote (--shard K/N --json FILE) and puts
// their cases back in the run's order; `facts` become the whole run's, `seconds` the
// shards' times added. False with `error` naming the file that cannot be read, is not a
// shard's, or is not of the same run as the first (another N, case list, rules or kind
// of run), or the shard that is given twice or missing.
bool mergeShards(const std::vector<std::string>& paths, std::vector<CaseRun>& runs, RunFacts& facts,
    double& seconds, std::string& error);
