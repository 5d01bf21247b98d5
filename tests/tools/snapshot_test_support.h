#pragma once

#include <string>
#include <vector>

#include "tools/snapshot/image_file.h"

// What a run of the snapshot tool left behind.
struct ToolRun {
    int status = -1;     // exit status, or -1 if it did not exit normally
    std::string output;  // standard output
    std::string errors;  // standard error
};

// Runs the snapshot tool with `arguments`, capturing both streams in `dir`. With
// `withDisplay` false the child gets no DISPLAY, so any X access would fail.
ToolRun runSnapshot(const std::vector<std::string>& arguments, const std::string& dir,
                    bool withDisplay);

// A fresh directory for one test.
std::string makeTestDir(const std::string& name);

std::vector<unsigned char> readBytes(const std::string& path);

// A texture whose texels all differ: r = column, g = row, b = a mix of both.
void writeDistinctTexture(const std::string& path);

// The pixels of a P6 file; false if the header is not "P6\nW H\n255\n".
bool readPpm(const std::string& path, RgbImage& image);

// The pixels of an 8-bit RGB PNG; false for anything else.
bool readPng(const std::string& path, RgbImage& image);

// True for exactly "frames: N, median: X ms\n", X a decimal with three places.
bool isTimingLine(const std::string& text, int frames);

// A little-endian float file as floats.
std::vector<float> readFloats(const std::string& path);
