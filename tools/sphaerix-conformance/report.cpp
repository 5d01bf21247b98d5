#include "tools/sphaerix-conformance/report.h"

#include <algorithm>
#include <cstdio>

#include "tools/sphaerix-conformance/results.h"
#include "files/image_file.h"
#include "files/whole_file.h"

namespace {

const char* outcomeClass(Outcome outcome)
{
    switch (outcome) {
    case Outcome::equal:
        return "equal";
    case Outcome::differs:
        return "differs";
    case Outcome::missing:
        return "missing";
    case Outcome::unreadable:
    case Outcome::commandFailed:
        break;
    }
    return "error";
}

std::string rgbText(const unsigned char* rgb)
{
    return std::to_string(rgb[0]) + " " + std::to_string(rgb[1]) + " " + std::to_string(rgb[2]);
}

// A percentage of a side for CSS, the centre of pixel `index` of `count`.
std::string centre(long long index, int count)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4f%%", (double(index) + 0.5) * 100.0 / count);
    return text;
}

// The colours errorMask paints, as the legend shows them.
const char* const legend =
    "<p class=\"legend\"><span style=\"background:#ff0000\"></span> colour differs "
    "<span style=\"background:#285aff\"></span> depth differs "
    "<span style=\"background:#ff00ff\"></span> both differ "
    "<span style=\"background:#ffdc00\"></span> around a differing pixel "
    "<span class=\"first\"></span> the first difference "
    "<span style=\"background:#808080\"></span> equal (our frame, dimmed)</p>\n";

// Their value beside ours at the first difference, as far as their files were read.
std::string valuesTable(const CaseResult& r)
{
    std::string rows;
    if (r.first.color)
        rows += "<tr><th>colour</th><td>" + rgbText(r.first.ourRgb) + "</td><td>" + rgbText(r.first.theirRgb) +
            "</td></tr>";
    if (r.first.depth)
        rows += "<tr><th>depth</th><td>" + exactText(r.first.ourDepth) + "</td><td>" +
            exactText(r.first.theirDepth) + "</td></tr>";
    return rows.empty() ? "" : "<table class=\"values\"><tr><th></th><th>ours</th><th>theirs</th></tr>" + rows + "</table>\n";
}

} // namespace

std::string base64(const std::string& bytes)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        unsigned group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? digits[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

std::string reportSection(
    const ConformanceCase& c, const CaseResult& r, const std::string& history, std::string& error)
{
    if (r.outcome == Outcome::equal)
        return "<li id=\"" + c.name + "\">" + markupEscaped(caseTitle(c)) + " <code>" + markupEscaped(snapshotCommand(c)) +
            "</code></li>\n";
    std::string html = "<section class=\"" + std::string(outcomeClass(r.outcome)) + "\" id=\"" + c.name +
        "\">\n<h2>" + markupEscaped(caseTitle(c)) + ": " + outcomeClass(r.outcome) + "</h2>\n<p>" +
        markupEscaped(r.line.empty() ? "colour and depth equal" : r.line) + "</p>\n<p>Our view: <code>" +
        markupEscaped(snapshotCommand(c)) + "</code></p>\n";
    for (const std::string* detail : {&r.colorDetail, &r.depthDetail})
        if (!detail->empty())
            html += "<p class=\"detail\">" + markupEscaped(*detail) + "</p>\n";
    if (r.firstPixel >= 0) {
        std::string png;
        if (!imagePngBytes(r.mask, png, error))
            return "";
        // Small frames are enlarged so that single pixels can be seen, large ones shrink
        // to the page's width; the ring, placed in shares of the picture, marks the first.
        const int scale = std::clamp(320 / std::max(c.width, c.height), 1, 64);
        const long long x = r.firstPixel % c.width, y = r.firstPixel / c.width, row = c.height - 1 - y;
        const std::string pixel = std::to_string(x) + "," + std::to_string(y);
        html += "<p>First difference: pixel " + pixel + " (window coordinates, row " + std::to_string(row) +
            " from the top)</p>\n" + valuesTable(r) + "<p>Error mask, the first difference ringed:</p>\n" + legend +
            "<div class=\"mask\"><img alt=\"error mask of " + c.name + "\" width=\"" +
            std::to_string(c.width * scale) + "\" height=\"" + std::to_string(c.height * scale) +
            "\" src=\"data:image/png;base64," + base64(png) + "\"><div class=\"ring\" data-pixel=\"" + pixel +
            "\" style=\"left:" + centre(x, c.width) + ";top:" + centre(row, c.height) + "\"></div></div>\n";
        html += "<p>Our history of pixel " + pixel + ", as <code>" + markupEscaped(snapshotCommand(c)) + " --history " +
            pixel + "</code> prints it:</p>\n<pre>" + markupEscaped(history) + "</pre>\n";
    }
    return html + "</section>\n";
}

bool writeReport(const std::string& path, const std::string& summary, const std::string& failed,
    const std::string& equal, std::string& error)
{
    const std::size_t equalCount = std::size_t(std::count(equal.begin(), equal.end(), '\n'));
    const std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                             "<meta name=\"viewport\" content=\"width=device-width\">\n"
                             "<title>Sphaerix conformance: " +
        markupEscaped(summary) +
        "</title>\n<style>\n"
        "body { font-family: sans-serif; margin: 1em 2em; max-width: 80em; overflow-wrap: anywhere; }\n"
        "section { border-left: 6px solid #888; padding: 0 1em; margin: 1.5em 0; }\n"
        "section.differs, section.error { border-color: #c22; } section.missing { border-color: #e90; }\n"
        ".detail { font-family: monospace; font-size: 90%; }\n"
        ".mask { position: relative; display: inline-block; max-width: 100%; }\n"
        ".mask img { image-rendering: pixelated; display: block; max-width: 100%; height: auto; }\n"
        ".ring { position: absolute; width: 14px; height: 14px; transform: translate(-50%, -50%); "
        "border: 2px solid #0cf; border-radius: 50%; }\n"
        ".legend span { display: inline-block; width: 0.9em; height: 0.9em; border: 1px solid #444; "
        "vertical-align: middle; margin-left: 0.8em; }\n"
        ".legend span.first { border: 2px solid #0cf; border-radius: 50%; }\n"
        ".values td, .values th { padding: 0 0.8em 0 0; text-align: left; font-family: monospace; }\n"
        "pre { background: #f4f4f4; padding: 0.5em; overflow-x: auto; }\n"
        "details li { margin: 0.2em 0; }\n"
        "</style>\n</head>\n<body>\n<h1>Sphaerix conformance: " +
        markupEscaped(summary) + "</h1>\n" + failed +
        (equalCount == 0 ? ""
                         : "<details class=\"equal\"><summary>" + std::to_string(equalCount) +
                     " equal cases</summary>\n<ul>\n" + equal + "</ul>\n</details>\n") +
        "</body>\n</html>\n";
    return writeWholeFile(path, page, error);
}
