#include "files/discard_output.h"

#include <filesystem>
#include <system_error>

void discardOutput(const char* path)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error))
        std::filesystem::remove(path, error);
}
