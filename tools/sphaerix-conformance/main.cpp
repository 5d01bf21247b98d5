// sphaerix-conformance: our software frames of a list of views, compared with another
// rasterizer's files for the same views, which it may also run. --help describes the
// options and files.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <nlohmann/json.hpp>

#include "conformance/case_compare.h"
#include "conformance/case_list.h"
#include "files/file_guard.h"
#include "files/whole_file.h"
#include "scene/scene.h"
#include "texture/generate_sphere_map.h"
#include "texture/texture.h"
#include "tools/rules_option.h"
#include "tools/sphaerix-conformance/case_files.h"
#include "tools/sphaerix-conformance/command_run.h"
#include "tools/sphaerix-conformance/random_cases.h"
#include "tools/sphaerix-conformance/reference_folder.h"
#include "tools/sphaerix-conformance/report.h"
#include "tools/sphaerix-conformance/results.h"
#include "tools/sphaerix-conformance/shards.h"

namespace {

const char* const usage = "usage: sphaerix-conformance --run 'COMMAND' | DIR | --write-reference OUTDIR | --list "
                          "[--json] [options]; --help for more";

const char* const footer = R"text(
Each case is a view: NAME WxH ANGLE-Z ANGLE-X PANX,PANY ZOOM [TEXTURE], the values of
sphaerix-snapshot's --size, --angle-z, --angle-x, --pan and --zoom. For every case the
run draws our software frame and compares it with NAME.png (else NAME.ppm, P6 or P3,
maxval 255) and NAME.depth (W*H little-endian 32-bit floats, bottom row first, as
sphaerix-snapshot --depth writes them): those COMMAND writes, or those in DIR.

COMMAND runs through /bin/sh -c once per case, --jobs at a time, with these replaced:
  {name} {width} {height}     the case's name and frame size
  {az} {ax} {panx} {pany} {zoom}
                              its view, each the shortest decimal that reads back to
                              the same float (1e+06, -12345.5, 0.25)
  {texture}                   the sphere-map file to draw on
  {rules}                     the rules of --rules as a list (gl, texgen,filter), or none
  {color} {depth}             where to write the colour image (NAME.png; a PPM written
                              there is read as well) and the depth file, in a work folder
                              (--keep DIR keeps them; NAME.out and NAME.err hold the
                              command's output and error)
A command that cannot be found, fails, is ended by a signal, outlives --timeout, or
leaves out the colour or the depth file is an ERROR with its exit status and the last
lines of its standard error; no other case is affected.

It prints one line per case:
  equal    NAME WxH
  DIFFERS  NAME WxH: colour: N of T pixels differ, first at X,Y (row R from the top):
           ours r g b, theirs r g b; depth: ... values differ, first at ...
  MISSING  NAME WxH: no NAME.depth; colour equal
  ERROR    NAME WxH: what could not be read, or what became of the command
and then "N passed, M failed (D differ, M missing, U unreadable[, C command failed])",
with "; seed S" when random views ran and "; under the rules LIST" with --rules. X,Y
are window coordinates (row 0 at the bottom); the first difference is the lowest row's
leftmost, in colour or depth. The last line gives the snapshot command for our history
of the first difference found.

--rules LIST draws our frames under rules taken from OpenGL (--rules help lists them;
docs/rules.md gives their arithmetic), with depth files in the device scale -1..1 under
every rule; the lines, the snapshot commands, JUnit, JSON and the report name them.

--shard K/N runs the K-th of N shards (K from 1): the cases whose place i in the list
(from 0; built-in or --cases, narrowed by --only, then the random views) has
i mod N = K - 1; its count line starts "shard K/N:". With --random it needs --seed.
--merge A.json B.json ... reads the --json files of all N shards of one run, refused
(status 1) when one is missing, given twice, or of another N, case list or rules; it
prints the lines and the count of the whole run, in its order, writes --json and
--junit of it, reads --baseline against it and exits as the whole run would. It runs
nothing and takes no DIR, --run or options that choose or draw cases.

Exit status: 0 every case equal, 3 some case differs or misses a file, 1 a file that
cannot be read or has another size, a command that failed (the line says which), a bad
case list, texture or baseline, 2 usage error, 130 interrupted (the running commands
are stopped). With --baseline: 3 when some case that
was equal there is not now, else 0 (1 and 2 as before).

Make the sphere map first: sphaerix-spheremap generate sphere.raw
)text";

int fail(const std::string& message)
{
    std::fprintf(stderr, "sphaerix-conformance: %s\n", message.c_str());
    return 1;
}

int usageError(const std::string& message)
{
    std::fprintf(stderr, "sphaerix-conformance: %s; %s\n", message.c_str(), usage);
    return 2;
}

struct Options {
    std::string dir, cases, texture = "sphere.raw", report, reference;
    std::vector<std::string> only;
    bool list = false, listJson = false, replace = false;
    std::string command, keep, junit, json, baseline;
    int jobs = 0;
    double timeout = 60.0;
    int random = 0;
    std::optional<std::uint64_t> seed;
    RasterRules rules;
    int shard = 0, shards = 0; // --shard K/N; 0 for a whole run
    std::vector<std::string> merge;
};

// The list with the random views, narrowed to --only and then to the shard, each case
// under the rules; 0, or the exit status. `facts` get the whole list's count and digest.
int loadCases(const Options& o, std::vector<ConformanceCase>& cases, RunFacts& facts)
{
    std::string text = builtInCaseList, error;
    if (!o.cases.empty() && !readWholeFile(o.cases, text))
        return fail("cannot read the case list \"" + o.cases + "\"");
    const std::string base = o.cases.empty() ? "." : std::filesystem::path(o.cases).parent_path().string();
    if (!parseCaseList(text, o.cases.empty() ? "the built-in case list" : o.cases, base.empty() ? "." : base,
            cases, error))
        return fail(error);
    if (o.random > 0)
        for (const ConformanceCase& c : randomCases(o.random, *o.seed))
            cases.push_back(c);
    for (ConformanceCase& c : cases)
        c.rules = o.rules;
    for (const std::string& name : o.only)
        if (std::none_of(cases.begin(), cases.end(), [&](const auto& c) { return c.name == name; }))
            return usageError("--only: no case \"" + name + "\"");
    if (!o.only.empty())
        std::erase_if(cases, [&](const auto& c) { return std::find(o.only.begin(), o.only.end(), c.name) == o.only.end(); });
    facts.listCases = static_cast<long long>(cases.size());
    facts.listDigest = caseListDigest(cases);
    if (o.shards > 0)
        cases = shardCases(cases, o.shard, o.shards);
    return 0;
}

// The file of every texture, read once before anything is drawn: a texture that cannot be
// read ends the run.
using Textures = std::map<std::string, Texture>;

int readTextures(const Options& o, const std::vector<ConformanceCase>& cases, Textures& textures)
{
    textures[o.texture];
    for (const ConformanceCase& c : cases)
        if (!c.texture.empty())
            textures[c.texture];
    for (auto& [path, texture] : textures) {
        std::string error;
        if (!readTextureFile(texture, path.c_str(), error))
            return fail(error +
                (path == o.texture ? "; make it with `sphaerix-spheremap generate " + path + "`" : ""));
        if (path == o.texture && texture.data != generateSphereMap())
            std::printf("note: %s is not the sphere map `sphaerix-spheremap generate` makes; the frames are "
                        "drawn on it all the same\n",
                path.c_str());
    }
    return 0;
}

// Every file the run names, what it reads first: no run writes over a file it reads, or
// writes one file twice.
std::vector<FileUse> fileUses(const Options& o, const std::vector<ConformanceCase>& cases)
{
    std::vector<FileUse> uses = {{"--cases", o.cases, false}, {"--texture", o.merge.empty() ? o.texture : "", false},
        {"--baseline", o.baseline, false}};
    for (const std::string& path : o.merge)
        uses.push_back({"--merge", path, false});
    for (const ConformanceCase& c : cases)
        uses.push_back({"case " + c.name + "'s texture", c.texture, false});
    auto inFolder = [&](const std::string& option, const std::string& dir, bool writes,
                        std::initializer_list<const char*> extensions) {
        for (const ConformanceCase& c : cases)
            for (const char* extension : extensions)
                uses.push_back({option, (std::filesystem::path(dir) / (c.name + extension)).string(), writes});
    };
    if (!o.dir.empty())
        inFolder("DIR", o.dir, false, {".png", ".ppm", ".depth"});
    if (!o.reference.empty())
        for (const std::string& path : referenceFiles(o.reference, cases))
            uses.push_back({"--write-reference", path, true});
    if (!o.keep.empty()) // the command's files, and the stale ones removed before it runs
        inFolder("--keep", o.keep, true, {".png", ".ppm", ".depth", ".out", ".err"});
    for (const auto& [option, path] : {std::pair{"--junit", &o.junit}, {"--json", &o.json}, {"--report", &o.report}})
        uses.push_back({option, *path, true});
    std::erase_if(uses, [](const FileUse& use) { return use.path.empty(); });
    return uses;
}

// "a.png, b.depth" of the first few names, and how many more.
std::string someNames(const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t k = 0; k < names.size() && k < 10; ++k)
        text += (k ? ", " : "") + names[k];
    return names.size() > 10 ? text + " and " + std::to_string(names.size() - 10) + " more" : text;
}

