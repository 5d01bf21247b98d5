#include "tests/app/x_driver.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>

#include "tests/app/child_process.h"

namespace {

constexpr int markerX = 4;
constexpr int markerY = 4;
constexpr int markerSide = 12;
constexpr unsigned long markerPixel = 0xff00ff; // magenta on a 24-bit TrueColor screen

// A window that goes away or a capture that fails must fail the check, not end the
// test program, as Xlib's default handler would.
int keepGoing(Display*, XErrorEvent*)
{
    return 0;
}

// -1 when the window does not say which process it belongs to.
long windowPid(Display* display, Window window)
{
    const Atom property = XInternAtom(display, "_NET_WM_PID", True);
    if (property == None)
        return -1;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                           &after, &data) == Success && data && count == 1 && format == 32)
        pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return pid;
}

Window findWindow(Display* display, const std::string& title, pid_t pid)
{
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        if (!XFetchName(display, children[i], &name) || !name)
            continue;
        const bool titled = title == name;
        XFree(name);
        XWindowAttributes attributes;
        if (!titled || !XGetWindowAttributes(display, children[i], &attributes) ||
            attributes.map_state != IsViewable)
            continue;
        const long owner = windowPid(display, children[i]);
        if (owner == -1 || owner == pid)
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

} // namespace

bool XDriver::open(std::string& error)
{
    display = XOpenDisplay(nullptr);
    if (!display) {
        error = "cannot open the X display (is DISPLAY set? run under xvfb-run)";
        return false;
    }
    int event = 0, firstError = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &firstError, &major, &minor)) {
        error = "the X server has no XTest extension";
        close();
        return false;
    }
    XSetErrorHandler(keepGoing);
    return true;
}

void XDriver::close()
{
    if (display)
        XCloseDisplay(display);
    display = nullptr;
}

Window XDriver::waitForWindow(const std::string& title, pid_t pid, double seconds)
{
    for (double waited = 0.0; waited < seconds; waited += 0.02) {
        if (const Window window = findWindow(display, title, pid)) {
            moveOnScreen(window);
            return window;
        }
        sleepSeconds(0.02);
    }
    return 0;
}

void XDriver::moveOnScreen(Window window)
{
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) && (attributes.x < 0 || attributes.y < 0)) {
        XMoveWindow(display, window, 0, 0);
        sync();
    }
}

RgbImage XDriver::capture(Window window)
{
    RgbImage image;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return image;
    XImage* pixels = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!pixels)
        return image;
    image.width = attributes.width;
    image.height = attributes.height;
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    unsigned char* out = image.rgb.data();
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const unsigned long pixel = XGetPixel(pixels, x, y);
            *out++ = static_cast<unsigned char>((pixel & pixels->red_mask) >> 16);
            *out++ = static_cast<unsigned char>((pixel & pixels->green_mask) >> 8);
            *out++ = static_cast<unsigned char>(pixel & pixels->blue_mask);
        }
    XDestroyImage(pixels);
    return image;
}

RgbImage XDriver::waitForImage(Window window, const RgbImage& expected, double seconds)
{
    RgbImage image;
    for (double waited = 0.0;; waited += 0.05) {
        image = capture(window);
        if (sameImage(image, expected) || waited >= seconds)
            return image;
        sleepSeconds(0.05);
    }
}

void XDriver::movePointer(Window window, int x, int y)
{
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
    sync();
}

void XDriver::focus(Window window)
{
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    sync();
}

void XDriver::button(unsigned int number, bool press)
{
    XTestFakeButtonEvent(display, number, press ? True : False, CurrentTime);
    sync();
}

void XDriver::key(const char* keysymName, bool shift)
{
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keysymName));
    const KeyCode shiftCode = XKeysymToKeycode(display, XK_Shift_L);
    if (shift)
        XTestFakeKeyEvent(display, shiftCode, True, CurrentTime);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    if (shift)
        XTestFakeKeyEvent(display, shiftCode, False, CurrentTime);
    sync();
}

void XDriver::resize(Window window, int width, int height)
{
    XResizeWindow(display, window, static_cast<unsigned int>(width), static_cast<unsigned int>(height));
    sync();
}

void XDriver::paintMarker(Window window)
{
    const GC gc = XCreateGC(display, window, 0, nullptr);
    XSetForeground(display, gc, markerPixel);
    XFillRectangle(display, window, gc, markerX, markerY, markerSide, markerSide);
    XFreeGC(display, gc);
    sync();
}

bool XDriver::markerPresent(Window window)
{
    const RgbImage image = capture(window);
    if (image.width < markerX + markerSide || image.height < markerY + markerSide)
        return false;
    for (int y = markerY; y < markerY + markerSide; ++y)
        for (int x = markerX; x < markerX + markerSide; ++x) {
            const unsigned char* p = image.at(x, y);
            if (p[0] != 255 || p[1] != 0 || p[2] != 255)
                return false;
        }
    return true;
}

void XDriver::sync()
{
    XSync(display, False);
}
