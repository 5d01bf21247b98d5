#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct ToolRun {
    int status = -1; // -1 if the tool did not exit normally
    std::string output, errors;
};

// A fresh directory a test, holding a texture whose texels all differ.
class SnapshotFixture : public ::testing::Test {
protected:
    std::string dir, texture;

    void SetUp() override;
    void TearDown() override;
    std::string path(const std::string& name) const { return dir + "/" + name; }
    // Runs the tool on that texture (a later --texture wins) and `args`. Without `display`
    // the child gets no DISPLAY, so any X access fails.
    ToolRun run(std::vector<std::string> args, bool display = false) const;
};

std::string readFile(const std::string& path);

// The pixels, top row first, of an 8-bit RGB PNG of the size given; empty for anything else.
std::vector<unsigned char> pngPixels(const std::string& path, int width, int height);

// A file of 32-bit floats; the host is little-endian, like the files.
std::vector<float> readFloats(const std::string& path);

// True for exactly "frames: N, median: X ms\n", X a decimal with three places.
bool isTimingLine(const std::string& text, int frames);