// One run over the cases: each case judged once its files are there, the lines printed
// in the list's order.
struct Run {
    const Options& o;
    const Textures& textures;
    ReferenceFolder& reference;
    std::vector<CaseRun> runs;
    std::vector<bool> judged;
    std::vector<std::string> sections;
    std::size_t printed = 0;
    std::string loaded, error;

    CaseResult compare(const ConformanceCase& c, const std::string& dir)
    {
        const std::string& texture = c.texture.empty() ? o.texture : c.texture;
        if (texture != loaded)
            buildScene(theScene, textures.at(loaded = texture));
        const ReferenceFrame ours = renderReference(c);
        if (!o.reference.empty() && !writeReferenceCase(reference, c, ours, error))
            return {};
        return dir.empty() ? CaseResult{} : compareCase(c, ours, dir, !o.report.empty());
    }

    // The case's files in `dir`, after `command` (when it ran) ended as it did.
    void judge(std::size_t index, const std::string& dir, const CommandOutcome* command)
    {
        const auto start = std::chrono::steady_clock::now();
        CaseRun& run = runs[index];
        const std::string problem = command ? commandProblem(*command, o.timeout) : "";
        const std::string tail = command && !command->errorTail.empty()
            ? "; its standard error ends: " + command->errorTail
            : "";
        if (!problem.empty()) {
            run.result.outcome = Outcome::commandFailed;
            run.result.line = problem + tail;
        } else {
            run.result = compare(run.c, dir);
            // A work folder that will be gone by the time anyone reads the line goes unnamed.
            if (command && o.keep.empty())
                for (std::string* text : {&run.result.line, &run.result.colorDetail, &run.result.depthDetail})
                    for (std::size_t at; (at = text->find(dir + "/")) != std::string::npos;)
                        text->erase(at, dir.size() + 1);
            // The command's job is to write both files: one left out is its failure.
            if (command && run.result.outcome == Outcome::missing)
                run.result.outcome = Outcome::commandFailed,
                run.result.line = "the command exited with status 0; " + run.result.line + tail;
        }
        run.commandSeconds = command ? command->seconds : 0.0;
        run.seconds = run.commandSeconds +
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!o.report.empty() && error.empty()) {
            const CaseResult& r = run.result;
            const std::string history = r.firstPixel < 0
                ? ""
                : pixelHistoryText(run.c, int(r.firstPixel % run.c.width), int(r.firstPixel / run.c.width));
            sections[index] = reportSection(run.c, r, history, error);
        }
        judged[index] = true;
        for (; printed < runs.size() && judged[printed]; ++printed)
            print(runs[printed]);
    }

    void print(const CaseRun& run)
    {
        std::printf("%s\n", caseResultLine(run.c, run.result).c_str());
        std::fflush(stdout);
    }
};

