// The program's OpenGL rendering through WebGL 2: white clear, the caption, then every
// mesh with the depth test, drawn on the renderer's canvas for the page to show. Its
// pixels are read back only when asked for (the difference, a save, pixels()): on a
// browser without a GPU, reading back and painting a 2D canvas cost half as much again
// as the drawing. The module's draw() must have set the camera for the view first.
import { captionVertex, captionFragment, coverageFragment, litFragment, litVertex, maxLights, texturedFragment,
         texturedVertex } from './shaders.js';
import { captionMask } from './caption.js';
import { cornerFloats, eyeLights, multiplyColumns, normalMatrix, readScene, triangleCorners } from './scene.js';

// Each corner's attributes in the vertex buffer, in order, with their sizes in floats.
const layout = [['corner', 1], ...[0, 1, 2].flatMap(k => [[`position${k}`, 4], [`normal${k}`, 3]])];

// null and the reason when this browser has no WebGL 2.
export function createOpenGLRenderer(canvas = document.createElement('canvas')) {
    // The drawing is kept after it is shown, so that its pixels can be read when asked for.
    const gl = canvas.getContext('webgl2', { antialias: false, alpha: false, depth: true, stencil: false,
                                             preserveDrawingBuffer: true });
    if (!gl)
        return { renderer: null, reason: 'this browser has no WebGL 2' };
    const textured = program(gl, texturedVertex, texturedFragment);
    const lit = program(gl, litVertex, litFragment);
    const caption = program(gl, captionVertex, captionFragment);
    // Where the torus drew: the scene again with the textured program's corners, into a
    // target of its own, one byte a pixel.
    const covering = program(gl, texturedVertex, coverageFragment);
    const coverage = { framebuffer: gl.createFramebuffer(), color: gl.createRenderbuffer(), depth: gl.createRenderbuffer(),
                       width: 0, height: 0, format: gl.R8 };
    const buffers = { vertices: gl.createBuffer(), corners: gl.createBuffer() };
    gl.bindBuffer(gl.ARRAY_BUFFER, buffers.corners);
    gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([0, 0, 1, 0, 0, 1, 1, 1]), gl.STATIC_DRAW);
    const image = texture(gl);
    const mask = texture(gl);
    // The window's 24-bit depth buffer, as the program's has: the canvas's own where it
    // has one of 24 bits, else a framebuffer's, copied to the canvas.
    const target = gl.getParameter(gl.DEPTH_BITS) === 24 ? null
        : { framebuffer: gl.createFramebuffer(), color: gl.createRenderbuffer(), depth: gl.createRenderbuffer(),
            width: 0, height: 0, format: gl.RGBA8 };
    const largest = Math.min(gl.getParameter(gl.MAX_RENDERBUFFER_SIZE), gl.getParameter(gl.MAX_VIEWPORT_DIMS)[0],
                             gl.getParameter(gl.MAX_VIEWPORT_DIMS)[1]);
    // The scene's vertices, texture and caption stay in WebGL's buffers until the scene
    // is another (`version` changes; undefined: read every time).
    let loaded = { version: undefined, scene: null };
    let captionLoaded = false;
    let drawn = 0;

    // The frame drawn and on the canvas: { width, height, rgb } with the RGB (top row
    // first) read when first asked for, or { error } when it cannot be drawn here.
    function render(m, width, height, version) {
        if (width > largest || height > largest)
            return { error: `WebGL here draws at most ${largest} pixels per side; the OpenGL rendering of ` +
                            `${width}x${height} is not shown` };
        if (gl.isContextLost())
            return { error: 'the WebGL context was lost' };
        if (version === undefined || version !== loaded.version)
            loaded = { version, scene: load(readScene(m)) };
        if (canvas.width !== width || canvas.height !== height) {
            canvas.width = width;
            canvas.height = height;
        }
        if (target)
            resize(gl, target, width, height);
        gl.bindFramebuffer(gl.FRAMEBUFFER, target?.framebuffer ?? null);
        gl.viewport(0, 0, width, height);
        gl.clearColor(1, 1, 1, 1);
        gl.clearDepth(1);
        gl.disable(gl.DEPTH_TEST);
        gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
        drawCaption(width, height);
        drawScene(loaded.scene, m.glMatrices().slice(), width, height);
        if (target) {
            gl.bindFramebuffer(gl.DRAW_FRAMEBUFFER, null);
            gl.blitFramebuffer(0, 0, width, height, 0, 0, width, height, gl.COLOR_BUFFER_BIT, gl.NEAREST);
        }
        gl.bindFramebuffer(gl.FRAMEBUFFER, null);
        const frame = ++drawn;
        let rgb = null, covered = null;
        const matrices = m.glMatrices().slice();
        return { width, height, get rgb() { return rgb ??= read(frame, width, height); },
                 get covered() { return covered ??= cover(frame, matrices, width, height); } };
    }

    // One byte a pixel, bottom row first: 1 where the torus drew.
    function cover(frame, matrices, width, height) {
        if (frame !== drawn)
            throw new Error('the OpenGL frame was drawn again before its coverage was read');
        resize(gl, coverage, width, height);
        gl.bindFramebuffer(gl.FRAMEBUFFER, coverage.framebuffer);
        gl.viewport(0, 0, width, height);
        gl.clearColor(0, 0, 0, 0);
        gl.clearDepth(1);
        gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
        drawScene(loaded.scene, matrices, width, height, covering);
        const rgba = new Uint8Array(width * height * 4);
        gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, rgba);
        gl.bindFramebuffer(gl.FRAMEBUFFER, null);
        const out = new Uint8Array(width * height);
        for (let i = 0; i < out.length; ++i)
            out[i] = rgba[4 * i] ? 1 : 0;
        return out;
    }

    // The implementation compared with: the renderer's name where the browser gives it.
    function name() {
        const info = gl.getExtension('WEBGL_debug_renderer_info');
        return info ? gl.getParameter(info.UNMASKED_RENDERER_WEBGL) : gl.getParameter(gl.RENDERER);
    }

    function read(frame, width, height) {
        if (frame !== drawn)
            throw new Error('the OpenGL frame was drawn again before its pixels were read');
        const bottomUp = new Uint8Array(width * height * 4);
        gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, bottomUp);
        return topRowFirstRgb(bottomUp, width, height);
    }

    // The scene's vertices and texture into WebGL's buffers; what each draw needs besides.
    function load(s) {
        gl.bindBuffer(gl.ARRAY_BUFFER, buffers.vertices);
        gl.bufferData(gl.ARRAY_BUFFER, triangleCorners(s.vertices, s.triangles), gl.STATIC_DRAW);
        if (s.textureBytes) {
            const { width, height } = s.texture;
            gl.bindTexture(gl.TEXTURE_2D, image);
            gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
            gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGB8, width + 2, height + 2, 0, gl.RGB, gl.UNSIGNED_BYTE,
                          withBlackBorder(s.textureBytes, width, height));
        }
        return { ambient: s.ambient, lights: s.lights, meshes: s.meshes, texture: s.texture,
                 textured: !!s.textureBytes };
    }

    // Drawn with the depth test off, so the torus covers it and it leaves no depth.
    function drawCaption(width, height) {
        const c = captionMask(width, height);
        if (!c)
            return;
        gl.useProgram(caption.program);
        gl.activeTexture(gl.TEXTURE0);
        gl.bindTexture(gl.TEXTURE_2D, mask);
        if (!captionLoaded) {
            gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
            gl.texImage2D(gl.TEXTURE_2D, 0, gl.R8, c.width, c.height, 0, gl.RED, gl.UNSIGNED_BYTE, c.bits);
            captionLoaded = true;
        }
        gl.uniform1i(caption.uniform('mask'), 0);
        gl.uniform4f(caption.uniform('box'), c.x, c.y, c.width, c.height);
        gl.uniform2f(caption.uniform('frameSize'), width, height);
        gl.bindBuffer(gl.ARRAY_BUFFER, buffers.corners);
        const at = caption.attribute('corner');
        gl.enableVertexAttribArray(at);
        gl.vertexAttribPointer(at, 2, gl.FLOAT, false, 0, 0);
        gl.drawArrays(gl.TRIANGLE_STRIP, 0, 4);
        gl.disableVertexAttribArray(at);
    }

    // `only`: one program for every mesh (the coverage), else each mesh's own.
    function drawScene(s, matrices, width, height, only = null) {
        gl.enable(gl.DEPTH_TEST);
        gl.depthFunc(gl.LESS);
        const modelView = matrices.subarray(0, 16), projection = matrices.subarray(16, 32);
        const camera = [modelView, multiplyColumns(projection, modelView), normalMatrix(modelView)];
        gl.bindBuffer(gl.ARRAY_BUFFER, buffers.vertices);
        let offset = 0;
        layout.forEach(([, size], at) => {
            gl.enableVertexAttribArray(at);
            gl.vertexAttribPointer(at, size, gl.FLOAT, false, cornerFloats * 4, offset);
            offset += size * 4;
        });
        const lights = eyeLights(s.lights.slice(0, maxLights), modelView);
        for (const mesh of s.meshes) {
            const p = only ?? (mesh.textured && s.textured ? textured : lit);
            gl.useProgram(p.program);
            gl.uniformMatrix4fv(p.uniform('modelView'), false, camera[0]);
            gl.uniformMatrix4fv(p.uniform('modelViewProjection'), false, camera[1]);
            gl.uniformMatrix3fv(p.uniform('normalMatrix'), false, camera[2]);
            if (p === only) {
                // the coverage needs only the corners
            } else if (p === textured) {
                gl.activeTexture(gl.TEXTURE0);
                gl.bindTexture(gl.TEXTURE_2D, image);
                gl.uniform1i(p.uniform('image'), 0);
                gl.uniform2i(p.uniform('imageSize'), s.texture.width, s.texture.height);
                gl.uniform2f(p.uniform('frameSize'), width, height);
            } else {
                setLights(s, lights);
                gl.uniform4fv(p.uniform('frontAmbient'), s.ambient);
                gl.uniform4fv(p.uniform('frontDiffuse'), mesh.diffuse);
                gl.uniform4fv(p.uniform('frontSpecular'), mesh.specular);
                gl.uniform1f(p.uniform('frontShininess'), mesh.shininess);
            }
            if (mesh.count > 0)
                gl.drawArrays(gl.TRIANGLES, mesh.first, mesh.count);
        }
        layout.forEach((_, at) => gl.disableVertexAttribArray(at));
        gl.disable(gl.DEPTH_TEST);
    }

    // Lights past the eighth are refused by OpenGL; they are left out here too.
    function setLights(s, lights) {
        gl.uniform4fv(lit.uniform('sceneAmbient'), s.ambient);
        gl.uniform1i(lit.uniform('lightCount'), lights.length);
        if (!lights.length)
            return;
        gl.uniform3fv(lit.uniform('lightDirection'), lights.flatMap(l => l.toLight));
        gl.uniform3fv(lit.uniform('lightHalf'), lights.flatMap(l => l.half));
        gl.uniform4fv(lit.uniform('lightColor'), lights.flatMap(l => l.color));
    }

    return { renderer: { render, largest, canvas, name } };
}

