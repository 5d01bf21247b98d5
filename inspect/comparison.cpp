#include "inspect/comparison.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "inspect/exact_number.h"
#include "inspect/md5.h"

FrameDifference compareColors(const RgbImage& ours, const RgbImage& theirs)
{
    FrameDifference d{ours.width, ours.height, std::vector<unsigned char>(std::size_t(ours.width) * ours.height)};
    for (int y = 0; y < ours.height; ++y)
        for (int x = 0; x < ours.width; ++x) {
            const std::size_t at = (std::size_t(ours.height - 1 - y) * ours.width + x) * 3;
            const std::size_t pixel = std::size_t(y) * ours.width + x;
            for (int c = 0; c < 3; ++c) {
                const int difference = std::abs(int(ours.rgb[at + c]) - int(theirs.rgb[at + c]));
                d.largest = std::max(d.largest, double(difference));
                d.differs[pixel] |= difference != 0;
            }
            if (d.differs[pixel] && d.count++ == 0)
                d.first = static_cast<long long>(pixel);
        }
    return d;
}

FrameDifference compareDepths(const std::vector<float>& ours, const std::vector<float>& theirs,
                              int width, int height)
{
    FrameDifference d{width, height, std::vector<unsigned char>(ours.size())};
    for (std::size_t i = 0; i < ours.size(); ++i) {
        const float a = ours[i], b = theirs[i];
        if (a == b || (std::isnan(a) && std::isnan(b)))
            continue;
        d.differs[i] = 1;
        if (d.count++ == 0)
            d.first = static_cast<long long>(i);
        // Over the pairs that are both numbers; a NaN on one side only still counts as a difference.
        const double gap = std::fabs(double(a) - double(b));
        if (gap > d.largest)
            d.largest = gap;
    }
    return d;
}

namespace {

// "N of T pixels differ (P%)"
std::string countText(const FrameDifference& d, const char* what)
{
    const double total = double(d.width) * d.height;
    char text[160];
    std::snprintf(text, sizeof text, "%lld of %.0f %s differ (%.4g%%)", d.count, total, what,
                  total > 0 ? 100.0 * double(d.count) / total : 0.0);
    return text;
}

std::string firstText(const FrameDifference& d)
{
    const long long x = d.first % d.width, y = d.first / d.width;
    return "first at " + std::to_string(x) + "," + std::to_string(y) + " (row " +
           std::to_string(d.height - 1 - y) + " from the top)";
}

std::string rgbText(const RgbImage& image, int x, int row)
{
    const unsigned char* p = image.rgb.data() + (std::size_t(row) * image.width + x) * 3;
    return std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]);
}

} // namespace

std::string describeColorDifference(const std::string& path, const FrameDifference& d,
                                    const RgbImage& ours, const RgbImage& theirs)
{
    std::string line = "against " + path + ": " + countText(d, "pixels") +
                       ", largest channel difference " + std::to_string(int(d.largest));
    if (d.first >= 0) {
        const int x = int(d.first % d.width), row = d.height - 1 - int(d.first / d.width);
        line += ", " + firstText(d) + ": ours " + rgbText(ours, x, row) + ", theirs " + rgbText(theirs, x, row);
    }
    return line + "; md5 ours " + md5Hex(ours.rgb.data(), ours.rgb.size()) + ", theirs " +
           md5Hex(theirs.rgb.data(), theirs.rgb.size());
}

std::string describeDepthDifference(const std::string& path, const FrameDifference& d,
                                    const std::vector<float>& ours, const std::vector<float>& theirs)
{
    std::string line = "against depth " + path + ": " + countText(d, "values") + ", largest difference " +
                       exactText(static_cast<float>(d.largest));
    if (d.first >= 0)
        line += ", " + firstText(d) + ": ours " + exactText(ours[std::size_t(d.first)]) + ", theirs " +
                exactText(theirs[std::size_t(d.first)]);
    const std::vector<unsigned char> a = depthFileBytes(ours.data(), ours.size());
    const std::vector<unsigned char> b = depthFileBytes(theirs.data(), theirs.size());
    return line + "; md5 ours " + md5Hex(a.data(), a.size()) + ", theirs " + md5Hex(b.data(), b.size());
}

RgbImage errorMask(const RgbImage& ours, const FrameDifference* colors, const FrameDifference* depths)
{
    RgbImage mask{ours.width, ours.height, std::vector<unsigned char>(ours.rgb.size())};
    for (int y = 0; y < ours.height; ++y)
        for (int x = 0; x < ours.width; ++x) {
            const std::size_t pixel = std::size_t(y) * ours.width + x;
            const std::size_t at = (std::size_t(ours.height - 1 - y) * ours.width + x) * 3;
            const bool differs = (colors && colors->differs[pixel]) || (depths && depths->differs[pixel]);
            const unsigned char* p = ours.rgb.data() + at;
            const auto grey = static_cast<unsigned char>(48 + (p[0] * 3 + p[1] * 6 + p[2]) / 40);
            mask.rgb[at] = differs ? 255 : grey;
            mask.rgb[at + 1] = differs ? 0 : grey;
            mask.rgb[at + 2] = differs ? 0 : grey;
        }
    return mask;
}
