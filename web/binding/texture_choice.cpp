#include <cstdio>

#include "scene/scene.h"
#include "texture/generate_sphere_map.h"
#include "texture/raw_image.h"
#include "texture/resample.h"
#include "web/binding/page_session.h"

// Every texture reaches the scene through the program's own reader and buildScene, from
// a file in the module's memory-backed file system: the page sees what the program would.

namespace {

bool writeBytes(const std::string& path, const std::vector<unsigned char>& bytes, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    // An empty file writes nothing: fwrite must not be handed the empty vector's null data.
    bool written = file && (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    if (file && std::fclose(file) != 0)
        written = false;
    if (!written)
        error = "cannot write the texture to \"" + path + "\"";
    return written;
}

std::string useTextureFile(const std::vector<unsigned char>& bytes)
{
    PageSession& s = session();
    Texture checked;
    if (std::string error = buildSceneOn(bytes, s.texturePath, &checked); !error.empty())
        return error;
    s.textureBytes = checked.data;
    s.sceneOnCaseTexture = false;
    s.forgetFrame();
    return "";
}

} // namespace

std::string buildSceneOn(const std::vector<unsigned char>& bytes, const std::string& path, Texture* read)
{
    std::string error;
    Texture checked;
    if (writeBytes(path, bytes, error) && readTextureFile(checked, path.c_str(), error)) {
        if (read)
            *read = checked;
        // The scene points to the session's texture, which stays in place.
        session().sceneTexture = std::move(checked);
        buildScene(theScene, session().sceneTexture);
        return "";
    }
    // The user gave bytes, not this file: its path is the page's own business.
    const std::string named = " \"" + path + "\"";
    for (std::size_t at; (at = error.find(named)) != std::string::npos;)
        error.erase(at, named.size());
    return error; // the scene keeps the texture it was built with
}

void setTextureScratchPath(const std::string& path)
{
    session().texturePath = path;
}

std::string useGeneratedTexture()
{
    return useTextureFile(generateSphereMap());
}

std::string loadRawTexture(const std::vector<unsigned char>& bytes)
{
    return useTextureFile(bytes);
}

std::string importImageTexture(const std::vector<double>& samples, int width, int height)
{
    if (width < 1 || height < 1 || samples.size() != std::size_t(width) * std::size_t(height) * 3)
        return "the image to import has " + std::to_string(samples.size()) + " samples, not 3 per pixel of " +
               std::to_string(width) + "x" + std::to_string(height);
    Image image{width, height, samples};
    if (image.width != textureSize || image.height != textureSize)
        image = resample(image, textureSize, textureSize);
    return useTextureFile(rawFromImage(image));
}

const std::vector<unsigned char>& currentTextureBytes()
{
    return session().textureBytes;
}
