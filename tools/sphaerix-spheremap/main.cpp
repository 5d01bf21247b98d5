// sphaerix-spheremap: makes, imports and exports the raw sphere-map texture.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "texture/texture.h"
#include "texture/generate_sphere_map.h"
#include "files/file_guard.h"
#include "files/png_file.h"
#include "files/raw_file.h"
#include "texture/raw_image.h"
#include "texture/resample.h"

namespace {

const char* const usage =
    "usage: sphaerix-spheremap generate OUT.raw | import IN.png OUT.raw | export IN.raw OUT.png | --help | --version";

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

// Our own words for the mistakes people make most; CLI11's for the rest.
std::string describeMistake(const CLI::App& app, const CLI::ParseError& error, int argc, char** argv)
{
    if (argc < 2)
        return "no command given";
    const std::string command = argv[1];
    if (command[0] == '-')
        return "unknown option \"" + command + "\"";
    if (app.get_subcommands([&command](const CLI::App* sub) {
                                  return sub->get_name() == command;
                              }).empty())
        return "unknown command \"" + command + "\"";
    if (dynamic_cast<const CLI::RequiredError*>(&error) || dynamic_cast<const CLI::ExtrasError*>(&error))
        return "wrong number of arguments for \"" + command + "\"";
    return error.what();
}

int run(int argc, char** argv)
{
    CLI::App app("Makes, imports and exports the raw sphere-map texture: 256x256 RGB texels,\n"
                 "bottom row first, 196608 bytes, no header.\n",
                 "sphaerix-spheremap");
    app.require_subcommand(1);
    app.set_version_flag("--version", "sphaerix-spheremap " SPHAERIX_VERSION, "print the version and exit");
    app.footer("Exit status: 0 done, 1 a file that cannot be read or written, 2 bad arguments.");
    std::string in, out;
    CLI::App* generateCommand = app.add_subcommand("generate", "write our own glossy sphere map");
    generateCommand->add_option("OUT.raw", out, "the raw file to write")->required()->type_name("");
    CLI::App* importCommand = app.add_subcommand("import", "any PNG, resampled to 256x256, as raw");
    importCommand->add_option("IN.png", in,
                              "any PNG: grey, RGB, palette, 8 or 16 bits; alpha is\n"
                              "composited over black, since the texture is opaque")->required()->type_name("");
    importCommand->add_option("OUT.raw", out, "the raw file to write")->required()->type_name("");
    CLI::App* exportCommand = app.add_subcommand("export", "a raw file as PNG, top row first, for viewing");
    exportCommand->add_option("IN.raw", in, "a raw file of exactly 196608 bytes")->required()->type_name("");
    exportCommand->add_option("OUT.png", out, "the PNG to write")->required()->type_name("");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::CallForVersion& version) {
        std::printf("%s\n", version.what());
        return 0;
    } catch (const CLI::ParseError& error) {
        std::fprintf(stderr, "sphaerix-spheremap: %s\n%s\n", describeMistake(app, error, argc, argv).c_str(), usage);
        return 2;
    }
    if (generateCommand->parsed())
        return generate(out.c_str());
    const bool importing = importCommand->parsed();
    if (const std::string clash = fileClash({{importing ? "IN.png" : "IN.raw", in, false},
                                             {importing ? "OUT.raw" : "OUT.png", out, true}});
        !clash.empty()) {
        std::fprintf(stderr, "sphaerix-spheremap: %s\n%s\n", clash.c_str(), usage);
        return 2;
    }
    if (importing)
        return importPng(in.c_str(), out.c_str());
    return exportPng(in.c_str(), out.c_str());
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
