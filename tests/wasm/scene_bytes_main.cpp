// Writes the native build's torus as the module's sceneBytes() hands it over, for the
// comparison with the WebAssembly build.
#include <cstdio>
#include <filesystem>

#include "web/binding/session.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: scene_bytes OUT\n");
        return 2;
    }
    setTextureScratchPath(std::string(argv[1]) + ".texture");
    const std::vector<unsigned char> bytes = sceneBytes();
    std::FILE* out = std::fopen(argv[1], "wb");
    const bool written = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (!out || std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "scene_bytes: cannot write \"%s\"\n", argv[1]);
        return 1;
    }
    return 0;
}
