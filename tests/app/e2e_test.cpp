// The real program under a real X server: keys, buttons and motion arrive through XTest,
// and every frame is checked pixel for pixel against sphaerix-snapshot's picture of the
// view the program should then show.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>

#include "tests/app/e2e_support.h"

namespace {

const std::string workDir = E2E_WORK_DIR;
constexpr double frameSeconds = 20.0; // generous for a sanitizer build on a busy machine
constexpr long textureBytes = 196608;

// sphere.raw of `bytes` bytes in `directory`, every texel distinct enough to show a shift
// of one texel or one pixel.
void writeTexture(const std::string& directory, long bytes)
{
    mkdir(workDir.c_str(), 0755);
    mkdir(directory.c_str(), 0755);
    std::ofstream out(directory + "/sphere.raw", std::ios::binary);
    for (long i = 0; i < bytes; ++i) {
        const long u = i / 3 % 256, v = i / 3 / 256 % 256;
        out.put(static_cast<char>(i % 3 == 0 ? u : i % 3 == 1 ? v : u ^ v));
    }
}

// The start-up view unless a test changes it.
struct View {
    float angleZ = -135.0f, angleX = -60.0f, panX = 0.0f, panY = 0.0f, zoom = 0.25f;
    int width = 480, height = 480;
};

// sphaerix-snapshot's picture of `view`.
RgbImage snapshot(bool openGL, const View& v)
{
    static int made = 0;
    const std::string directory = workDir + "/view", name = directory + "/expected-" + std::to_string(made);
    if (made++ == 0)
        writeTexture(directory, textureBytes);
    ChildProcess child = startProcess(
        {SPHAERIX_SNAPSHOT, "--renderer", openGL ? "opengl" : "software", "--size",
         std::to_string(v.width) + "x" + std::to_string(v.height), "--angle-z", std::to_string(v.angleZ),
         "--angle-x", std::to_string(v.angleX), "--pan", std::to_string(v.panX) + "," + std::to_string(v.panY),
         "--zoom", std::to_string(v.zoom), "--texture", "sphere.raw", "-o", name + ".ppm"},
        directory, name);
    const int status = waitForExit(child, 120.0);
    stopProcess(child);
    const RgbImage image = readPpm(name + ".ppm");
    if (status != 0 || image.width == 0)
        ADD_FAILURE() << "sphaerix-snapshot failed (wait status " << status << "): " << readFile(child.stderrPath);
    return image;
}

class Program : public testing::Test {
protected:
    static inline XDriver x;
    const std::string directory = workDir + "/run";
    ChildProcess child;
    Window window = 0;
    int checks = 0;

    static void SetUpTestSuite() { x.open(); }
    void SetUp() override
    {
        ASSERT_NE(x.display, nullptr) << "no X display with XTest: run under run_e2e.sh";
        writeTexture(directory, textureBytes);
    }
    void TearDown() override { stop(); }

    void start(std::vector<std::string> options = {})
    {
        options.insert(options.begin(), SPHAERIX_PROGRAM);
        child = startProcess(options, directory, directory + "/sphaerix");
    }
    // The program with its window found, focused and under the pointer.
    void launch(std::vector<std::string> options = {})
    {
        start(options);
        window = x.waitForWindow("Sphaerix", frameSeconds);
        ASSERT_NE(window, 0u) << "no window; stderr: " << readFile(child.stderrPath);
        x.focus(window);
        x.movePointer(window, 240, 240);
    }
    // Ends the program if it still runs and waits for its window to go, so that the next
    // launch cannot find that one.
    void stop()
    {
        stopProcess(child);
        waitUntil(frameSeconds, [&] { return x.capture(window).width == 0; });
    }

    // Waits for the window to show `expected`; on a mismatch keeps both pictures.
    void expectFrame(const RgbImage& expected, const std::string& what)
    {
        ASSERT_GT(expected.width, 0) << "no snapshot for " << what;
        RgbImage actual;
        if (waitUntil(frameSeconds, [&] { return (actual = x.capture(window)) == expected; }))
            return;
        const std::string stem = workDir + "/" + testing::UnitTest::GetInstance()->current_test_info()->name() +
                                 "-" + std::to_string(++checks);
        writePpm(stem + "-window.ppm", actual);
        writePpm(stem + "-snapshot.ppm", expected);
        ADD_FAILURE() << what << ": " << describeDifference(actual, expected) << " (" << stem << "-*.ppm)";
    }

