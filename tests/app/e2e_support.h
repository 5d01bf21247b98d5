#pragma once

// What the end-to-end test needs around the program: processes, pictures, and real X
// input and captures on the display that DISPLAY names (the test's own Xvfb).
#include <X11/Xlib.h>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// Polls `done` every 20 ms until it holds (true) or `seconds` pass (false).
bool waitUntil(double seconds, const std::function<bool()>& done);
void sleepSeconds(double seconds);
std::string readFile(const std::string& path);

// A program started in a directory of its own, its standard output and error in files.
struct ChildProcess {
    pid_t pid = -1;
    std::string stdoutPath;
    std::string stderrPath;
};
// Starts `argv` (argv[0] is the path) in `directory`; output goes to outputPrefix.stdout
// and outputPrefix.stderr.
ChildProcess startProcess(const std::vector<std::string>& argv, const std::string& directory,
                          const std::string& outputPrefix);
// The raw wait status once the process has ended, or -1 if it runs on after `seconds`.
int waitForExit(ChildProcess& child, double seconds);
// Kills (SIGKILL) and reaps a process that is still running.
void stopProcess(ChildProcess& child);
// User plus system time of the whole process in clock ticks; -1 if unknown.
long cpuTicks(pid_t pid);

// An 8-bit RGB picture, top row first, as windows are captured and snapshots written.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
    bool operator==(const RgbImage&) const = default;
};
// Binary PPM (P6, maxval 255); an empty image for anything else.
RgbImage readPpm(const std::string& path);
void writePpm(const std::string& path, const RgbImage& image);
// What differs in two pictures: the size, or how many pixels and the first of them.
std::string describeDifference(const RgbImage& actual, const RgbImage& expected);

struct XDriver {
    Display* display = nullptr;

    // Stays null when there is no display or it has no XTest.
    void open();
    // The viewable top-level window titled `title`, moved fully on screen; 0 if none
    // appears within `seconds`.
    Window waitForWindow(const std::string& title, double seconds);
    RgbImage capture(Window window);

    // Pointer in window coordinates; buttons as X counts them (1 left, 2 middle, 3 right,
    // 4 and 5 the wheel); keys by keysym name ("g", "Escape"), `shift` held around them.
    void movePointer(Window window, int x, int y);
    void button(unsigned int number, bool press);
    void key(const char* keysymName, bool shift = false);
    void focus(Window window);
    void resize(Window window, int width, int height);
    // A magenta square painted straight into the window: it stays until the program draws
    // a frame, so it shows whether one was drawn.
    void paintMarker(Window window);
};
