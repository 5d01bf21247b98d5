#pragma once

// What the page's WebGL 2 renderer needs to draw the scene as the program's OpenGL path
// draws it: the same vertices, normals and polygon order, the camera's two matrices as
// they go to glLoadMatrixf, the texture bytes as they go to glTexImage2D, and the light
// and material values for a mesh without a texture.
//
// In JavaScript (web/binding/gl_scene.cpp binds it), after m.draw() has set the camera:
//   m.glVertices() -> Float32Array     per corner x, y, z, w, nx, ny, nz, polygon by polygon
//                                      in drawing order, corners in index order
//   m.glTriangles() -> Uint32Array     each polygon as a fan from its first corner:
//                                      (0, i, i + 1) for i = 1 .. corners - 2, as corner indices
//   m.glMatrices() -> Float32Array     32 floats: the model-view matrix, then the projection,
//                                      each in column order (element r, c at c * 4 + r)
//   m.glSceneJson() -> string          {"ambient": [r, g, b, a],
//                                       "lights": [{"direction": [x, y, z], "color": [r, g, b, a]}],
//                                       "meshes": [{"first": index into glTriangles, "count": indices,
//                                                   "textured": bool, "diffuse": [..], "specular": [..],
//                                                   "shininess": n}],
//                                       "texture": {"width", "height"} or null}
//                                      a non-finite number is written as null
//   m.glTextureBytes() -> Uint8Array   the first textured mesh's image, RGB, bottom row first
// The typed arrays are views into the module's memory, valid until the next call.

#include <string>
#include <vector>

struct GlScene {
    std::vector<float> vertices;
    std::vector<unsigned> triangles;
    std::vector<float> matrices;
    std::string json;
};

// The current scene (built with the generated texture if none is yet).
GlScene glScene();
const std::vector<unsigned char>& glTextureBytes();
