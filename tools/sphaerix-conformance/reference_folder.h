#pragma once

#include <map>
#include <string>
#include <vector>

#include "conformance/case_compare.h"

// The folder --write-reference writes our NAME.png and NAME.depth into. The files it
// wrote are listed there in sphaerix-reference.md5, one "MD5  NAME" a line as md5sum
// prints it (so `md5sum -c` checks them), and a later run replaces only those that are
// still as it wrote them: a tester's own files by the same names are refused unless
// --replace says otherwise. Files drawn under rules follow a comment line "# under the
// rules LIST" (md5sum skips it), so that the list says what each frame is.
struct ReferenceFolder {
    std::string dir;
    std::map<std::string, std::string> written; // file name in `dir` -> MD5 of its bytes
    std::map<std::string, std::string> rules;   // file name -> its rules, when not none
};

extern const char* const referenceManifest; // "sphaerix-reference.md5"

// The files NAME.png and NAME.depth of `cases` in `folder.dir`, and its manifest.
std::vector<std::string> referenceFiles(const std::string& dir, const std::vector<ConformanceCase>& cases);

// Reads the manifest into `folder` and returns the names of the case files in the folder
// that a run over `cases` would replace but that no run wrote, or that changed since.
std::vector<std::string> foreignCaseFiles(ReferenceFolder& folder, const std::vector<ConformanceCase>& cases);

// Writes our frame of `c` and notes its files; false with `error` naming the file.
bool writeReferenceCase(ReferenceFolder& folder, const ConformanceCase& c, const ReferenceFrame& ours,
    std::string& error);

// Writes the manifest anew, listing every file noted.
bool saveReferenceManifest(const ReferenceFolder& folder, std::string& error);