// The snapshot command for our history of the first difference found, or "".
std::string closerLine(const std::vector<CaseRun>& runs)
{
    for (const CaseRun& run : runs)
        if (const long long pixel = run.result.firstPixel; pixel >= 0)
            return "our history of " + run.c.name + "'s first difference: " + run.snapshot + " --history " +
                std::to_string(pixel % run.c.width) + "," + std::to_string(pixel / run.c.width);
    return "";
}

std::string makeWorkFolder(const Options& o, std::string& error)
{
    std::error_code ignored;
    if (!o.keep.empty()) {
        std::filesystem::create_directories(o.keep, ignored);
        if (!std::filesystem::is_directory(o.keep, ignored))
            error = "cannot make the directory \"" + o.keep + "\"";
        return o.keep;
    }
    std::string name = (std::filesystem::temp_directory_path(ignored) / "sphaerix-conformance-XXXXXX").string();
    if (!mkdtemp(name.data()))
        error = "cannot make a work folder: " + std::string(std::strerror(errno));
    return name;
}

// Runs the command of every case, judging each as it ends; false when interrupted.
bool runCommand(Run& state, const std::vector<ConformanceCase>& cases, const std::string& folder)
{
    std::vector<CommandJob> jobs;
    for (const ConformanceCase& c : cases) {
        const std::filesystem::path base = std::filesystem::path(folder) / c.name;
        // Files of an earlier run in a kept folder must not pass for this one's.
        for (const char* stale : {".png", ".ppm", ".depth"})
            std::filesystem::remove(base.string() + stale);
        jobs.push_back({expandCommand(state.o.command, c, c.texture.empty() ? state.o.texture : c.texture,
                            base.string() + ".png", base.string() + ".depth"),
            base.string() + ".out", base.string() + ".err"});
    }
    return runCommands(jobs, state.o.jobs, state.o.timeout,
        [&](std::size_t index, const CommandOutcome& outcome) { state.judge(index, folder, &outcome); });
}

