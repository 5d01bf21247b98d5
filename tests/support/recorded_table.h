#pragma once

#include <cstdlib>
#include <fstream>

// A table of recorded results, read line by line; with the environment variable
// `variable` naming a file, that file gets the table anew from this build's results.
struct RecordedTable {
    std::ifstream in;
    std::ofstream out;
    RecordedTable(const char* path, const char* variable) : in(path)
    {
        if (const char* file = std::getenv(variable))
            out.open(file);
    }
};
