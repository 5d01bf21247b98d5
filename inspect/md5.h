#pragma once

#include <cstddef>
#include <string>

// The MD5 digest of `size` bytes as 32 lower-case hex digits, as md5sum prints it: a
// fingerprint to tell two images apart at a glance, not a protection of any kind.
std::string md5Hex(const unsigned char* data, std::size_t size);
