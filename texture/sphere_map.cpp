#include "texture/sphere_map.h"

SphereMap::SphereMap(const Scene& scene, const Mesh& mesh)
{
    const double* m = scene.modelView.current.m;
    for (int i = 0; i < 4; ++i) {
        row0[i] = m[i];
        row1[i] = m[4 + i];
    }
    const Texture* texture = mesh.texture;
    texels = texture ? texture->data.data() : nullptr;
    width = texture ? texture->width : 0;
    height = texture ? texture->height : 0;
    components = texture ? texture->components : 0;
}

Color4 sphereMapLookup(const Scene& scene, float nx, float ny, float nz, const Mesh& mesh)
{
    return SphereMap(scene, mesh).colorAt(nx, ny, nz);
}
