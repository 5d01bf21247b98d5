// The program's OpenGL rendering through WebGL 2: white clear, the caption, then every
// mesh with the depth test, into a framebuffer of the frame's size, which is copied to
// the renderer's canvas for the page to show. Its pixels are read back only when asked
// for (the difference, a save, pixels()): on a browser without a GPU, reading back and
// painting a 2D canvas cost as much as the drawing. The module's draw() must have set the
// camera for the view first.
import { captionVertex, captionFragment, maxLights, sceneFragment, sceneVertex } from './shaders.js';
import { captionMask } from './caption.js';
import { cornerFloats, eyeLights, multiplyColumns, normalMatrix, readScene, triangleCorners } from './scene.js';

// null and the reason when this browser has no WebGL 2.
export function createOpenGLRenderer(canvas = document.createElement('canvas')) {
    const gl = canvas.getContext('webgl2', { antialias: false, alpha: false, depth: false,
                                             preserveDrawingBuffer: true });
    if (!gl)
        return { renderer: null, reason: 'this browser has no WebGL 2' };
    const scene = program(gl, sceneVertex, sceneFragment);
    const caption = program(gl, captionVertex, captionFragment);
    const buffers = { vertices: gl.createBuffer(), corners: gl.createBuffer() };
    gl.bindBuffer(gl.ARRAY_BUFFER, buffers.corners);
    gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([0, 0, 1, 0, 0, 1, 1, 1]), gl.STATIC_DRAW);
    const image = texture(gl);
    const mask = texture(gl);
    const target = { framebuffer: gl.createFramebuffer(), color: gl.createRenderbuffer(),
                     depth: gl.createRenderbuffer(), width: 0, height: 0 };
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
        resize(gl, target, width, height);
        gl.bindFramebuffer(gl.FRAMEBUFFER, target.framebuffer);
        gl.viewport(0, 0, width, height);
        gl.clearColor(1, 1, 1, 1);
        gl.clearDepth(1);
        gl.disable(gl.DEPTH_TEST);
        gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
        drawCaption(width, height);
        drawScene(loaded.scene, m.glMatrices(), width, height);
        show(width, height);
        const frame = ++drawn;
        let rgb = null;
        return { width, height, get rgb() { return rgb ??= read(frame, width, height); } };
    }

    // The framebuffer's pixels onto the canvas, as they are.
    function show(width, height) {
        if (canvas.width !== width || canvas.height !== height) {
            canvas.width = width;
            canvas.height = height;
        }
        gl.bindFramebuffer(gl.READ_FRAMEBUFFER, target.framebuffer);
        gl.bindFramebuffer(gl.DRAW_FRAMEBUFFER, null);
        gl.blitFramebuffer(0, 0, width, height, 0, 0, width, height, gl.COLOR_BUFFER_BIT, gl.NEAREST);
        gl.bindFramebuffer(gl.FRAMEBUFFER, null);
    }

    function read(frame, width, height) {
        if (frame !== drawn)
            throw new Error('the OpenGL frame was drawn again before its pixels were read');
        const bottomUp = new Uint8Array(width * height * 4);
        gl.bindFramebuffer(gl.FRAMEBUFFER, target.framebuffer);
        gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, bottomUp);
        gl.bindFramebuffer(gl.FRAMEBUFFER, null);
        return topRowFirstRgb(bottomUp, width, height);
    }

    // The scene's vertices and texture into WebGL's buffers; what each draw needs besides.
    function load(s) {
        gl.bindBuffer(gl.ARRAY_BUFFER, buffers.vertices);
        gl.bufferData(gl.ARRAY_BUFFER, triangleCorners(s.vertices, s.triangles), gl.STATIC_DRAW);
        if (s.textureBytes) {
            gl.bindTexture(gl.TEXTURE_2D, image);
            gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
            gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGB8, s.texture.width, s.texture.height, 0, gl.RGB,
                          gl.UNSIGNED_BYTE, s.textureBytes);
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

    function drawScene(s, matrices, width, height) {
        gl.useProgram(scene.program);
        gl.enable(gl.DEPTH_TEST);
        gl.depthFunc(gl.LESS);
        const modelView = matrices.slice(0, 16), projection = matrices.slice(16, 32);
        gl.uniformMatrix4fv(scene.uniform('modelView'), false, modelView);
        gl.uniformMatrix4fv(scene.uniform('modelViewProjection'), false, multiplyColumns(projection, modelView));
        gl.uniformMatrix3fv(scene.uniform('normalMatrix'), false, normalMatrix(modelView));
        gl.uniform2f(scene.uniform('frameSize'), width, height);
        setLights(s, modelView);
        if (s.textured) {
            gl.activeTexture(gl.TEXTURE0);
            gl.bindTexture(gl.TEXTURE_2D, image);
            gl.uniform1i(scene.uniform('image'), 0);
            gl.uniform2i(scene.uniform('imageSize'), s.texture.width, s.texture.height);
        }
        gl.bindBuffer(gl.ARRAY_BUFFER, buffers.vertices);
        const attributes = [['corner', 1], ...[0, 1, 2].flatMap(k => [[`position${k}`, 4], [`normal${k}`, 3]])];
        let offset = 0;
        const enabled = attributes.map(([name, size]) => {
            const at = scene.attribute(name);
            if (at >= 0) {
                gl.enableVertexAttribArray(at);
                gl.vertexAttribPointer(at, size, gl.FLOAT, false, cornerFloats * 4, offset);
            }
            offset += size * 4;
            return at;
        }).filter(at => at >= 0);
        for (const mesh of s.meshes) {
            const textured = mesh.textured && s.textured;
            gl.uniform1i(scene.uniform('textured'), textured ? 1 : 0);
            gl.uniform4fv(scene.uniform('frontAmbient'), s.ambient);
            gl.uniform4fv(scene.uniform('frontDiffuse'), mesh.diffuse);
            gl.uniform4fv(scene.uniform('frontSpecular'), mesh.specular);
            gl.uniform1f(scene.uniform('frontShininess'), mesh.shininess);
            if (mesh.count > 0)
                gl.drawArrays(gl.TRIANGLES, mesh.first, mesh.count);
        }
        enabled.forEach(at => gl.disableVertexAttribArray(at));
        gl.disable(gl.DEPTH_TEST);
    }

    // Lights past the eighth are refused by OpenGL; they are left out here too.
    function setLights(s, modelView) {
        const lights = eyeLights(s.lights.slice(0, maxLights), modelView);
        gl.uniform4fv(scene.uniform('sceneAmbient'), s.ambient);
        gl.uniform1i(scene.uniform('lightCount'), lights.length);
        if (!lights.length)
            return;
        gl.uniform3fv(scene.uniform('lightDirection'), lights.flatMap(l => l.toLight));
        gl.uniform3fv(scene.uniform('lightHalf'), lights.flatMap(l => l.half));
        gl.uniform4fv(scene.uniform('lightColor'), lights.flatMap(l => l.color));
    }

    return { renderer: { render, largest, canvas } };
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

// A 24-bit depth buffer as the program's window has.
function resize(gl, target, width, height) {
    if (target.width === width && target.height === height)
        return;
    gl.bindRenderbuffer(gl.RENDERBUFFER, target.color);
    gl.renderbufferStorage(gl.RENDERBUFFER, gl.RGBA8, width, height);
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