function program(gl, vertexSource, fragmentSource) {
    const p = gl.createProgram();
    for (const [type, source] of [[gl.VERTEX_SHADER, vertexSource], [gl.FRAGMENT_SHADER, fragmentSource]]) {
        const shader = gl.createShader(type);
        gl.shaderSource(shader, source);
        gl.compileShader(shader);
        if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS))
            throw new Error(`a shader did not compile: ${gl.getShaderInfoLog(shader)}`);
        gl.attachShader(p, shader);
    }
    // The scene's two programs read the one vertex buffer through the same places.
    layout.forEach(([name], at) => gl.bindAttribLocation(p, at, name));
    gl.linkProgram(p);
    if (!gl.getProgramParameter(p, gl.LINK_STATUS))
        throw new Error(`the shaders did not link: ${gl.getProgramInfoLog(p)}`);
    const uniforms = new Map();
    return {
        program: p,
        uniform: name => {
            if (!uniforms.has(name))
                uniforms.set(name, gl.getUniformLocation(p, name));
            return uniforms.get(name);
        },
        attribute: name => gl.getAttribLocation(p, name),
    };
}

// Texel fetches only: no filtering by the sampler, no mipmaps needed.
function texture(gl) {
    const t = gl.createTexture();
    gl.bindTexture(gl.TEXTURE_2D, t);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE);
    return t;
}

