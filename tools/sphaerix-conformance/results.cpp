#include "tools/sphaerix-conformance/results.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "files/whole_file.h"

namespace {

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

bool isError(Outcome outcome)
{
    return outcome == Outcome::unreadable || outcome == Outcome::commandFailed;
}

Json rgbJson(const unsigned char* rgb)
{
    return Json::array({rgb[0], rgb[1], rgb[2]});
}

Json firstJson(const CaseRun& run)
{
    const CaseResult& r = run.result;
    if (r.firstPixel < 0)
        return nullptr;
    const long long x = r.firstPixel % run.c.width, y = r.firstPixel / run.c.width;
    Json ours = Json::object(), theirs = Json::object();
    if (r.first.color)
        ours["color"] = rgbJson(r.first.ourRgb), theirs["color"] = rgbJson(r.first.theirRgb);
    if (r.first.depth)
        ours["depth"] = exactJson(r.first.ourDepth), theirs["depth"] = exactJson(r.first.theirDepth);
    return Json{{"x", x}, {"y", y}, {"row_from_top", run.c.height - 1 - y}, {"ours", ours}, {"theirs", theirs}};
}

// The length of the UTF-8 sequence at `at`, 0 when it is not a valid one.
std::size_t sequenceLength(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned char lead = byte(0);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xc2 && lead <= 0xdf ? 2 : lead >= 0xe0 && lead <= 0xef ? 3
        : lead >= 0xf0 && lead <= 0xf4                                                                   ? 4
                                                                                                         : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(k) & 0xc0) != 0x80)
            return 0;
    // No overlong forms, surrogates or code points beyond U+10FFFF.
    if ((lead == 0xe0 && byte(1) < 0xa0) || (lead == 0xed && byte(1) >= 0xa0) || (lead == 0xf0 && byte(1) < 0x90) ||
        (lead == 0xf4 && byte(1) >= 0x90))
        return 0;
    return length;
}

} // namespace

std::string markupEscaped(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += c == '<' ? "&lt;"
            : c == '>'  ? "&gt;"
            : c == '&'  ? "&amp;"
            : c == '"'  ? "&quot;"
                        : std::string(1, c);
    return out;
}


std::string validUtf8(const std::string& text)
{
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequenceLength(text, at);
        out += length ? text.substr(at, length) : "\xEF\xBF\xBD";
        at += length ? length : 1;
    }
    return out;
}

std::string summaryText(const std::vector<CaseRun>& runs, bool commandRun)
{
    long long counts[5] = {0, 0, 0, 0, 0};
    for (const CaseRun& run : runs)
        ++counts[int(run.result.outcome)];
    return summaryLine(counts, commandRun);
}

std::string runSummary(const std::vector<CaseRun>& runs, const RunFacts& facts)
{
    std::string text = summaryText(runs, facts.commandRun);
    if (facts.shards > 0)
        text = "shard " + std::to_string(facts.shard) + "/" + std::to_string(facts.shards) + ": " + text;
    if (facts.seed)
        text += "; seed " + std::to_string(*facts.seed);
    if (facts.rules.any())
        text += "; under the rules " + formatRules(facts.rules);
    return text;
}

std::string junitXml(const std::vector<CaseRun>& runs, double seconds, const RunFacts& facts)
{
    int failures = 0, errors = 0;
    std::string body;
    for (const CaseRun& run : runs) {
        body += "  <testcase classname=\"sphaerix-conformance\" name=\"" + markupEscaped(run.c.name) + "\" time=\"" +
            secondsText(run.seconds) + "\"";
        const Outcome outcome = run.result.outcome;
        if (outcome == Outcome::equal) {
            body += "/>\n";
            continue;
        }
        const char* element = isError(outcome) ? "error" : "failure";
        ++(isError(outcome) ? errors : failures);
        const std::string line = validUtf8(caseTitle(run.c) + ": " + run.result.line);
        body += ">\n    <" + std::string(element) + " type=\"" + outcomeName(outcome) + "\" message=\"" +
            markupEscaped(line) + "\">" + markupEscaped(line + "\nour view: " + validUtf8(run.snapshot)) + "</" +
            element + ">\n  </testcase>\n";
    }
    std::string properties;
    if (facts.rules.any())
        properties += "   <property name=\"rules\" value=\"" + formatRules(facts.rules) + "\"/>\n";
    if (facts.shards > 0)
        properties += "   <property name=\"shard\" value=\"" + std::to_string(facts.shard) + "/" +
            std::to_string(facts.shards) + "\"/>\n";
    if (!properties.empty())
        properties = "  <properties>\n" + properties + "  </properties>\n";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n <testsuite name=\"sphaerix-conformance\" "
           "tests=\"" +
        std::to_string(runs.size()) + "\" failures=\"" + std::to_string(failures) + "\" errors=\"" +
        std::to_string(errors) + "\" time=\"" + secondsText(seconds) + "\">\n" + properties + body +
        " </testsuite>\n</testsuites>\n";
}