// Against the outcomes read from the baseline before the run.
void reportBaseline(const Options& o, const std::map<std::string, std::string>& before,
    const std::vector<CaseRun>& runs, bool& regressed)
{
    const BaselineChanges changes = compareWithBaseline(before, runs);
    auto names = [](const std::vector<std::string>& list) {
        std::string text;
        for (const std::string& name : list)
            text += (text.empty() ? ": " : ", ") + name;
        return std::to_string(list.size()) + text;
    };
    std::printf("against %s: %s regressed (equal there, not now); %s fixed%s\n", o.baseline.c_str(),
        names(changes.regressions).c_str(), names(changes.fixes).c_str(),
        changes.added.empty() ? "" : ("; " + names(changes.added) + " not in it").c_str());
    regressed = !changes.regressions.empty();
}

// JUnit, JSON and the exit status of a run's results, whole or merged from its shards,
// against the outcomes read from the baseline before the run.
int finishRun(const Options& o, const std::vector<CaseRun>& runs, const RunFacts& facts, const std::string& summary,
    double seconds, const std::map<std::string, std::string>& baseline)
{
    std::string error;
    if (!o.junit.empty() && !writeWholeFile(o.junit, junitXml(runs, seconds, facts), error))
        return fail(error);
    if (!o.json.empty() && !writeWholeFile(o.json, jsonLines(resultsJson(runs, summary, facts, seconds)) + "\n", error))
        return fail(error);
    if (!o.baseline.empty()) {
        bool regressed = false;
        reportBaseline(o, baseline, runs, regressed);
        return regressed ? 3 : 0;
    }
    int status = 0;
    for (const CaseRun& r : runs)
        if (r.result.outcome == Outcome::unreadable || r.result.outcome == Outcome::commandFailed)
            status = 1;
        else if (r.result.outcome != Outcome::equal && status == 0)
            status = 3;
    return status;
}

// The results of a run's shards, put together and judged as the whole run.
int merge(const Options& o)
{
    if (const std::string clash = fileClash(fileUses(o, {})); !clash.empty())
        return usageError(clash);
    std::map<std::string, std::string> baseline;
    std::vector<CaseRun> runs;
    RunFacts facts;
    double seconds = 0.0;
    std::string error;
    if ((!o.baseline.empty() && !readBaseline(o.baseline, baseline, error)) ||
        !mergeShards(o.merge, runs, facts, seconds, error))
        return fail(error);
    for (const CaseRun& run : runs)
        std::printf("%s\n", caseResultLine(run.c, run.result).c_str());
    const std::string summary = runSummary(runs, facts), closer = closerLine(runs);
    std::printf("%s\n%s", summary.c_str(), closer.empty() ? "" : (closer + "\n").c_str());
    return finishRun(o, runs, facts, summary, seconds, baseline);
}

