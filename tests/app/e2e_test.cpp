// The real program under a real X server: keys, buttons and motion arrive through XTest,
// and every frame is checked pixel for pixel against sphaerix-snapshot of the view the
// program should then show.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>

#include "tests/app/child_process.h"
#include "tests/app/rgb_image.h"
#include "tests/app/x_driver.h"

namespace {

const std::string program = SPHAERIX_PROGRAM;
const std::string snapshotProgram = SPHAERIX_SNAPSHOT;
const std::string workDir = E2E_WORK_DIR;

// Generous for a sanitizer build on a busy machine; a passing check returns at once.
constexpr double frameSeconds = 20.0;

// Every texel distinct enough to show a shift of one texel or one pixel.
void writeTestTexture(const std::string& path, long bytes)
{
    std::ofstream out(path, std::ios::binary);
    for (long i = 0; i < bytes; ++i) {
        const long texel = i / 3;
        const int u = static_cast<int>(texel % 256), v = static_cast<int>((texel / 256) % 256);
        const int channel[3] = {u, v, (u ^ v) & 255};
        out.put(static_cast<char>(channel[i % 3]));
    }
}

std::string makeDirectory(const std::string& name)
{
    const std::string path = workDir + "/" + name;
    mkdir(workDir.c_str(), 0755);
    mkdir(path.c_str(), 0755);
    return path;
}

struct View {
    float angleZ = -135.0f;
    float angleX = -60.0f;
    float panX = 0.0f;
    float panY = 0.0f;
    float zoom = 0.25f;
    int width = 480;
    int height = 480;
};

std::string number(float value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// The snapshot tool's picture of `view`, made once per distinct view and renderer.
RgbImage snapshot(bool openGL, const View& view)
{
    static std::map<std::string, RgbImage> made;
    const std::vector<std::string> options = {
        "--renderer", openGL ? "opengl" : "software",
        "--size", std::to_string(view.width) + "x" + std::to_string(view.height),
        "--angle-z", number(view.angleZ), "--angle-x", number(view.angleX),
        "--pan", number(view.panX) + "," + number(view.panY), "--zoom", number(view.zoom),
        "--texture", "sphere.raw"};
    std::string key;
    for (const std::string& option : options)
        key += option + " ";
    if (auto found = made.find(key); found != made.end())
        return found->second;

    const std::string directory = makeDirectory("view");
    if (made.empty())
        writeTestTexture(directory + "/sphere.raw", 196608);
    const std::string name = "expected-" + std::to_string(made.size());
    std::vector<std::string> argv = {snapshotProgram};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"-o", name + ".ppm"});
    ChildProcess child = startProcess(argv, directory, directory + "/" + name);
    int status = 0;
    RgbImage image;
    if (!waitForExit(child, 120.0, status)) {
        stopProcess(child);
        ADD_FAILURE() << "sphaerix-snapshot " << key << "did not finish";
        return image;
    }
    std::string error;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !readPpm(directory + "/" + name + ".ppm", image, error))
        ADD_FAILURE() << "sphaerix-snapshot " << key << "failed: " << readFile(child.stderrPath) << error;
    made[key] = image;
    return image;
}

class Program : public testing::Test {
protected:
    static XDriver x;
    ChildProcess child;
    Window window = 0;
    std::string directory;
    int checks = 0;

    static void SetUpTestSuite()
    {
        std::string error;
        if (!x.open(error))
            GTEST_FAIL() << error;
    }
    static void TearDownTestSuite() { x.close(); }

    void SetUp() override
    {
        ASSERT_NE(x.display, nullptr);
        directory = makeDirectory("run");
        writeTestTexture(directory + "/sphere.raw", 196608);
    }
    void TearDown() override { stopProcess(child); }

    // The program in `directory`, by default with its own window size; positions are read
    // back, so no placement is needed.
    void launch(std::vector<std::string> options = {})
    {
        options.insert(options.begin(), program);
        child = startProcess(options, directory, directory + "/sphaerix");
        window = x.waitForWindow("Sphaerix", child.pid, frameSeconds);
        ASSERT_NE(window, 0u) << "no window; stderr: " << readFile(child.stderrPath);
        x.focus(window);
        x.movePointer(window, 240, 240);
    }

    // Waits for the window to show `expected`; on a mismatch keeps both pictures.
    void expectFrame(const RgbImage& expected, const std::string& what)
    {
        ASSERT_GT(expected.width, 0) << "no snapshot for " << what;
        const RgbImage actual = x.waitForImage(window, expected, frameSeconds);
        if (sameImage(actual, expected))
            return;
        const std::string stem = workDir + "/" + testing::UnitTest::GetInstance()->current_test_info()->name() +
                                 "-" + std::to_string(++checks);
        writePpm(stem + "-window.ppm", actual);
        writePpm(stem + "-snapshot.ppm", expected);
        ADD_FAILURE() << what << ": " << describeDifference(actual, expected) << " (pictures in " << stem << "-*.ppm)";
    }

    void expectFrameDrawn(const std::string& what)
    {
        for (double waited = 0.0; x.markerPresent(window); waited += 0.05) {
            if (waited >= frameSeconds) {
                ADD_FAILURE() << what << ": no frame was drawn";
                return;
            }
            sleepSeconds(0.05);
        }
    }

    // Presses the X buttons at (x0, y0), moves by (dx, dy) in four steps and releases.
    void drag(std::vector<unsigned int> buttons, int x0, int y0, int dx, int dy)
    {
        x.movePointer(window, x0, y0);
        for (unsigned int button : buttons)
            x.button(button, true);
        for (int step = 1; step <= 4; ++step)
            x.movePointer(window, x0 + dx * step / 4, y0 + dy * step / 4);
        for (auto button = buttons.rbegin(); button != buttons.rend(); ++button)
            x.button(*button, false);
    }

