#pragma once

#include <X11/Xlib.h>
#include <string>
#include <sys/types.h>

#include "tests/app/rgb_image.h"

// Real input through the XTest extension and captures of a window's pixels, on the
// display that DISPLAY names (the test's own Xvfb).
struct XDriver {
    Display* display = nullptr;

    // False with `error` set when there is no display or no XTest.
    bool open(std::string& error);
    void close();

    // The viewable top-level window titled `title` that belongs to `pid` (when the
    // window says whose it is), moved fully on screen; 0 if none appears within `seconds`.
    Window waitForWindow(const std::string& title, pid_t pid, double seconds);
    // Without a window manager GLUT's default position is (-1, -1): one pixel off the
    // screen, where a window cannot be captured.
    void moveOnScreen(Window window);

    RgbImage capture(Window window);
    // Polls captures until one equals `expected` or `seconds` pass; returns the last.
    RgbImage waitForImage(Window window, const RgbImage& expected, double seconds);

    // Pointer in window coordinates; button numbers as X counts them (1 left, 2 middle,
    // 3 right, 4 and 5 the wheel).
    void movePointer(Window window, int x, int y);
    // Keys go to `window` from here on, wherever the pointer is.
    void focus(Window window);
    void button(unsigned int number, bool press);
    // A key by its keysym name ("g", "Escape"); `shift` holds Shift around it.
    void key(const char* keysymName, bool shift = false);

    void resize(Window window, int width, int height);

    // Paints a solid square straight into the window: it stays until the program draws
    // a frame, so it shows whether one was drawn.
    void paintMarker(Window window);
    bool markerPresent(Window window);

    void sync();
};
