#include "tools/sphaerix-conformance/reference_folder.h"

#include <filesystem>
#include <sstream>

#include "files/image_file.h"
#include "files/whole_file.h"
#include "inspect/md5.h"

namespace fs = std::filesystem;

const char* const referenceManifest = "sphaerix-reference.md5";

namespace {

std::string md5Of(const std::string& bytes)
{
    return md5Hex(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

std::string inFolder(const std::string& dir, const std::string& name)
{
    return (fs::path(dir) / name).string();
}

bool writeNoted(ReferenceFolder& folder, const std::string& name, const std::string& bytes, RasterRules rules,
    std::string& error)
{
    if (!writeWholeFile(inFolder(folder.dir, name), bytes, error))
        return false;
    folder.written[name] = md5Of(bytes);
    if (rules.any())
        folder.rules[name] = formatRules(rules);
    else
        folder.rules.erase(name);
    return true;
}

const std::string rulesComment = "# under the rules ";

} // namespace

std::vector<std::string> referenceFiles(const std::string& dir, const std::vector<ConformanceCase>& cases)
{
    std::vector<std::string> paths{inFolder(dir, referenceManifest)};
    for (const ConformanceCase& c : cases)
        for (const char* extension : {".png", ".depth"})
            paths.push_back(inFolder(dir, c.name + extension));
    return paths;
}

std::vector<std::string> foreignCaseFiles(ReferenceFolder& folder, const std::vector<ConformanceCase>& cases)
{
    std::string text;
    readWholeFile(inFolder(folder.dir, referenceManifest), text);
    std::istringstream lines(text);
    std::string rules;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        if (line.starts_with(rulesComment))
            rules = line.substr(rulesComment.size());
        else if (std::string digest, name; words >> digest >> name && digest[0] != '#') {
            folder.written[name] = digest;
            if (!rules.empty())
                folder.rules[name] = rules;
        }
    }
    std::vector<std::string> foreign;
    std::error_code ignored;
    for (const ConformanceCase& c : cases)
        for (const char* extension : {".png", ".depth"}) {
            const std::string name = c.name + extension, path = inFolder(folder.dir, name);
            if (!fs::exists(fs::symlink_status(path, ignored)))
                continue;
            std::string bytes;
            const auto noted = folder.written.find(name);
            if (noted == folder.written.end() || !readWholeFile(path, bytes) || md5Of(bytes) != noted->second)
                foreign.push_back(name);
        }
    return foreign;
}

bool writeReferenceCase(ReferenceFolder& folder, const ConformanceCase& c, const ReferenceFrame& ours,
    std::string& error)
{
    std::string png;
    if (!imagePngBytes(ours.image, png, error)) {
        error = "cannot write \"" + inFolder(folder.dir, c.name + ".png") + "\": " + error;
        return false;
    }
    const std::vector<unsigned char> depth = depthFileBytes(ours.depth.data(), ours.depth.size());
    return writeNoted(folder, c.name + ".png", png, c.rules, error) &&
        writeNoted(folder, c.name + ".depth", std::string(depth.begin(), depth.end()), c.rules, error);
}

bool saveReferenceManifest(const ReferenceFolder& folder, std::string& error)
{
    // The files under our own rules first, then those of each list of rules.
    std::map<std::string, std::string> sections;
    for (const auto& [name, digest] : folder.written) {
        const auto rules = folder.rules.find(name);
        std::string& section = sections[rules == folder.rules.end() ? "" : rules->second];
        section += digest + "  " + name + "\n";
    }
    std::string text;
    for (const auto& [rules, lines] : sections)
        text += (rules.empty() ? "" : rulesComment + rules + "\n") + lines;
    return writeWholeFile(inFolder(folder.dir, referenceManifest), text, error);
}