Json resultsJson(const std::vector<CaseRun>& runs, const std::string& summary, const RunFacts& facts,
    double seconds)
{
    Json cases = Json::array();
    Json counts{{"equal", 0}, {"differs", 0}, {"missing", 0}, {"unreadable", 0}, {"command failed", 0}};
    for (const CaseRun& run : runs) {
        const CaseResult& r = run.result;
        counts[outcomeName(r.outcome)] = counts[outcomeName(r.outcome)].get<int>() + 1;
        cases.push_back(Json{{"name", run.c.name}, {"width", run.c.width}, {"height", run.c.height},
            {"outcome", outcomeName(r.outcome)}, {"line", validUtf8(r.line)}, {"seconds", run.seconds},
            {"command_seconds", run.commandSeconds},
            {"color_differences", r.colorCount}, {"depth_differences", r.depthCount},
            {"first_difference", firstJson(run)}, {"snapshot", validUtf8(run.snapshot)}});
    }
    Json json{{"tool", "sphaerix-conformance"}, {"summary", validUtf8(summary)}};
    if (facts.rules.any())
        json["rules"] = formatRules(facts.rules);
    json["counts"] = counts;
    json["seed"] = facts.seed ? Json(*facts.seed) : Json(nullptr);
    if (facts.shards > 0)
        json["shard"] = Json{{"k", facts.shard}, {"n", facts.shards}, {"command_run", facts.commandRun},
            {"run_cases", facts.listCases}, {"list_md5", facts.listDigest}};
    json["seconds"] = seconds;
    json["cases"] = cases;
    return json;
}

std::string timingText(const std::vector<CaseRun>& runs, double seconds, int jobs)
{
    double commands = 0.0, all = 0.0;
    for (const CaseRun& run : runs)
        commands += run.commandSeconds, all += run.seconds;
    char text[200];
    std::snprintf(text, sizeof text,
        "time: %.1f s for %zu cases, %d at once: the commands %.1f s, our frames and comparisons %.1f s", seconds,
        runs.size(), jobs, commands, all - commands);
    return text;
}

bool readBaseline(const std::string& path, std::map<std::string, std::string>& outcomes, std::string& error)
{
    // Read whole first: a folder given as the file is refused, not thrown from the stream.
    std::string text;
    if (!readWholeFile(path, text)) {
        error = "cannot read the baseline \"" + path + "\"";
        return false;
    }
    const Json json = Json::parse(text, nullptr, false);
    const char* problem = nullptr;
    if (json.is_discarded())
        problem = "is not JSON";
    else if (!json.is_object() || json.value("tool", Json()) != "sphaerix-conformance" || !json.contains("cases") ||
        !json["cases"].is_array())
        problem = "is not the JSON of sphaerix-conformance --json";
    else
        for (const Json& c : json["cases"])
            if (!c.is_object() || !c.contains("name") || !c["name"].is_string() || !c.contains("outcome") ||
                !c["outcome"].is_string()) {
                problem = "has a case without a name or an outcome";
                break;
            } else {
                outcomes[c["name"].get<std::string>()] = c["outcome"].get<std::string>();
            }
    if (problem)
        error = "the baseline \"" + path + "\" " + problem + " (write one with --json FILE)";
    return problem == nullptr;
}

BaselineChanges compareWithBaseline(const std::map<std::string, std::string>& before, const std::vector<CaseRun>& now)
{
    BaselineChanges changes;
    for (const CaseRun& run : now) {
        const auto it = before.find(run.c.name);
        const bool equal = run.result.outcome == Outcome::equal;
        if (it == before.end())
            changes.added.push_back(run.c.name);
        else if (it->second == "equal" && !equal)
            changes.regressions.push_back(run.c.name);
        else if (it->second != "equal" && equal)
            changes.fixes.push_back(run.c.name);
    }
    return changes;
}
