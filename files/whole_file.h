#pragma once

#include <cstdio>
#include <functional>
#include <string>

// Files written and read whole: every output of the tools goes through one writer, so
// that each failure reads the same and leaves no partial file behind.

// Opens `path` for writing and hands the file to `write`, which returns "" or why it
// could not write (when a call on the file failed and errno says why, strerror(errno)).
// On failure returns false with `error` as "cannot write \"PATH\": WHY" and removes the
// partial file.
bool writeWholeFile(const std::string& path, const std::function<std::string(std::FILE*)>& write,
                    std::string& error);

// `bytes` as the whole file.
bool writeWholeFile(const std::string& path, const std::string& bytes, std::string& error);

// The whole of a regular file; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes);
