#pragma once

#include <string>
#include <vector>

// The raw texture file of sphaerix-spheremap: exactly textureBytes, rows bottom first.
// Both return false and set `error` to one line naming the file on failure; a failed
// write leaves no file.
bool readRawFile(const char* path, std::vector<unsigned char>& raw, std::string& error);
bool writeRawFile(const char* path, const std::vector<unsigned char>& raw, std::string& error);
