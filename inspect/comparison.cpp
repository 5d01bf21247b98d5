#include "inspect/comparison.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

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

namespace {

// Pixel p (y * width + x) of a top-row-first picture.
const unsigned char* pictureRgb(const RgbImage& image, long long p)
{
    const long long x = p % image.width, row = image.height - 1 - p / image.width;
    return image.rgb.data() + (std::size_t(row) * image.width + std::size_t(x)) * 3;
}

std::string positionText(const FrameDifference& d, long long p)
{
    const long long x = p % d.width, y = p / d.width;
    return std::to_string(x) + "," + std::to_string(y) + " (row " + std::to_string(d.height - 1 - y) + " from the top)";
}

// Calls each(p) for the first `count` differing pixels, in buffer order.
template <typename Each>
void eachDifference(const FrameDifference& d, long long count, Each each)
{
    for (std::size_t p = 0; p < d.differs.size() && count > 0; ++p)
        if (d.differs[p]) {
            each(static_cast<long long>(p));
            --count;
        }
}

Json differenceJson(const FrameDifference& d, long long p)
{
    return {{"x", p % d.width}, {"y", p / d.width}, {"row_from_top", d.height - 1 - p / d.width}};
}

Json summaryJson(const std::string& path, const FrameDifference& d, int cap, Json largest, Json differences,
                 const std::string& ourDigest, const std::string& theirDigest)
{
    return {{"file", path},
            {"compared", (long long)(d.width) * d.height},
            {"differing", d.count},
            {"largest_difference", largest},
            {"md5", {{"ours", ourDigest}, {"theirs", theirDigest}}},
            {"max_differences", cap},
            {"cut", d.count > cap},
            {"differences", differences}};
}

} // namespace

std::string listColorDifferences(const FrameDifference& d, const RgbImage& ours, const RgbImage& theirs, int count)
{
    std::string text;
    eachDifference(d, count, [&](long long p) {
        const unsigned char *a = pictureRgb(ours, p), *b = pictureRgb(theirs, p);
        text += "  " + positionText(d, p) + ": ours " + std::to_string(a[0]) + " " + std::to_string(a[1]) + " " +
                std::to_string(a[2]) + ", theirs " + std::to_string(b[0]) + " " + std::to_string(b[1]) + " " +
                std::to_string(b[2]) + "\n";
    });
    return text;
}

std::string listDepthDifferences(const FrameDifference& d, const std::vector<float>& ours,
                                 const std::vector<float>& theirs, int count)
{
    std::string text;
    eachDifference(d, count, [&](long long p) {
        text += "  " + positionText(d, p) + ": ours " + exactText(ours[std::size_t(p)]) + ", theirs " +
                exactText(theirs[std::size_t(p)]) + "\n";
    });
    return text;
}

Json colorDifferenceJson(const std::string& path, const FrameDifference& d, const RgbImage& ours,
                         const RgbImage& theirs, int cap)
{
    Json list = Json::array();
    eachDifference(d, cap, [&](long long p) {
        const unsigned char *a = pictureRgb(ours, p), *b = pictureRgb(theirs, p);
        Json j = differenceJson(d, p);
        j["ours"] = {a[0], a[1], a[2]};
        j["theirs"] = {b[0], b[1], b[2]};
        list.push_back(j);
    });
    return summaryJson(path, d, cap, int(d.largest), list, md5Hex(ours.rgb.data(), ours.rgb.size()),
                       md5Hex(theirs.rgb.data(), theirs.rgb.size()));
}

Json depthDifferenceJson(const std::string& path, const FrameDifference& d, const std::vector<float>& ours,
                         const std::vector<float>& theirs, int cap)
{
    Json list = Json::array();
    eachDifference(d, cap, [&](long long p) {
        Json j = differenceJson(d, p);
        j["ours"] = exactJson(ours[std::size_t(p)]);
        j["theirs"] = exactJson(theirs[std::size_t(p)]);
        list.push_back(j);
    });
    const std::vector<unsigned char> a = depthFileBytes(ours.data(), ours.size());
    const std::vector<unsigned char> b = depthFileBytes(theirs.data(), theirs.size());
    return summaryJson(path, d, cap, exactJson(static_cast<float>(d.largest)), list, md5Hex(a.data(), a.size()),
                       md5Hex(b.data(), b.size()));
}

