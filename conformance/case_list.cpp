#include "conformance/case_list.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <nlohmann/json.hpp>

#include "raster/frame_limits.h"

namespace {

// The whole text must be a finite number, as the snapshot's options read them.
bool readFloat(const std::string& text, float& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

bool readSide(const std::string& text, int& side)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    side = std::atoi(text.c_str());
    return side >= 1 && side <= largestSide;
}

bool readSize(const std::string& text, int& width, int& height)
{
    const std::size_t x = text.find('x');
    return x != std::string::npos && readSide(text.substr(0, x), width) &&
        readSide(text.substr(x + 1), height);
}

bool readPan(const std::string& text, float& x, float& y)
{
    const std::size_t comma = text.find(',');
    return comma != std::string::npos && readFloat(text.substr(0, comma), x) &&
        readFloat(text.substr(comma + 1), y);
}

bool goodName(const std::string& name)
{
    return name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_") ==
        std::string::npos;
}

// What is wrong with one line's fields, or "" when `c` was filled.
std::string readCase(const std::vector<std::string>& f, ConformanceCase& c)
{
    if (f.size() < 6 || f.size() > 7)
        return "has " + std::to_string(f.size()) +
            " fields; a case is NAME WxH ANGLE-Z ANGLE-X PANX,PANY ZOOM [TEXTURE]";
    c.name = f[0];
    if (!goodName(c.name))
        return "name \"" + c.name + "\" may hold only letters, digits, '-' and '_'";
    if (!readSize(f[1], c.width, c.height))
        return "size \"" + f[1] + "\" is not WxH with 1.." + std::to_string(largestSide) + " per side";
    if (!readFloat(f[2], c.angleZ) || !readFloat(f[3], c.angleX))
        return "angles \"" + f[2] + " " + f[3] + "\" are not two finite numbers";
    if (!readPan(f[4], c.panX, c.panY))
        return "pan \"" + f[4] + "\" is not X,Y";
    if (!readFloat(f[5], c.zoom))
        return "zoom \"" + f[5] + "\" is not a finite number";
    c.angleZText = f[2], c.angleXText = f[3], c.panText = f[4], c.zoomText = f[5];
    c.texture = f.size() == 7 ? f[6] : "";
    return "";
}

} // namespace

bool parseCaseList(const std::string& text, const std::string& source, const std::string& textureBase,
    std::vector<ConformanceCase>& cases, std::string& error)
{
    std::istringstream lines(text);
    std::string line;
    std::set<std::string> names;
    cases.clear();
    for (int number = 1; std::getline(lines, line); ++number) {
        // A '#' starts a comment, on a line of its own or after a case.
        std::istringstream words(line.substr(0, line.find('#')));
        std::vector<std::string> fields;
        for (std::string word; words >> word;)
            fields.push_back(word);
        if (fields.empty())
            continue;
        ConformanceCase c;
        std::string problem = readCase(fields, c);
        if (problem.empty() && !names.insert(c.name).second)
            problem = "name \"" + c.name + "\" is used twice";
        if (!problem.empty()) {
            error = source + " line " + std::to_string(number) + ": " + problem;
            return false;
        }
        if (!c.texture.empty() && std::filesystem::path(c.texture).is_relative())
            c.texture = (std::filesystem::path(textureBase) / c.texture).string();
        c.line = number;
        cases.push_back(c);
    }
    if (cases.empty()) {
        error = source + " has no cases";
        return false;
    }
    return true;
}

std::string caseTitle(const ConformanceCase& c)
{
    return c.name + " " + std::to_string(c.width) + "x" + std::to_string(c.height);
}

std::string snapshotCommand(const ConformanceCase& c)
{
    std::string command = "sphaerix-snapshot --size " + std::to_string(c.width) + "x" +
        std::to_string(c.height) + " --angle-z " + c.angleZText + " --angle-x " + c.angleXText + " --pan " +
        c.panText + " --zoom " + c.zoomText;
    if (!c.texture.empty())
        command += " --texture " + c.texture;
    if (c.rules.any())
        command += " --rules " + formatRules(c.rules);
    return command;
}

std::string caseLine(const ConformanceCase& c, int nameWidth)
{
    char line[512];
    std::snprintf(line, sizeof line, "%-*s %-10s %-9s %-9s %-11s %s", nameWidth, c.name.c_str(),
        (std::to_string(c.width) + "x" + std::to_string(c.height)).c_str(), c.angleZText.c_str(),
        c.angleXText.c_str(), c.panText.c_str(), c.zoomText.c_str());
    std::string text = line;
    if (!c.texture.empty())
        text += " " + c.texture;
    return text;
}

Json caseJson(const ConformanceCase& c, const std::string& runTexture)
{
    return Json{{"name", c.name}, {"width", c.width}, {"height", c.height}, {"angle_z", exactJson(c.angleZ)},
        {"angle_x", exactJson(c.angleX)}, {"pan_x", exactJson(c.panX)}, {"pan_y", exactJson(c.panY)},
        {"zoom", exactJson(c.zoom)}, {"texture", c.texture.empty() ? runTexture : c.texture},
        {"snapshot", snapshotCommand(c)}};
}
