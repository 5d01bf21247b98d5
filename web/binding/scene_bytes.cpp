#include <cstring>

#include "scene/scene.h"
#include "web/binding/session.h"

// What the C library's maths made of the torus, byte for byte, so that a test can hold
// the module's scene against the native program's.

namespace {

void appendFloat(std::vector<unsigned char>& bytes, float value)
{
    unsigned char b[sizeof value];
    std::memcpy(b, &value, sizeof value);
    bytes.insert(bytes.end(), b, b + sizeof value); // both targets are little-endian
}

} // namespace

std::vector<unsigned char> sceneBytes()
{
    if (theScene.meshes.empty())
        useGeneratedTexture();
    std::vector<unsigned char> bytes;
    for (const Mesh& mesh : theScene.meshes)
        for (const Polygon& polygon : mesh.polygons)
            for (const Vertex& v : polygon.vertices) {
                for (float value : {v.position.x, v.position.y, v.position.z, v.position.w})
                    appendFloat(bytes, value);
                for (float value : {v.normal[0], v.normal[1], v.normal[2], v.u, v.v})
                    appendFloat(bytes, value);
            }
    return bytes;
}