    // Presses the X buttons at (x0, y0), moves by (dx, dy) in four steps and releases.
    void drag(const std::vector<unsigned int>& buttons, int x0, int y0, int dx, int dy)
    {
        x.movePointer(window, x0, y0);
        for (unsigned int button : buttons)
            x.button(button, true);
        for (int step = 1; step <= 4; ++step)
            x.movePointer(window, x0 + dx * step / 4, y0 + dy * step / 4);
        for (unsigned int button : buttons)
            x.button(button, false);
    }
};

TEST_F(Program, StartsWithOpenGLAndGSwitchesRenderersAtAnySize)
{
    View view;
    const RgbImage openGL = snapshot(true, view), software = snapshot(false, view);
    ASSERT_TRUE(openGL != software) << "the two renderings must be told apart";
    launch(); // the 480x480 window is the program's own choice
    expectFrame(openGL, "first frame, OpenGL with its caption");
    x.key("g");
    expectFrame(software, "after g, the software rendering");
    x.key("g");
    expectFrame(openGL, "after a second g, OpenGL again");
    x.resize(window, 300, 200);
    view.width = 300;
    view.height = 200;
    expectFrame(snapshot(true, view), "OpenGL after a resize to 300x200");
    x.key("g");
    expectFrame(snapshot(false, view), "software at 300x200");
}

// Each input draws a frame of the view it changes: a left drag turns by its pixels in
// degrees, a right drag pans by them, a wheel notch (press and release) is two zoom steps,
// X's 4 being GLUT's 3, towards the eye, and the middle button changes nothing.
TEST_F(Program, MouseSetsTheViewExactly)
{
    struct Step { const char* what; std::vector<unsigned int> buttons; int dx, dy; View change; };
    const Step steps[] = {{"left drag", {1}, 40, 25, {40, 25, 0, 0, 0}},
                          {"right drag", {3}, -30, 20, {0, 0, -30, 20, 0}},
                          {"drag with both", {1, 3}, 15, -35, {15, -35, 15, -35, 0}},
                          {"notch towards the eye", {4}, 0, 0, {0, 0, 0, 0, 2}},
                          {"notch away", {5}, 0, 0, {0, 0, 0, 0, -2}},
                          {"another notch away", {5}, 0, 0, {0, 0, 0, 0, -2}},
                          {"middle drag", {2}, 20, 30, {0, 0, 0, 0, 0}}};
    View view;
    launch({"-geometry", "480x480+40+30"}); // GLUT's own option, as a user might place the window
    x.key("g");
    expectFrame(snapshot(false, view), "software start-up view");
    for (const Step& s : steps) {
        x.paintMarker(window);
        drag(s.buttons, 200, 220, s.dx, s.dy);
        const View& c = s.change;
        view.angleZ += c.angleZ, view.angleX += c.angleX, view.panX += c.panX, view.panY += c.panY;
        view.zoom += c.zoom;
        expectFrame(snapshot(false, view), s.what);
    }
}

TEST_F(Program, OtherKeysAndNoInputDrawNothingAndUseNoCpu)
{
    const RgbImage first = snapshot(true, View{});
    launch();
    expectFrame(first, "first frame");
    sleepSeconds(0.5); // the start-up repaints are over
    x.paintMarker(window);
    const RgbImage marked = x.capture(window);
    ASSERT_TRUE(marked != first) << "the marker must show";
    x.key("x");
    x.key("q", true);
    x.key("g", true);
    x.key("space");
    sleepSeconds(0.5);
    const long before = cpuTicks(child.pid);
    sleepSeconds(1.5);
    ASSERT_EQ(waitForExit(child, 0.0), -1) << "the program ended";
    ASSERT_GE(before, 0);
    EXPECT_EQ(cpuTicks(child.pid), before) << "CPU time used while idle, in clock ticks";
    EXPECT_TRUE(x.capture(window) == marked) << "a frame was drawn without input or for x, Q, G or space";
    x.key("g"); // the same keyboard path does reach the program
    expectFrame(snapshot(false, View{}), "g after the ignored keys");
}

// q and Escape end a running program with status 0 and no OpenGL error reported; a
// missing or short sphere.raw ends it at start-up with status 1 and its message.
TEST_F(Program, EndsWithTheRightStatusAndMessage)
{
    struct Case { const char* key; long textureBytes; int status; const char* message; };
    for (const Case c : {Case{"q", textureBytes, 0, ""}, Case{"Escape", textureBytes, 0, ""},
                         Case{nullptr, -1, 1, "sphaerix: cannot open texture file \"sphere.raw\": "},
                         Case{nullptr, textureBytes - 1, 1,
                              "sphaerix: texture file \"sphere.raw\" is too short: 196607 bytes, 196608 needed\n"}}) {
        const std::string what = c.key ? c.key : "sphere.raw of " + std::to_string(c.textureBytes) + " bytes";
        stop();
        std::remove((directory + "/sphere.raw").c_str());
        if (c.textureBytes >= 0)
            writeTexture(directory, c.textureBytes);
        if (c.key) {
            launch();
            expectFrame(snapshot(true, View{}), "first frame");
            x.key(c.key);
        } else {
            start();
        }
        const int status = waitForExit(child, frameSeconds);
        ASSERT_NE(status, -1) << what << ": the program did not end";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << what << ": wait status " << status;
        const std::string errors = readFile(child.stderrPath);
        EXPECT_NE(errors.find(c.message), std::string::npos) << what << ": " << errors;
        EXPECT_EQ(readFile(child.stdoutPath), "") << what << ": no OpenGL error in a normal run";
    }
}

} // namespace
