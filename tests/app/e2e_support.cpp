#include "tests/app/e2e_support.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

ChildProcess startProcess(const std::vector<std::string>& argv, const std::string& directory,
                          const std::string& outputPrefix)
{
    ChildProcess child{-1, outputPrefix + ".stdout", outputPrefix + ".stderr"};
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::fflush(nullptr);
    child.pid = fork();
    if (child.pid == 0) {
        const int out = open(child.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(child.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 || chdir(directory.c_str()) != 0)
            _exit(126);
        execv(args[0], args.data());
        std::perror(args[0]);
        _exit(127);
    }
    return child;
}

int waitForExit(ChildProcess& child, double seconds)
{
    int status = -1;
    if (child.pid <= 0 || !waitUntil(seconds, [&] { return waitpid(child.pid, &status, WNOHANG) == child.pid; }))
        return -1;
    child.pid = -1;
    return status;
}

void stopProcess(ChildProcess& child)
{
    if (child.pid <= 0)
        return;
    kill(child.pid, SIGKILL);
    waitpid(child.pid, nullptr, 0);
    child.pid = -1;
}

long cpuTicks(pid_t pid)
{
    // Fields 14 and 15, counted past the command name, which may hold spaces.
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 1));
    std::string skipped;
    for (int field = 3; field < 14; ++field)
        fields >> skipped;
    long utime = -1, stime = -1;
    fields >> utime >> stime;
    return fields ? utime + stime : -1;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void sleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

bool waitUntil(double seconds, const std::function<bool()>& done)
{
    for (double waited = 0.0; !done(); waited += 0.02) {
        if (waited >= seconds)
            return false;
        sleepSeconds(0.02);
    }
    return true;
}

RgbImage readPpm(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    RgbImage image;
    std::string magic;
    int maxval = 0;
    in >> magic >> image.width >> image.height >> maxval;
    in.get(); // the one whitespace byte before the pixels
    if (!in || magic != "P6" || maxval != 255 || image.width <= 0 || image.height <= 0)
        return {};
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    if (!in.read(reinterpret_cast<char*>(image.rgb.data()), static_cast<std::streamsize>(image.rgb.size())))
        return {};
    return image;
}

void writePpm(const std::string& path, const RgbImage& image)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.width << " " << image.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.rgb.data()), static_cast<std::streamsize>(image.rgb.size()));
}

std::string describeDifference(const RgbImage& actual, const RgbImage& expected)
{
    std::ostringstream text;
    if (actual.width != expected.width || actual.height != expected.height) {
        text << "size " << actual.width << "x" << actual.height << ", expected " << expected.width << "x"
             << expected.height;
        return text.str();
    }
    long count = 0;
    std::size_t first = 0;
    for (std::size_t i = 0; i < actual.rgb.size(); i += 3)
        if (!std::equal(&actual.rgb[i], &actual.rgb[i] + 3, &expected.rgb[i]) && count++ == 0)
            first = i;
    text << count << " pixels differ, the first at (" << first / 3 % actual.width << ", "
         << first / 3 / actual.width << ") from the top left";
    return text.str();
}

namespace {

Window findWindow(Display* display, const std::string& title)
{
    Window root = 0, parent = 0, found = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    for (unsigned int i = 0; i < count && !found; ++i) {
        char* name = nullptr;
        XWindowAttributes attributes;
        if (!XFetchName(display, children[i], &name) || !name)
            continue;
        const bool titled = title == name;
        XFree(name);
        if (titled && XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable)
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

} // namespace

void XDriver::open()
{
    int event = 0, error = 0, major = 0, minor = 0;
    display = XOpenDisplay(nullptr);
    if (display && !XTestQueryExtension(display, &event, &error, &major, &minor))
        display = nullptr;
    // A window that goes away or a capture that fails must fail a check, not end the test
    // program as Xlib's default handler would.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
}

Window XDriver::waitForWindow(const std::string& title, double seconds)
{
    Window window = 0;
    if (!waitUntil(seconds, [&] { return (window = findWindow(display, title)) != 0; }))
        return 0;
    // Without a window manager GLUT's default position is (-1, -1): one pixel off the
    // screen, where a window cannot be captured.
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) && (attributes.x < 0 || attributes.y < 0))
        XMoveWindow(display, window, 0, 0);
    XSync(display, False);
    return window;
}

RgbImage XDriver::capture(Window window)
{
    RgbImage image;
    XWindowAttributes attributes;
    XImage* pixels = nullptr;
    if (!XGetWindowAttributes(display, window, &attributes) ||
        !(pixels = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap)))
        return image;
    image.width = attributes.width;
    image.height = attributes.height;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const unsigned long pixel = XGetPixel(pixels, x, y);
            image.rgb.push_back(static_cast<unsigned char>((pixel & pixels->red_mask) >> 16));
            image.rgb.push_back(static_cast<unsigned char>((pixel & pixels->green_mask) >> 8));
            image.rgb.push_back(static_cast<unsigned char>(pixel & pixels->blue_mask));
        }
    XDestroyImage(pixels);
    return image;
}

void XDriver::movePointer(Window window, int x, int y)
{
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
    XSync(display, False);
}

void XDriver::button(unsigned int number, bool press)
{
    XTestFakeButtonEvent(display, number, press, CurrentTime);
    XSync(display, False);
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
    XSync(display, False);
}

void XDriver::focus(Window window)
{
    XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
}

void XDriver::resize(Window window, int width, int height)
{
    XResizeWindow(display, window, static_cast<unsigned int>(width), static_cast<unsigned int>(height));
    XSync(display, False);
}

void XDriver::paintMarker(Window window)
{
    const GC gc = XCreateGC(display, window, 0, nullptr);
    XSetForeground(display, gc, 0xff00ff); // magenta on a 24-bit TrueColor screen
    XFillRectangle(display, window, gc, 4, 4, 12, 12);
    XFreeGC(display, gc);
    XSync(display, False);
}
