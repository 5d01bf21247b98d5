#include "tools/sphaerix-conformance/case_files.h"

#include <filesystem>
#include <vector>

#include "files/depth_file.h"
#include "files/image_file.h"

namespace {

std::string existing(const std::filesystem::path& path)
{
    std::error_code ignored;
    return std::filesystem::exists(path, ignored) ? path.string() : "";
}

} // namespace

CaseResult compareCase(const ConformanceCase& c, const ReferenceFrame& ours, const std::string& dir, bool withDetails)
{
    const std::filesystem::path base = std::filesystem::path(dir) / c.name;
    std::string colorPath = existing(base.string() + ".png");
    if (colorPath.empty())
        colorPath = existing(base.string() + ".ppm");
    const std::string depthPath = existing(base.string() + ".depth");

    std::string error;
    RgbImage theirImage;
    std::vector<float> theirDepth;
    TheirFrame theirs;
    if (!colorPath.empty()) {
        if (!readImageFile(colorPath, theirImage, error))
            return unreadableCase(error);
        theirs.image = &theirImage, theirs.imageName = colorPath;
    }
    // Another size is named before the depth file is read, as a reader of the lines expects.
    if (theirs.image && (theirImage.width != c.width || theirImage.height != c.height))
        return compareCaseFrames(c, ours, theirs, withDetails);
    if (!depthPath.empty()) {
        if (!readDepthValues(depthPath, ours.depth.size(), theirDepth, error))
            return unreadableCase(error);
        theirs.depth = &theirDepth, theirs.depthName = depthPath;
    }
    return compareCaseFrames(c, ours, theirs, withDetails);
}
