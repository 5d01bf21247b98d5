// sphaerix-spheremap: makes, imports and exports the raw sphere-map texture.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "texture/texture.h"
#include "tools/spheremap/generate.h"
#include "tools/png/png_io.h"
#include "tools/spheremap/raw_image.h"
#include "tools/spheremap/resample.h"

namespace {

const char* const usage = "usage: sphaerix-spheremap generate OUT.raw | import IN.png OUT.raw | export IN.raw OUT.png";

int fail(const std::string& error)
{
    std::fprintf(stderr, "sphaerix-spheremap: %s\n", error.c_str());
    return 1;
}

int generate(const char* out)
{
    std::string error;
    return writeRawFile(out, generateSphereMap(), error) ? 0 : fail(error);
}

int importPng(const char* in, const char* out)
{
    std::string error;
    Image image;
    if (!readPng(in, image, error))
        return fail(error);
    if (image.width != textureSize || image.height != textureSize)
        image = resample(image, textureSize, textureSize);
    return writeRawFile(out, rawFromImage(image), error) ? 0 : fail(error);
}

int exportPng(const char* in, const char* out)
{
    std::string error;
    std::vector<unsigned char> raw;
    if (!readRawFile(in, raw, error))
        return fail(error);
    PngData png;
    png.width = textureSize;
    png.height = textureSize;
    png.pixels = topDownRowsFromRaw(raw);
    return writePng(out, png, error) ? 0 : fail(error);
}

int run(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "generate" && argc == 3)
        return generate(argv[2]);
    if (command == "import" && argc == 4)
        return importPng(argv[2], argv[3]);
    if (command == "export" && argc == 4)
        return exportPng(argv[2], argv[3]);
    if (command.empty())
        std::fprintf(stderr, "sphaerix-spheremap: no command given\n");
    else if (command == "generate" || command == "import" || command == "export")
        std::fprintf(stderr, "sphaerix-spheremap: wrong number of arguments for \"%s\"\n", command.c_str());
    else
        std::fprintf(stderr, "sphaerix-spheremap: unknown command \"%s\"\n", command.c_str());
    std::fprintf(stderr, "%s\n", usage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        return fail(std::string("out of memory or internal error: ") + e.what());
    }
}