int run(const Options& o, ReferenceFolder& reference)
{
    std::vector<ConformanceCase> cases;
    RunFacts facts{o.rules, o.random > 0 ? o.seed : std::nullopt, !o.command.empty(), o.shard, o.shards, 0, ""};
    if (const int status = loadCases(o, cases, facts))
        return status;
    if (o.list) {
        if (o.rules.any() && !o.listJson)
            std::printf("# under the rules %s\n", formatRules(o.rules).c_str());
        Json list = Json::array();
        int nameWidth = 15;
        for (const ConformanceCase& c : cases)
            nameWidth = std::max(nameWidth, int(c.name.size()));
        for (const ConformanceCase& c : cases)
            if (o.listJson)
                list.push_back(caseJson(c, o.texture));
            else
                std::printf("%s\n", caseLine(c, nameWidth).c_str());
        if (o.listJson) {
            std::string text = "[";
            for (std::size_t k = 0; k < list.size(); ++k)
                text += (k ? ",\n " : "") + list[k].dump(-1, ' ', false, Json::error_handler_t::replace);
            std::printf("%s]\n", text.c_str());
        }
        return 0;
    }
    if (const std::string clash = fileClash(fileUses(o, cases)); !clash.empty())
        return usageError(clash);
    // Files by our names that a tester put in the reference folder are not ours to replace.
    ReferenceFolder written{o.reference, {}, {}};
    const std::vector<std::string> foreign = o.reference.empty() ? std::vector<std::string>() : foreignCaseFiles(written, cases);
    if (!foreign.empty() && !o.replace)
        return usageError("--write-reference would replace files in \"" + o.reference + "\" that it did not write: " +
            someNames(foreign) + " (--replace replaces them)");
    Textures textures;
    if (const int status = readTextures(o, cases, textures))
        return status;
    std::error_code ignored;
    if (!o.dir.empty() && !std::filesystem::is_directory(o.dir, ignored))
        return fail("\"" + o.dir + "\" is not a directory");
    std::map<std::string, std::string> baseline;
    std::string error;
    if (!o.baseline.empty() && !readBaseline(o.baseline, baseline, error))
        return fail(error);
    if (!o.reference.empty()) {
        std::filesystem::create_directories(o.reference, ignored);
        if (!std::filesystem::is_directory(o.reference, ignored))
            return fail("cannot make the directory \"" + o.reference + "\"");
        reference = written;
    }

    Run state{o, textures, reference, {}, std::vector<bool>(cases.size()), std::vector<std::string>(cases.size()), 0, "",
        ""};
    for (const ConformanceCase& c : cases)
        state.runs.push_back({c, {}, 0.0, 0.0, snapshotCommand(c)});
    const auto start = std::chrono::steady_clock::now();
    if (!o.command.empty()) {
        const std::string folder = makeWorkFolder(o, error);
        if (!error.empty())
            return fail(error);
        const bool whole = runCommand(state, cases, folder);
        if (o.keep.empty())
            std::filesystem::remove_all(folder, ignored);
        if (!whole) {
            std::fprintf(stderr, "sphaerix-conformance: interrupted; the commands still running were stopped\n");
            return 130;
        }
    } else {
        for (std::size_t k = 0; k < cases.size() && state.error.empty(); ++k)
            state.judge(k, o.dir, nullptr);
    }
    if (!state.error.empty())
        return fail(state.error);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (o.dir.empty() && o.command.empty()) {
        std::printf("wrote %zu cases to %s%s\n", cases.size(), o.reference.c_str(),
            o.rules.any() ? (" under the rules " + formatRules(o.rules)).c_str() : "");
        return 0;
    }

    const std::string summary = runSummary(state.runs, facts), closer = closerLine(state.runs);
    std::printf("%s\n", summary.c_str());
    if (!closer.empty())
        std::printf("%s\n", closer.c_str());
    if (!o.command.empty())
        std::printf("%s\n", timingText(state.runs, seconds, o.jobs).c_str());
    if (!o.report.empty()) {
        std::string failed, equal;
        for (std::size_t k = 0; k < cases.size(); ++k)
            (state.runs[k].result.outcome == Outcome::equal ? equal : failed) += state.sections[k];
        if (!writeReport(o.report, summary, failed, equal, error))
            return fail(error);
    }
    return finishRun(o, state.runs, facts, summary, seconds, baseline);
}

