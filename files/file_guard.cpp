#include "files/file_guard.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>

namespace fs = std::filesystem;

namespace {

// A name that does not exist, followed through the symbolic links that lead to it.
fs::path danglingTarget(fs::path path)
{
    std::error_code error;
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(path, error)); ++hops) {
        const fs::path target = fs::read_symlink(path, error);
        if (error)
            break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

// What names the file: "dev:ino" for an existing regular file, the resolved absolute path
// for a file still to be made, nothing for anything else. Folders are resolved once each,
// since a run may name a few hundred thousand files in the same two or three folders.
std::optional<std::string> fileKey(const std::string& path, std::map<fs::path, fs::path>& folders)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode))
            return std::nullopt;
        return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    }
    std::error_code error;
    const fs::path absolute = fs::absolute(danglingTarget(path), error);
    const fs::path name = absolute.filename();
    if (error || name.empty() || name == "." || name == "..")
        return "path:" + fs::weakly_canonical(absolute, error).string();
    auto folder = folders.find(absolute.parent_path());
    if (folder == folders.end())
        folder = folders.emplace(absolute.parent_path(), fs::weakly_canonical(absolute.parent_path(), error)).first;
    return "path:" + (folder->second / name).string();
}

std::string named(const FileUse& use)
{
    return use.option + " \"" + use.path + "\"";
}

} // namespace

std::string fileClash(const std::vector<FileUse>& uses)
{
    std::map<std::string, const FileUse*> seen;
    std::map<fs::path, fs::path> folders;
    for (const FileUse& use : uses) {
        const std::optional<std::string> key = fileKey(use.path, folders);
        if (!key)
            continue;
        const auto [at, first] = seen.emplace(*key, &use);
        const FileUse& other = *at->second;
        if (first || !(use.writes || other.writes))
            continue;
        const FileUse& writer = use.writes ? use : other;
        const FileUse& target = use.writes ? other : use;
        return named(writer) + " would overwrite " + named(target) +
               (writer.path == target.path ? "" : " (the same file)") +
               (target.writes ? ", which this run also writes" : ", which this run reads") + "; nothing was written";
    }
    return "";
}
