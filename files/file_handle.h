#pragma once

#include <cstdio>
#include <memory>

// A C file that closes itself on every path out.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;
