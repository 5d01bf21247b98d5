#include "tools/sphaerix-conformance/shards.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <stdexcept>
#include <tuple>

#include <nlohmann/json.hpp>

#include "files/whole_file.h"
#include "inspect/md5.h"
#include "raster/frame_limits.h"

namespace {

// Up to 9 digits: a count that fits an int with room to spare.
bool parseNumber(const std::string& text, int& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoi(text);
    return true;
}

// A whole number from low to high; throws for anything else, a number with a fraction
// or too large for the conversion included.
long long whole(const Json& j, long long low, long long high)
{
    if (!j.is_number_integer() || (j.is_number_unsigned() && j.get<std::uint64_t>() > std::uint64_t(high)) ||
        j.get<long long>() < low || j.get<long long>() > high)
        throw std::invalid_argument("number");
    return j.get<long long>();
}

constexpr long long most = std::numeric_limits<long long>::max();

// One shard's file as read.
struct Shard {
    std::string path;
    RunFacts facts;
    double seconds = 0.0;
    std::vector<CaseRun> runs;
};

Outcome outcomeNamed(const std::string& name)
{
    for (Outcome outcome : {Outcome::equal, Outcome::differs, Outcome::missing, Outcome::unreadable,
             Outcome::commandFailed})
        if (name == outcomeName(outcome))
            return outcome;
    throw std::invalid_argument("outcome");
}

// A case as resultsJson wrote it; throws when it is not.
CaseRun caseRun(const Json& j, RasterRules rules)
{
    CaseRun run;
    run.c.name = j.at("name").get<std::string>();
    run.c.width = int(whole(j.at("width"), 1, largestSide)), run.c.height = int(whole(j.at("height"), 1, largestSide));
    run.c.rules = rules;
    run.seconds = j.at("seconds").get<double>(), run.commandSeconds = j.at("command_seconds").get<double>();
    run.snapshot = j.at("snapshot").get<std::string>();
    CaseResult& r = run.result;
    r.outcome = outcomeNamed(j.at("outcome").get<std::string>());
    r.line = j.at("line").get<std::string>();
    r.colorCount = whole(j.at("color_differences"), 0, most);
    r.depthCount = whole(j.at("depth_differences"), 0, most);
    const Json& first = j.at("first_difference");
    if (first.is_null())
        return run;
    const long long x = whole(first.at("x"), 0, run.c.width - 1), y = whole(first.at("y"), 0, run.c.height - 1);
    r.firstPixel = y * run.c.width + x;
    r.first.color = first.at("ours").contains("color"), r.first.depth = first.at("ours").contains("depth");
    for (const auto& [side, rgb, depth] : {std::tuple{"ours", r.first.ourRgb, &r.first.ourDepth},
             std::tuple{"theirs", r.first.theirRgb, &r.first.theirDepth}}) {
        const Json& values = first.at(side);
        for (int k = 0; k < 3 && r.first.color; ++k)
            rgb[k] = static_cast<unsigned char>(whole(values.at("color").at(k), 0, 255));
        // JSON holds no NaN or infinity: null stands for them, and reads back as null.
        const double value = !r.first.depth || values.at("depth").is_null() ? 0.0 : values.at("depth").get<double>();
        if (!(std::fabs(value) <= FLT_MAX))
            throw std::invalid_argument("depth");
        if (r.first.depth)
            *depth = values.at("depth").is_null() ? NAN : float(value);
    }
    return run;
}

// The shard's file read; "" or what is wrong with it.
std::string readShard(Shard& shard)
{
    std::string text;
    if (!readWholeFile(shard.path, text))
        return "cannot read \"" + shard.path + "\"";
    const Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded())
        return "\"" + shard.path + "\" is not JSON";
    try {
        if (json.at("tool") != "sphaerix-conformance" || !json.contains("shard"))
            throw std::invalid_argument("shard");
        const Json& s = json.at("shard");
        RunFacts& f = shard.facts;
        f.shards = int(whole(s.at("n"), 1, 999999999)), f.shard = int(whole(s.at("k"), 1, f.shards));
        f.commandRun = s.at("command_run").get<bool>();
        f.listCases = whole(s.at("run_cases"), 0, most), f.listDigest = s.at("list_md5").get<std::string>();
        std::string error;
        if (json.contains("rules") && !parseRules(json.at("rules").get<std::string>(), f.rules, error))
            throw std::invalid_argument("rules");
        if (!json.at("seed").is_null() && !json.at("seed").is_number_unsigned())
            throw std::invalid_argument("seed");
        if (!json.at("seed").is_null())
            f.seed = json.at("seed").get<std::uint64_t>();
        shard.seconds = json.at("seconds").get<double>();
        for (const Json& c : json.at("cases"))
            shard.runs.push_back(caseRun(c, f.rules));
    } catch (const std::exception&) {
        return "\"" + shard.path + "\" is not the JSON of a shard (--shard K/N --json FILE)";
    }
    return "";
}