    void expectExit(int expectedStatus, const std::string& what)
    {
        int status = 0;
        ASSERT_TRUE(waitForExit(child, frameSeconds, status)) << what << ": the program did not end";
        ASSERT_TRUE(WIFEXITED(status)) << what << ": ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), expectedStatus) << what << "; stderr: " << readFile(child.stderrPath);
    }
};

XDriver Program::x;

TEST_F(Program, StartsWithOpenGLAndGSwitchesRenderers)
{
    const View start;
    const RgbImage openGL = snapshot(true, start);
    const RgbImage software = snapshot(false, start);
    ASSERT_FALSE(sameImage(openGL, software)) << "the two renderings must be told apart";
    launch(); // the 480x480 window is the program's own choice
    expectFrame(openGL, "first frame, OpenGL with its caption");
    x.key("g");
    expectFrame(software, "after g, the software rendering");
    x.key("g");
    expectFrame(openGL, "after a second g, OpenGL again");
}

TEST_F(Program, DragsAndWheelSetTheViewExactly)
{
    View view;
    // GLUT's own option, as a user might place the window.
    launch({"-geometry", "480x480+40+30"});
    x.key("g");
    expectFrame(snapshot(false, view), "software start-up view");

    drag({1}, 200, 220, 40, 25);
    view.angleZ += 40.0f;
    view.angleX += 25.0f;
    expectFrame(snapshot(false, view), "left drag by (40, 25) turns by 40 and 25 degrees");

    drag({3}, 300, 100, -30, 20);
    view.panX -= 30.0f;
    view.panY += 20.0f;
    expectFrame(snapshot(false, view), "right drag by (-30, 20) moves by (-30, 20) pixels of pan");

    // One notch is a press and a release of GLUT's button 3 (X's 4): two steps.
    x.button(4, true);
    x.button(4, false);
    view.zoom += 2.0f;
    expectFrame(snapshot(false, view), "one wheel notch towards the eye");
    x.button(5, true);
    x.button(5, false);
    x.button(5, true);
    x.button(5, false);
    x.button(5, true);
    x.button(5, false);
    view.zoom -= 6.0f;
    expectFrame(snapshot(false, view), "three wheel notches away from the eye");

    drag({1, 3}, 100, 300, 15, -35);
    view.angleZ += 15.0f;
    view.angleX -= 35.0f;
    view.panX += 15.0f;
    view.panY -= 35.0f;
    expectFrame(snapshot(false, view), "both buttons held turn and move together");

    // The middle button changes no view value but its press and release still ask for
    // a frame, and so does motion with it held.
    const RgbImage same = snapshot(false, view);
    x.paintMarker(window);
    ASSERT_TRUE(x.markerPresent(window));
    x.button(2, true);
    x.button(2, false);
    expectFrameDrawn("middle click");
    expectFrame(same, "middle click leaves the view");
    x.paintMarker(window);
    drag({2}, 240, 240, 50, 50);
    expectFrameDrawn("middle drag");
    expectFrame(same, "middle drag leaves the view");
}

TEST_F(Program, ResizedWindowGivesFramesOfItsSize)
{
    View view;
    launch();
    x.key("g");
    expectFrame(snapshot(false, view), "software start-up view");
    x.resize(window, 300, 200);
    view.width = 300;
    view.height = 200;
    expectFrame(snapshot(false, view), "software frame after a resize to 300x200");
    x.key("g");
    expectFrame(snapshot(true, view), "OpenGL frame at 300x200");
}

TEST_F(Program, OtherKeysAndNoInputDrawNothingAndUseNoCpu)
{
    launch();
    expectFrame(snapshot(true, View{}), "first frame");
    sleepSeconds(0.5); // the start-up repaints are over
    x.paintMarker(window);
    ASSERT_TRUE(x.markerPresent(window));

    x.key("x");
    x.key("q", true);
    x.key("g", true);
    x.key("space");
    sleepSeconds(0.5);
    const long before = cpuTicks(child.pid);
    sleepSeconds(1.5);
    const long after = cpuTicks(child.pid);
    ASSERT_GE(before, 0);
    EXPECT_EQ(after, before) << "CPU time used while idle, in clock ticks";
    EXPECT_TRUE(x.markerPresent(window)) << "a frame was drawn without input or for x, Q, G or space";

    // The same keyboard path does reach the program: g draws.
    x.key("g");
    expectFrame(snapshot(false, View{}), "g after the ignored keys");
}

TEST_F(Program, QAndEscapeEndWithStatusZero)
{
    for (const char* key : {"q", "Escape"}) {
        launch();
        expectFrame(snapshot(true, View{}), "first frame");
        x.key(key);
        expectExit(0, key);
        EXPECT_EQ(readFile(child.stdoutPath), "") << "no OpenGL error in a normal run";
    }
}

TEST_F(Program, MissingOrShortTextureEndsWithStatusOne)
{
    std::remove((directory + "/sphere.raw").c_str());
    child = startProcess({program, "-geometry", "480x480+0+0"}, directory, directory + "/missing");
    expectExit(1, "missing sphere.raw");
    EXPECT_NE(readFile(child.stderrPath).find("sphere.raw"), std::string::npos) << readFile(child.stderrPath);

    writeTestTexture(directory + "/sphere.raw", 196607);
    child = startProcess({program, "-geometry", "480x480+0+0"}, directory, directory + "/short");
    expectExit(1, "sphere.raw one byte short");
    EXPECT_NE(readFile(child.stderrPath).find("sphere.raw"), std::string::npos) << readFile(child.stderrPath);
}

} // namespace
