#include "files/whole_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files/discard_output.h"

bool writeWholeFile(const std::string& path, const std::function<std::string(std::FILE*)>& write,
                    std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    errno = 0;
    std::string why = write(file);
    // Closed explicitly, so that a failed flush of buffered bytes is reported too.
    if (std::fclose(file) != 0 && why.empty())
        why = std::strerror(errno);
    if (why.empty())
        return true;
    error = "cannot write \"" + path + "\": " + why;
    discardOutput(path.c_str());
    return false;
}

bool writeWholeFile(const std::string& path, const std::string& bytes, std::string& error)
{
    return writeWholeFile(
        path,
        [&bytes](std::FILE* file) -> std::string {
            if (std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size())
                return "";
            return errno ? std::strerror(errno) : "write failed";
        },
        error);
}

bool readWholeFile(const std::string& path, std::string& bytes)
{
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(path, ignored))
        return false;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    bytes = out.str();
    return in.good() || in.eof();
}
