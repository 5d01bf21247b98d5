// The scene as the module hands it over, and the values the driver derives from the
// loaded matrices before drawing: the product of projection and model-view, formed in
// float as the driver forms it, the normals' matrix, and the lights' eye-space
// directions and half vectors.

const f = Math.fround;

export function readScene(m) {
    const json = JSON.parse(m.glSceneJson());
    const numbers = v => (Array.isArray(v) ? v.map(numbers) : v === null ? NaN : v);
    return {
        ambient: numbers(json.ambient),
        lights: json.lights.map(l => ({ direction: numbers(l.direction), color: numbers(l.color) })),
        meshes: json.meshes.map(mesh => ({ ...mesh, diffuse: numbers(mesh.diffuse), specular: numbers(mesh.specular) })),
        texture: json.texture,
        // Each copied at once: the module's views last until its next call.
        vertices: m.glVertices().slice(),
        triangles: m.glTriangles().slice(),
        matrices: m.glMatrices().slice(),
        textureBytes: json.texture ? m.glTextureBytes().slice() : null,
    };
}

// Column-order a * b, each element a float sum of float products taken left to right.
export function multiplyColumns(a, b) {
    const p = new Float32Array(16);
    for (let i = 0; i < 4; ++i)
        for (let j = 0; j < 4; ++j) {
            let sum = f(a[i] * b[j * 4]);
            for (let k = 1; k < 4; ++k)
                sum = f(sum + f(a[k * 4 + i] * b[j * 4 + k]));
            p[j * 4 + i] = sum;
        }
    return p;
}

// The inverse transpose of the upper 3x3 of a column-order 4x4, in column order.
export function normalMatrix(m) {
    const a = (r, c) => m[c * 4 + r];
    const cof = (r, c) => {
        const rows = [0, 1, 2].filter(x => x !== r), cols = [0, 1, 2].filter(x => x !== c);
        const minor = a(rows[0], cols[0]) * a(rows[1], cols[1]) - a(rows[0], cols[1]) * a(rows[1], cols[0]);
        return (r + c) % 2 ? -minor : minor;
    };
    const det = a(0, 0) * cof(0, 0) + a(0, 1) * cof(0, 1) + a(0, 2) * cof(0, 2);
    // inverse(r, c) = cof(c, r) / det, so its transpose at (r, c) is cof(r, c) / det.
    const out = new Float32Array(9);
    for (let r = 0; r < 3; ++r)
        for (let c = 0; c < 3; ++c)
            out[c * 3 + r] = cof(r, c) / det;
    return out;
}

function normalize(v) {
    const length = Math.hypot(...v);
    return v.map(x => x / length);
}

// Directional lights set after the model-view was loaded: their directions turn with it.
export function eyeLights(lights, modelView) {
    return lights.map(({ direction: [x, y, z], color }) => {
        const eye = [0, 1, 2].map(r => modelView[r] * x + modelView[4 + r] * y + modelView[8 + r] * z);
        const toLight = normalize(eye);
        return { toLight, half: normalize([toLight[0], toLight[1], toLight[2] + 1]), color };
    });
}

export const cornerFloats = 22;

// One vertex per triangle corner, each carrying its own index in the triangle (0, 1, 2)
// and the position and normal of all three corners, so that the fragment shader can
// interpolate from the corners themselves.
export function triangleCorners(vertices, triangles) {
    const out = new Float32Array(triangles.length * cornerFloats);
    for (let t = 0, o = 0; t < triangles.length; t += 3)
        for (let k = 0; k < 3; ++k) {
            out[o++] = k;
            for (let j = 0; j < 3; ++j) {
                const v = triangles[t + j] * 7;
                out.set(vertices.subarray(v, v + 7), o);
                o += 7;
            }
        }
    return out;
}
