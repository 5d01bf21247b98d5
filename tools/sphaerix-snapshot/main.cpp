// sphaerix-snapshot: one frame of the program, through its own camera and renderers,
// written to an image file, or looked into. --help describes the options.
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>

#include "app/camera.h"
#include "files/image_file.h"
#include "inspect/difference_picture.h"
#include "raster/render_frame.h"
#include "texture/texture.h"
#include "tools/sphaerix-snapshot/frame_timing.h"
#include "tools/sphaerix-snapshot/ladder_run.h"
#include "tools/sphaerix-snapshot/options.h"
#include "tools/sphaerix-snapshot/software_snapshot.h"
#include "tools/sphaerix-snapshot/window_snapshot.h"

// The interaction state the mouse would otherwise have built up.
static void applyView(const SnapshotOptions& options)
{
    setInteractionView(options.angleZ, options.angleX, options.panX, options.panY, options.zoom);
}

static int compareRenderers(const SnapshotOptions& options, const WindowFrame& software,
                            const WindowFrame& openGL)
{
    const std::filesystem::path dir = options.compareDir;
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    const DifferencePicture difference = differencePicture(software.image, openGL.image);
    std::string error;
    if (!writeImage(software.image, (dir / "software.png").string(), error) ||
        !writeImage(openGL.image, (dir / "opengl.png").string(), error) ||
        !writeImage(difference.amplified, (dir / "difference.png").string(), error))
        return fail(error);
    std::printf("%s\n", describeDifferencePicture(difference).c_str());
    return 0;
}

static int windowSnapshot(const char* programName, const SnapshotOptions& options, const Texture& texture)
{
    std::string error;
    if (!openSnapshotWindow(programName, options.width, options.height, texture, error))
        return fail(error);
    const bool wantDepth = !options.depth.empty();
    WindowFrame chosen, other;
    if (!options.compareDir.empty())
        other = captureWindowFrame(!options.openGL, options.width, options.height, false);
    chosen = captureWindowFrame(options.openGL, options.width, options.height, wantDepth);
    if (const int status = writeOutputs(options, chosen.image, chosen.depth.data()))
        return status;
    if (!options.compareDir.empty()) {
        const WindowFrame& software = options.openGL ? other : chosen;
        const WindowFrame& openGL = options.openGL ? chosen : other;
        if (const int status = compareRenderers(options, software, openGL))
            return status;
    }
    printTiming(timeWindowFrames(options.openGL, options.frames));
    return 0;
}

int main(int argc, char** argv)
{
    SnapshotOptions options;
    std::string message;
    switch (parseSnapshotOptions(argc, argv, options, message)) {
    case ParseResult::help:
        std::fputs(snapshotHelp().c_str(), stdout);
        return 0;
    case ParseResult::version:
        std::printf("%s\n", snapshotVersion().c_str());
        return 0;
    case ParseResult::rulesHelp:
        std::fputs(rulesHelp().c_str(), stdout);
        return 0;
    case ParseResult::error:
        return usageError(message);
    case ParseResult::run:
        break;
    }

    // Read here so that a bad texture ends the run before any window opens.
    static Texture texture;
    if (!readTextureFile(texture, options.texture.c_str(), message)) {
        if (!std::filesystem::exists(options.texture))
            message += "; make one with: sphaerix-spheremap generate " + options.texture;
        return fail(message);
    }

    applyView(options);
    frameRules = options.rules; // the window's software frames follow them too
    try {
        if (!options.ladderDir.empty() || options.explain)
            return ladderSnapshot(argv[0], options, texture);
        return options.window ? windowSnapshot(argv[0], options, texture) : softwareSnapshot(options, texture);
    } catch (const std::bad_alloc&) {
        // The largest frames allowed need several gigabytes: say so rather than abort.
        return fail("not enough memory for a " + std::to_string(options.width) + "x" +
                    std::to_string(options.height) + " frame");
    }
}