std::string shardName(const RunFacts& f)
{
    return "shard " + std::to_string(f.shard) + "/" + std::to_string(f.shards);
}

// What keeps `b` from being a shard of the run `a` is of; "" when nothing does.
std::string otherRun(const Shard& a, const Shard& b)
{
    const std::string names = "\"" + b.path + "\" and \"" + a.path + "\"";
    if (b.facts.shards != a.facts.shards)
        return "\"" + b.path + "\" is " + shardName(b.facts) + " and \"" + a.path + "\" " + shardName(a.facts) +
            ": not shards of one run";
    if (b.facts.listCases != a.facts.listCases || b.facts.listDigest != a.facts.listDigest)
        return names + " are shards of different case lists";
    if (b.facts.rules != a.facts.rules)
        return "\"" + b.path + "\" is under the rules " + formatRules(b.facts.rules) + " and \"" + a.path +
            "\" under " + formatRules(a.facts.rules) + ": not shards of one run";
    if (b.facts.commandRun != a.facts.commandRun)
        return names + " are not shards of one run: one ran --run, the other compared files";
    if (b.facts.shard == a.facts.shard)
        return names + " are both " + shardName(a.facts);
    return "";
}

} // namespace

bool parseShard(const std::string& text, int& k, int& n)
{
    const std::size_t slash = text.find('/');
    int a = 0, b = 0;
    if (slash == std::string::npos || !parseNumber(text.substr(0, slash), a) ||
        !parseNumber(text.substr(slash + 1), b) || a < 1 || a > b)
        return false;
    k = a, n = b;
    return true;
}

std::string caseListDigest(const std::vector<ConformanceCase>& cases)
{
    std::string lines;
    for (const ConformanceCase& c : cases)
        lines += caseLine(c, 0) + "\n";
    return md5Hex(reinterpret_cast<const unsigned char*>(lines.data()), lines.size());
}

std::vector<ConformanceCase> shardCases(const std::vector<ConformanceCase>& cases, int k, int n)
{
    std::vector<ConformanceCase> chosen;
    for (std::size_t i = std::size_t(k - 1); i < cases.size(); i += std::size_t(n))
        chosen.push_back(cases[i]);
    return chosen;
}

bool mergeShards(const std::vector<std::string>& paths, std::vector<CaseRun>& runs, RunFacts& facts,
    double& seconds, std::string& error)
{
    std::vector<Shard> shards;
    std::map<int, const Shard*> byNumber;
    for (const std::string& path : paths) {
        Shard& shard = shards.emplace_back();
        shard.path = path;
        if (!(error = readShard(shard)).empty())
            return false;
    }
    for (const Shard& shard : shards) {
        const RunFacts& f = shard.facts;
        if (&shard != &shards.front() && !(error = otherRun(shards.front(), shard)).empty())
            return false;
        if (byNumber.count(f.shard) && !(error = otherRun(*byNumber[f.shard], shard)).empty())
            return false;
        byNumber[f.shard] = &shard;
        const long long holds = f.listCases >= f.shard ? (f.listCases - f.shard) / f.shards + 1 : 0;
        if (static_cast<long long>(shard.runs.size()) != holds) {
            error = "\"" + shard.path + "\" holds " + std::to_string(shard.runs.size()) + " cases; " + shardName(f) +
                " of " + std::to_string(f.listCases) + " holds " + std::to_string(holds);
            return false;
        }
    }
    facts = shards.front().facts;
    const int n = facts.shards;
    for (facts.shard = 1; facts.shard <= n; ++facts.shard)
        if (!byNumber.count(facts.shard)) {
            error = shardName(facts) + " is missing: no file of it among those given";
            return false;
        }
    facts.shard = facts.shards = 0;
    runs.clear();
    for (long long i = 0; i < facts.listCases; ++i)
        runs.push_back(byNumber[int(i % n) + 1]->runs[std::size_t(i / n)]);
    seconds = 0.0;
    for (const Shard& shard : shards)
        seconds += shard.seconds;
    return true;
}