// Usage errors among the options, or "".
std::string checkOptions(const Options& o, bool jsonGiven, bool rulesGiven)
{
    if (!o.merge.empty() && (!o.dir.empty() || !o.command.empty() || !o.reference.empty() || o.list ||
                                !o.report.empty() || o.shards > 0 || rulesGiven || !o.cases.empty() || o.random > 0 ||
                                !o.only.empty() || !o.keep.empty()))
        return "--merge reads the shards' results and runs nothing: no DIR, --run, --write-reference, --list, "
               "--report, --shard, --rules, --cases, --random, --only or --keep beside it";
    if (!o.merge.empty())
        return jsonGiven && o.json.empty() ? "--json needs a FILE" : "";
    if (o.list)
        return !o.dir.empty() || !o.command.empty() || !o.reference.empty() ? "--list runs nothing: no DIR, --run or --write-reference" : "";
    if (jsonGiven && o.json.empty())
        return "--json needs a FILE (or --list)";
    if (!o.command.empty() && !o.dir.empty())
        return "--run compares the files its command writes: no DIR beside it";
    if (!o.command.empty() && !missingPlaceholder(o.command).empty())
        return "--run: the command has no " + missingPlaceholder(o.command) + " placeholder, so its files cannot be found";
    if (o.dir.empty() && o.command.empty() && o.reference.empty())
        return "name a DIR to compare, --run 'COMMAND' or --write-reference OUTDIR";
    if (o.command.empty() && !o.keep.empty())
        return "--keep keeps the files of --run's command";
    if (o.replace && o.reference.empty())
        return "--replace needs --write-reference OUTDIR";
    if (o.jobs < 1)
        return "--jobs " + std::to_string(o.jobs) + ": at least 1";
    if (!(o.timeout > 0.0) || !std::isfinite(o.timeout))
        return "--timeout: a number of seconds above 0";
    const bool compares = !o.dir.empty() || !o.command.empty();
    if (!compares && (!o.report.empty() || !o.junit.empty() || !o.json.empty() || !o.baseline.empty()))
        return "--report, --junit, --json and --baseline need a DIR or --run";
    std::error_code ignored;
    for (const std::string* other : {&o.dir, &o.keep})
        if (!other->empty() && !o.reference.empty() && std::filesystem::equivalent(*other, o.reference, ignored))
            return "--write-reference " + o.reference + " would overwrite the files compared";
    return "";
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    CLI::App app{"Compares another rasterizer's frames of a list of views with Sphaerix's software frames; "
                 "runs that rasterizer for each view if asked.",
        "sphaerix-conformance"};
    app.footer(footer);
    app.add_option("DIR", o.dir, "the directory of files to compare: NAME.png or NAME.ppm, and NAME.depth")
        ->type_name("");
    app.add_option("--run", o.command, "run COMMAND once per case to make the files to compare (see below)")
        ->type_name("'COMMAND'");
    CLI::Option* jobsOption =
        app.add_option("--jobs", o.jobs, "cases run at once, default the number of processors")->type_name("N");
    app.add_option("--timeout", o.timeout, "seconds a case's command may take, default 60")->type_name("S");
    app.add_option("--keep", o.keep, "write the command's files in DIR and keep them")->type_name("DIR");
    app.add_option(
           "--cases", o.cases, "the case list, default the one built in (conformance/cases.txt)")
        ->type_name("FILE");
    app.add_option("--random", o.random, "add N random views, named random-SEED-K")->type_name("N");
    std::uint64_t seed = 0;
    CLI::Option* seedOption =
        app.add_option("--seed", seed, "the random views' seed, default taken from the clock")->type_name("S");
    app.add_flag("--list", o.list, "print the cases, one a line as the list has them, and run nothing");
    CLI::Option* jsonOption = app.add_option("--json", o.json,
                                     "write every case's outcome, line and first difference and the counts to "
                                     "FILE; with --list, print the cases as JSON objects")
                                  ->type_name("[FILE]")
                                  ->expected(0, 1);
    app.add_option("--junit", o.junit, "write JUnit XML for CI: one test case per view")->type_name("FILE");
    app.add_option("--baseline", o.baseline,
           "compare the outcomes with an earlier --json FILE: print the regressions and fixes")
        ->type_name("FILE");
    app.add_option("--texture", o.texture, "the sphere-map file, default sphere.raw")->type_name("FILE");
    app.add_option("--report", o.report,
           "write an HTML page: every case, failures first, each with its error mask and our "
           "history of its first differing pixel")
        ->type_name("FILE");
    app.add_option("--write-reference", o.reference,
           "write our NAME.png and NAME.depth of every case there, and their MD5s in "
           "OUTDIR/sphaerix-reference.md5; files by those names that it did not write are refused")
        ->type_name("OUTDIR");
    app.add_flag("--replace", o.replace, "let --write-reference replace files by its names that it did not write");
    app.set_version_flag("--version", "sphaerix-conformance " SPHAERIX_VERSION, "print the version and exit");
    std::string only, shard;
    app.add_option("--only", only, "only these cases, by name, as NAME,NAME...")->type_name("NAMES");
    CLI::Option* rulesOption = addRulesOption(app, o.rules);
    app.add_option("--shard", shard, "run only shard K of N: every N-th case from the K-th (K from 1; see below)")
        ->type_name("K/N");
    app.add_option("--merge", o.merge,
           "put the --json files of a run's shards together into the whole run's lines, count, --json, "
           "--junit and exit status (see below)")
        ->type_name("FILE");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const RulesHelp&) {
        std::fputs(rulesHelp().c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& version) {
        std::printf("%s\n", version.what());
        return 0;
    } catch (const CLI::ParseError& e) {
        return usageError(e.what());
    }
    for (std::size_t from = 0; !only.empty() && from <= only.size();) {
        const std::size_t comma = std::min(only.find(',', from), only.size());
        o.only.push_back(only.substr(from, comma - from));
        from = comma + 1;
    }
    if (o.random < 0 || o.random > 100000)
        return usageError("--random " + std::to_string(o.random) + ": 0 to 100000 views");
    if (seedOption->count() > 0 && o.random == 0)
        return usageError("--seed needs --random N");
    if (!shard.empty() && !parseShard(shard, o.shard, o.shards))
        return usageError("--shard \"" + shard + "\": K/N, shard K of N, with 1 <= K <= N < 1000000000");
    if (o.shards > 0 && o.random > 0 && seedOption->count() == 0)
        return usageError("--shard with --random needs --seed S, the same on every machine");
    if (o.random > 0)
        o.seed = seedOption->count() > 0
            ? seed
            : std::uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                    .count() %
                  1000000);
    o.listJson = o.list && jsonOption->count() > 0;
    if (o.listJson && !o.json.empty())
        return usageError("--list --json prints the list: no FILE");
    if (jobsOption->count() == 0)
        o.jobs = std::max(1, int(sysconf(_SC_NPROCESSORS_ONLN)));
    if (const std::string problem = checkOptions(o, jsonOption->count() > 0, rulesOption->count() > 0);
        !problem.empty())
        return usageError(problem);
    if (!o.merge.empty())
        return merge(o);
    // The reference folder's list of what was written is kept on every way out of a run.
    ReferenceFolder reference;
    int status = 0;
    try {
        status = run(o, reference);
    } catch (const std::bad_alloc&) {
        status = fail("not enough memory for the frames of this case list");
    }
    std::string error;
    if (!reference.dir.empty() && !saveReferenceManifest(reference, error))
        status = fail(error);
    return status;
}