// GL_CLAMP's border colour, black, as texels round the image.
function withBlackBorder(rgb, width, height) {
    const out = new Uint8Array((width + 2) * (height + 2) * 3);
    for (let y = 0; y < height; ++y)
        out.set(rgb.subarray(y * width * 3, (y + 1) * width * 3), ((y + 1) * (width + 2) + 1) * 3);
    return out;
}

// A 24-bit depth buffer as the program's window has.
function resize(gl, target, width, height) {
    if (target.width === width && target.height === height)
        return;
    gl.bindRenderbuffer(gl.RENDERBUFFER, target.color);
    gl.renderbufferStorage(gl.RENDERBUFFER, target.format, width, height);
    gl.bindRenderbuffer(gl.RENDERBUFFER, target.depth);
    gl.renderbufferStorage(gl.RENDERBUFFER, gl.DEPTH_COMPONENT24, width, height);
    gl.bindFramebuffer(gl.FRAMEBUFFER, target.framebuffer);
    gl.framebufferRenderbuffer(gl.FRAMEBUFFER, gl.COLOR_ATTACHMENT0, gl.RENDERBUFFER, target.color);
    gl.framebufferRenderbuffer(gl.FRAMEBUFFER, gl.DEPTH_ATTACHMENT, gl.RENDERBUFFER, target.depth);
    target.width = width;
    target.height = height;
}

function topRowFirstRgb(rgba, width, height) {
    const rgb = new Uint8Array(width * height * 3);
    for (let y = 0; y < height; ++y) {
        const from = (height - 1 - y) * width * 4;
        let to = y * width * 3;
        for (let x = 0; x < width; ++x, to += 3) {
            rgb[to] = rgba[from + 4 * x];
            rgb[to + 1] = rgba[from + 4 * x + 1];
            rgb[to + 2] = rgba[from + 4 * x + 2];
        }
    }
    return rgb;
}
