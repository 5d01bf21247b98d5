#pragma once

#include <string>
#include <vector>

// No run writes over a file it reads: every file a command line names is listed, and the
// run is refused before anything is opened for writing when two of them are one file.

// A file a run reads or writes, as the command line names it.
struct FileUse {
    std::string option; // how the user named it: "-o", "--against", "DIR"
    std::string path;
    bool writes = false;
};

// The first use that would write over a file another use reads or also writes, with
// both options and paths named; "" when there is none. Files are compared by what they
// are, not by how they are spelled: by device and inode where they exist (symbolic and
// hard links, "./x", "a/../x" meet there), else by the absolute path with its symbolic
// links resolved. Existing files that are not regular (devices, pipes, folders) are
// left out: writing to /dev/null loses nothing. List the reads first, so that the
// message names the output as the one that would overwrite.
std::string fileClash(const std::vector<FileUse>& uses);
