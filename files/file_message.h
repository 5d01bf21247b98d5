#pragma once

#include <string>

// How the tools' messages name a file: in double quotes, so that a name with blanks reads
// as one, followed by what is wrong with it.
inline std::string quotedPath(const std::string& path)
{
    return "\"" + path + "\"";
}

// `error` as "\"PATH\" WHAT"; false, to be returned.
inline bool fileFailure(std::string& error, const std::string& path, const std::string& what)
{
    error = quotedPath(path) + " " + what;
    return false;
}
