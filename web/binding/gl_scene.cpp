#include "web/binding/gl_scene.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>

#include <emscripten/bind.h>
#include <emscripten/val.h>

#include "scene/scene.h"
#include "web/binding/page_session.h"

namespace {

// Nine significant digits read back to the same float.
void appendNumber(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    out += text;
}

void appendList(std::string& out, std::initializer_list<float> values)
{
    out += '[';
    const char* comma = "";
    for (float v : values) {
        out += comma;
        appendNumber(out, v);
        comma = ",";
    }
    out += ']';
}

void appendColor(std::string& out, const char* name, const Color4& c)
{
    out += '"';
    out += name;
    out += "\":";
    appendList(out, {c.r, c.g, c.b, c.a});
}

// As loadMatrix in glref hands it over: element (r, c) to c * 4 + r, rounded to float.
void appendColumns(std::vector<float>& out, const Matrix4& matrix)
{
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r)
            out.push_back(static_cast<float>(matrix.m[r * 4 + c]));
}

const Texture* firstTexture()
{
    for (const Mesh& mesh : theScene.meshes)
        if (mesh.texture)
            return mesh.texture;
    return nullptr;
}

} // namespace

GlScene glScene()
{
    if (theScene.meshes.empty())
        useGeneratedTexture();
    GlScene out;
    appendColumns(out.matrices, theScene.modelView.current);
    appendColumns(out.matrices, theScene.projection.current);

    std::string& json = out.json;
    json = "{";
    appendColor(json, "ambient", theScene.ambient);
    json += ",\"lights\":[";
    for (std::size_t i = 0; i < theScene.lights.size(); ++i) {
        const Light& light = theScene.lights[i];
        json += i ? ",{\"direction\":" : "{\"direction\":";
        appendList(json, {light.position[0], light.position[1], light.position[2]});
        json += ',';
        appendColor(json, "color", light.color);
        json += '}';
    }
    json += "],\"meshes\":[";
    unsigned corner = 0;
    for (std::size_t m = 0; m < theScene.meshes.size(); ++m) {
        const Mesh& mesh = theScene.meshes[m];
        const std::size_t first = out.triangles.size();
        for (const Polygon& polygon : mesh.polygons) {
            for (const Vertex& v : polygon.vertices)
                for (float value : {v.position.x, v.position.y, v.position.z, v.position.w, v.normal[0],
                                    v.normal[1], v.normal[2]})
                    out.vertices.push_back(value);
            for (std::size_t i = 1; i + 1 < polygon.vertices.size(); ++i)
                for (std::size_t k : {std::size_t(0), i, i + 1})
                    out.triangles.push_back(corner + unsigned(k));
            corner += unsigned(polygon.vertices.size());
        }
        json += m ? ",{" : "{";
        json += "\"first\":" + std::to_string(first) +
                ",\"count\":" + std::to_string(out.triangles.size() - first) +
                ",\"textured\":" + (mesh.texture ? "true," : "false,");
        appendColor(json, "diffuse", mesh.diffuse);
        json += ',';
        appendColor(json, "specular", mesh.specular);
        json += ",\"shininess\":" + std::to_string(mesh.shininess) + '}';
    }
    json += "],\"texture\":";
    const Texture* texture = firstTexture();
    json += texture ? "{\"width\":" + std::to_string(texture->width) +
                          ",\"height\":" + std::to_string(texture->height) + "}"
                    : std::string("null");
    json += '}';
    return out;
}

const std::vector<unsigned char>& glTextureBytes()
{
    static const std::vector<unsigned char> none;
    const Texture* texture = firstTexture();
    return texture ? texture->data : none;
}

namespace {

using emscripten::val;

template <typename T>
val view(const std::vector<T>& values)
{
    return val(emscripten::typed_memory_view(values.size(), values.data()));
}

std::string sceneJson()
{
    GlScene& kept = session().glScene = glScene();
    return kept.json;
}

val vertices()
{
    return view((session().glScene = glScene()).vertices);
}

val triangles()
{
    return view((session().glScene = glScene()).triangles);
}

// The camera alone, which is all that changes from one frame of a drag to the next.
val matrices()
{
    std::vector<float>& kept = session().glScene.matrices;
    kept.clear();
    appendColumns(kept, theScene.modelView.current);
    appendColumns(kept, theScene.projection.current);
    return view(kept);
}

val glTextureView()
{
    return view(glTextureBytes());
}

} // namespace

EMSCRIPTEN_BINDINGS(sphaerix_gl)
{
    using emscripten::function;
    function("glSceneJson", &sceneJson);
    function("glVertices", &vertices);
    function("glTriangles", &triangles);
    function("glMatrices", &matrices);
    function("glTextureBytes", &glTextureView);
}
