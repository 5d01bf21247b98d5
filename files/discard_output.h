#pragma once

// Removes what a failed write left at `path`, if it is a regular file: a device such
// as /dev/full must survive a write that failed on it.
void discardOutput(const char* path);