RgbImage errorMask(const RgbImage& ours, const FrameDifference* colors, const FrameDifference* depths,
                   const SlideWindow& window, int margin)
{
    // 0 equal, 1 colour, 2 depth, 3 both; per pixel, row 0 at the bottom.
    const std::size_t pixels = std::size_t(ours.width) * ours.height;
    std::vector<unsigned char> kind(pixels);
    for (std::size_t p = 0; p < pixels; ++p)
        kind[p] = static_cast<unsigned char>((colors && colors->differs[p] ? 1 : 0) | (depths && depths->differs[p] ? 2 : 0));
    constexpr unsigned char marks[4][3] = {{0, 0, 0}, {255, 0, 0}, {40, 90, 255}, {255, 0, 255}};
    RgbImage mask{ours.width, ours.height, std::vector<unsigned char>(ours.rgb.size())};
    for (int y = 0; y < ours.height; ++y)
        for (int x = 0; x < ours.width; ++x) {
            const std::size_t pixel = std::size_t(y) * ours.width + x;
            const std::size_t at = (std::size_t(ours.height - 1 - y) * ours.width + x) * 3;
            const unsigned char* p = ours.rgb.data() + at;
            const auto grey = static_cast<unsigned char>(48 + (p[0] * 3 + p[1] * 6 + p[2]) / 40);
            for (int c = 0; c < 3; ++c)
                mask.rgb[at + c] = kind[pixel] ? marks[kind[pixel]][c] : grey;
        }
    const RgbImage inner = slidePicture(mask, window);
    RgbImage slide{inner.width + 2 * margin, inner.height + 2 * margin,
                   std::vector<unsigned char>(std::size_t(inner.width + 2 * margin) * (inner.height + 2 * margin) * 3, 24)};
    for (int row = 0; row < inner.height; ++row)
        std::copy_n(inner.rgb.begin() + std::ptrdiff_t(row) * inner.width * 3, std::size_t(inner.width) * 3,
                    slide.rgb.begin() + (std::ptrdiff_t(row + margin) * slide.width + margin) * 3);
    // A ring three slide pixels out from each differing pixel's block, so that a single
    // pixel shows at a glance in a large frame.
    auto inside = [&](int column, int row) { return column >= 0 && row >= 0 && column < inner.width && row < inner.height; };
    auto differsAt = [&](int column, int row) {
        return inside(column, row) && kind[std::size_t(window.windowY(row)) * ours.width + window.windowX(column)] != 0;
    };
    const int s = window.scale, gap = maskRingGap;
    for (int row = 0; row < window.height; ++row)
        for (int column = 0; column < window.width; ++column) {
            if (!differsAt(column * s, row * s))
                continue;
            const int left = column * s - gap, top = row * s - gap, side = s + 2 * gap;
            for (int k = 0; k < side; ++k)
                for (const auto& [c, r] : {std::pair{left + k, top}, std::pair{left + k, top + side - 1},
                                           std::pair{left, top + k}, std::pair{left + side - 1, top + k}})
                    if (c >= -margin && r >= -margin && c < inner.width + margin && r < inner.height + margin &&
                        !differsAt(c, r)) {
                        unsigned char* out = slide.rgb.data() + (std::size_t(r + margin) * slide.width + c + margin) * 3;
                        out[0] = 255, out[1] = 220, out[2] = 0;
                    }
        }
    return slide;
}

std::string depthSizeProblem(const std::string& name, unsigned long long bytes, std::size_t values)
{
    if (bytes == static_cast<unsigned long long>(values) * 4)
        return "";
    return "\"" + name + "\" has " + std::to_string(bytes) + " bytes; the frame's depth has " +
        std::to_string(values * 4);
}

std::vector<float> depthFromBytes(const unsigned char* bytes, std::size_t count)
{
    std::vector<float> depth(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t bits = 0;
        for (int k = 0; k < 4; ++k)
            bits |= std::uint32_t(bytes[i * 4 + std::size_t(k)]) << (8 * k);
        std::memcpy(&depth[i], &bits, 4);
    }
    return depth;
}
