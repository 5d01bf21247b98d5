#include "tools/conformance/report.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/snapshot/file_handle.h"
#include "tools/snapshot/image_file.h"

namespace {

std::string escaped(const std::string& text)
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

// The PNG writer works on files: the mask goes through a private temporary one.
bool pngBytes(const RgbImage& image, std::string& bytes, std::string& error)
{
    std::string name = (std::filesystem::temp_directory_path() / "sphaerix-mask-XXXXXX.png").string();
    const int fd = mkstemps(name.data(), 4);
    if (fd < 0) {
        error = std::string("cannot make a temporary file for a mask: ") + std::strerror(errno);
        return false;
    }
    close(fd);
    const bool written = writeImage(image, name, error);
    if (written) {
        std::ostringstream text;
        text << std::ifstream(name, std::ios::binary).rdbuf();
        bytes = text.str();
    }
    std::remove(name.c_str());
    return written;
}

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
        break;
    }
    return "unreadable";
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
        return "<section class=\"equal\" id=\"" + c.name + "\"><p>" + escaped(caseTitle(c)) +
            ": equal</p></section>\n";
    std::string html = "<section class=\"" + std::string(outcomeClass(r.outcome)) + "\" id=\"" + c.name +
        "\">\n<h2>" + escaped(caseTitle(c)) + ": " + outcomeClass(r.outcome) + "</h2>\n<p>" +
        escaped(r.line.empty() ? "colour and depth equal" : r.line) + "</p>\n<p>Our view: <code>" +
        escaped(snapshotCommand(c)) + "</code></p>\n";
    for (const std::string* detail : {&r.colorDetail, &r.depthDetail})
        if (!detail->empty())
            html += "<p class=\"detail\">" + escaped(*detail) + "</p>\n";
    if (r.firstPixel >= 0) {
        std::string png;
        if (!pngBytes(r.mask, png, error))
            return "";
        // Small frames are enlarged so that single pixels can be seen; the ring marks the first.
        const int scale = std::clamp(320 / std::max(c.width, c.height), 1, 64);
        const int ring = std::max(12, scale + 6);
        const long long x = r.firstPixel % c.width, y = r.firstPixel / c.width, row = c.height - 1 - y;
        const std::string pixel = std::to_string(x) + "," + std::to_string(y);
        html += "<p>Error mask (red: colour or depth differs; grey: equal), the first differing pixel "
                "ringed:</p>\n<div class=\"mask\" style=\"width:" +
            std::to_string(c.width * scale) + "px\"><img alt=\"error mask of " + c.name + "\" width=\"" +
            std::to_string(c.width * scale) + "\" height=\"" + std::to_string(c.height * scale) +
            "\" src=\"data:image/png;base64," + base64(png) + "\"><div class=\"ring\" style=\"width:" +
            std::to_string(ring) + "px;height:" + std::to_string(ring) +
            "px;left:" + std::to_string(x * scale + scale / 2 - ring / 2 - 2) +
            "px;top:" + std::to_string(row * scale + scale / 2 - ring / 2 - 2) + "px\"></div></div>\n";
        html += "<p>Our history of pixel " + pixel + " (window coordinates, row " + std::to_string(row) +
            " from the top), as <code>" + escaped(snapshotCommand(c)) + " --history " + pixel +
            "</code> prints it:</p>\n<pre>" + escaped(history) + "</pre>\n";
    }
    return html + "</section>\n";
}

bool writeReport(
    const std::string& path, const std::string& summary, const std::string& sections, std::string& error)
{
    const std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                             "<title>Sphaerix conformance: " +
        escaped(summary) +
        "</title>\n<style>\n"
        "body { font-family: sans-serif; margin: 1em 2em; }\n"
        "section { border-left: 6px solid #888; padding: 0 1em; margin: 1.5em 0; }\n"
        "section.equal { border-color: #3a3; } section.differs, section.unreadable { border-color: #c22; }\n"
        "section.missing { border-color: #e90; }\n"
        ".detail { font-family: monospace; font-size: 90%; overflow-wrap: anywhere; }\n"
        ".mask { position: relative; max-width: none; }\n"
        ".mask img { image-rendering: pixelated; display: block; }\n"
        ".ring { position: absolute; border: 2px solid #0cf; border-radius: 50%; "
        "}\n"
        "pre { background: #f4f4f4; padding: 0.5em; overflow-x: auto; }\n"
        "</style>\n</head>\n<body>\n<h1>Sphaerix conformance: " +
        escaped(summary) + "</h1>\n" + sections + "</body>\n</html>\n";
    File file(std::fopen(path.c_str(), "wb"));
    if (!file || std::fwrite(page.data(), 1, page.size(), file.get()) != page.size() ||
        std::fclose(file.release()) != 0) {
        error = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}
