// The fixed-function path the program takes, as shaders: one pair for a textured mesh and
// one for a lit mesh without a texture, so that neither pays for the other's values at
// every fragment. The vertex shaders do what the driver's generated vertex program does:
// the position through the product of the two matrices, sphere-map coordinates from the
// eye-space position and the (not normalized) eye-space normal, or two-sided lighting.
// The textured fragment shader samples as GL_LINEAR with GL_CLAMP does: the coordinate
// clamped to [0, 1] and the texels beyond the edge taken from the border colour (black),
// which WebGL's samplers cannot do, so the four texels are fetched here from an image
// with a black texel added round it.
//
// The texture coordinates are interpolated here too, not by the rasterizer: a browser's
// WebGL may snap the corners to 1/16 of a pixel before it sets up its interpolation,
// which moves a sharp texture by a few hundredths of a texel against the program's
// OpenGL. Each vertex carries its triangle's three corners, and the fragment shader
// solves for the perspective-correct weights of its pixel centre from the corners'
// unsnapped clip coordinates (the rows of the inverse of the matrix of their x, y, w).

export const maxLights = 8;

const corners = `
in float corner;          // which of the three this vertex is
in vec4 position0, position1, position2;
in vec3 normal0, normal1, normal2;
uniform mat4 modelView;
uniform mat4 modelViewProjection;
uniform mat3 normalMatrix;`;

export const texturedVertex = `#version 300 es
precision highp float;${corners}
flat out vec3 weightRow0, weightRow1, weightRow2;
flat out vec2 st0, st1, st2;

vec2 sphereMap(vec4 position, vec3 normal) {
    vec4 eye = modelView * position;
    vec3 n = normalMatrix * normal;
    vec3 u = eye.xyz * inversesqrt(dot(eye.xyz, eye.xyz));
    float twice = dot(n, u);
    twice += twice;
    vec3 r = -n * twice + u;
    vec3 q = r + vec3(0.0, 0.0, 1.0);
    float halfInverseM = inversesqrt(dot(q, q)) * 0.5;
    return r.xy * halfInverseM + 0.5;
}

void main() {
    vec4 c0 = modelViewProjection * position0;
    vec4 c1 = modelViewProjection * position1;
    vec4 c2 = modelViewProjection * position2;
    int k = int(corner);
    gl_Position = k == 0 ? c0 : k == 1 ? c1 : c2;
    vec3 a = c0.xyw, b = c1.xyw, c = c2.xyw;
    weightRow0 = cross(b, c);
    weightRow1 = cross(c, a);
    weightRow2 = cross(a, b);
    st0 = sphereMap(position0, normal0);
    st1 = sphereMap(position1, normal1);
    st2 = sphereMap(position2, normal2);
}
`;

// `image` is the texture with one black texel round it, so that texel i of the texture
// is texel i + 1 here and the border's need no test.
export const texturedFragment = `#version 300 es
precision highp float;
precision highp int;
flat in vec3 weightRow0, weightRow1, weightRow2;
flat in vec2 st0, st1, st2;
uniform highp sampler2D image;
uniform ivec2 imageSize;
uniform vec2 frameSize;
out vec4 color;

vec3 texel(ivec2 p) {
    return texelFetch(image, p + 1, 0).rgb;
}

void main() {
    vec3 p = vec3(gl_FragCoord.xy / frameSize * 2.0 - 1.0, 1.0);
    vec3 w = vec3(dot(weightRow0, p), dot(weightRow1, p), dot(weightRow2, p));
    w /= w.x + w.y + w.z;
    vec2 st = w.x * st0 + w.y * st1 + w.z * st2;
    vec2 size = vec2(imageSize);
    vec2 c = clamp(st * size, vec2(0.0), size) - 0.5;
    vec2 f = floor(c);
    vec2 t = c - f;
    ivec2 i = ivec2(f);
    vec3 below = mix(texel(i), texel(i + ivec2(1, 0)), t.x);
    vec3 above = mix(texel(i + ivec2(0, 1)), texel(i + ivec2(1, 1)), t.x);
    // Decal on an RGB image: the texture's colour replaces the fragment's, whose alpha
    // (white's) stays.
    color = vec4(mix(below, above, t.y), 1.0);
}
`;

export const litVertex = `#version 300 es
precision highp float;${corners}
uniform vec4 sceneAmbient;
uniform vec4 frontAmbient;
uniform vec4 frontDiffuse;
uniform vec4 frontSpecular;
uniform float frontShininess;
uniform int lightCount;
uniform vec3 lightDirection[${maxLights}];
uniform vec3 lightHalf[${maxLights}];
uniform vec4 lightColor[${maxLights}];
out vec4 frontColor;
out vec4 backColor;

// The back faces keep the default material: ambient 0.2, diffuse 0.8, no specular.
const vec4 backAmbient = vec4(0.2, 0.2, 0.2, 1.0);
const vec4 backDiffuse = vec4(0.8, 0.8, 0.8, 1.0);

vec4 lit(vec3 n, vec4 ambient, vec4 diffuse, vec4 specular, float shininess) {
    vec3 sum = sceneAmbient.rgb * ambient.rgb;
    for (int i = 0; i < ${maxLights}; ++i) {
        if (i >= lightCount)
            break;
        float nl = dot(n, lightDirection[i]);
        if (nl > 0.0) {
            sum += nl * lightColor[i].rgb * diffuse.rgb;
            float nh = max(dot(n, lightHalf[i]), 0.0);
            sum += pow(nh, shininess) * lightColor[i].rgb * specular.rgb;
        }
    }
    return clamp(vec4(sum, diffuse.a), 0.0, 1.0);
}

void main() {
    int k = int(corner);
    gl_Position = modelViewProjection * (k == 0 ? position0 : k == 1 ? position1 : position2);
    vec3 n = normalMatrix * (k == 0 ? normal0 : k == 1 ? normal1 : normal2);
    frontColor = lit(n, frontAmbient, frontDiffuse, frontSpecular, frontShininess);
    backColor = lit(-n, backAmbient, backDiffuse, vec4(0.0), 0.0);
}
`;

export const litFragment = `#version 300 es
precision highp float;
in vec4 frontColor;
in vec4 backColor;
out vec4 color;
void main() {
    color = gl_FrontFacing ? frontColor : backColor;
}
`;

// The caption: a one-bit mask in window pixels, as a bitmap font sets them.
export const captionVertex = `#version 300 es
precision highp float;
in vec2 corner;
uniform vec4 box;        // x, y, width, height in window pixels
uniform vec2 frameSize;
out vec2 at;
void main() {
    at = corner;
    gl_Position = vec4((box.xy + corner * box.zw) / frameSize * 2.0 - 1.0, 0.0, 1.0);
}
`;

export const captionFragment = `#version 300 es
precision highp float;
in vec2 at;
uniform highp sampler2D mask;
out vec4 color;
void main() {
    if (texture(mask, at).r < 0.5)
        discard;
    color = vec4(0.0, 0.0, 0.0, 1.0);
}
`;

// Only where the torus is drawn.
export const coverageFragment = `#version 300 es
precision highp float;
out vec4 colour;
void main() {
    colour = vec4(1.0);
}
`;
