// The fixed-function path the program takes, as one vertex and one fragment shader.
// The vertex shader does what the driver's generated vertex program does: the position
// through the product of the two matrices, sphere-map coordinates from the eye-space
// position and the (not normalized) eye-space normal, and two-sided lighting for a mesh
// without a texture. The fragment shader samples as GL_LINEAR with GL_CLAMP does: the
// coordinate clamped to [0, 1] and the texels beyond the edge taken from the border
// colour (black), which WebGL's samplers cannot do, so the four texels are fetched here.

export const maxLights = 8;

export const sceneVertex = `#version 300 es
precision highp float;
in vec4 position;
in vec3 normal;
uniform mat4 modelView;
uniform mat4 modelViewProjection;
uniform mat3 normalMatrix;
uniform bool textured;
uniform vec4 sceneAmbient;
uniform vec4 frontAmbient;
uniform vec4 frontDiffuse;
uniform vec4 frontSpecular;
uniform float frontShininess;
uniform int lightCount;
uniform vec3 lightDirection[${maxLights}];
uniform vec3 lightHalf[${maxLights}];
uniform vec4 lightColor[${maxLights}];
out vec2 st;
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
    vec4 eye = modelView * position;
    gl_Position = modelViewProjection * position;
    vec3 n = normalMatrix * normal;
    if (textured) {
        vec3 u = eye.xyz * inversesqrt(dot(eye.xyz, eye.xyz));
        float twice = dot(n, u);
        twice += twice;
        vec3 r = -n * twice + u;
        vec3 q = r + vec3(0.0, 0.0, 1.0);
        float halfInverseM = inversesqrt(dot(q, q)) * 0.5;
        st = r.xy * halfInverseM + 0.5;
        frontColor = backColor = vec4(1.0);
    } else {
        st = vec2(0.0);
        frontColor = lit(n, frontAmbient, frontDiffuse, frontSpecular, frontShininess);
        backColor = lit(-n, backAmbient, backDiffuse, vec4(0.0), 0.0);
    }
}
`;

export const sceneFragment = `#version 300 es
precision highp float;
precision highp int;
in vec2 st;
in vec4 frontColor;
in vec4 backColor;
uniform bool textured;
uniform highp sampler2D image;
uniform ivec2 imageSize;
out vec4 color;

vec3 texel(ivec2 p) {
    if (any(lessThan(p, ivec2(0))) || any(greaterThanEqual(p, imageSize)))
        return vec3(0.0);
    return texelFetch(image, p, 0).rgb;
}

void main() {
    if (!textured) {
        color = gl_FrontFacing ? frontColor : backColor;
        return;
    }
    vec2 size = vec2(imageSize);
    vec2 c = clamp(st * size, vec2(0.0), size) - 0.5;
    vec2 f = floor(c);
    vec2 w = c - f;
    ivec2 i = ivec2(f);
    vec3 below = mix(texel(i), texel(i + ivec2(1, 0)), w.x);
    vec3 above = mix(texel(i + ivec2(0, 1)), texel(i + ivec2(1, 1)), w.x);
    // Decal on an RGB image: the texture's colour replaces the fragment's.
    color = vec4(mix(below, above, w.y), frontColor.a);
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
