// The WebAssembly build against the native one, byte for byte: the torus as built and
// the generated sphere map (where the two C libraries' maths could differ), then frames,
// depths, histories, reasons and traces of a table of views, and of two views under each
// rule taken from OpenGL and all of them; then a frame too large for the module. Under ctest:
//   node wasm_matches_native.mjs SITE/sphaerix.js SNAPSHOT SPHEREMAP SCENE_BYTES
// once for the module with WebAssembly SIMD and once for the one-lane module.
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { loadModule } from './load_module.mjs';

const [modulePath, snapshot, spheremap, sceneBytesTool] = process.argv.slice(2).map(p => resolve(p));
if (!existsSync(modulePath)) {
    console.log(`skipped: no module at ${modulePath} (web/build.sh builds it)`);
    process.exit(77);
}
const m = await loadModule(modulePath);
const dir = mkdtempSync(join(tmpdir(), 'sphaerix-wasm-'));
let failures = 0, passes = 0;

function check(name, ours, theirs) {
    const same = Buffer.compare(Buffer.from(ours), Buffer.from(theirs)) === 0;
    same ? ++passes : ++failures;
    console.log(`${same ? 'ok  ' : 'FAIL'} ${name}` + (same ? '' : ` (${ours.length} bytes against ${theirs.length})`));
}

// The binary PPM's pixels: after the header's four fields.
function ppmPixels(bytes) {
    let fields = 0, i = 0;
    while (fields < 4) {
        while (/\s/.test(String.fromCharCode(bytes[i]))) ++i;
        while (!/\s/.test(String.fromCharCode(bytes[i]))) ++i;
        ++fields;
    }
    return bytes.subarray(i + 1);
}

const native = (tool, args) => execFileSync(tool, args, { cwd: dir, encoding: 'latin1' });

native(spheremap, ['generate', 'sphere.raw']);
check('generated sphere map', m.useGeneratedTexture() === '' && m.textureBytes().slice(), readFileSync(join(dir, 'sphere.raw')));
native(sceneBytesTool, ['scene.bin']);
check('torus vertices, normals and u, v', m.sceneBytes().slice(), readFileSync(join(dir, 'scene.bin')));

// size, angle z, angle x, pan, zoom, a pixel for its history, a polygon to trace
const views = [
    ['480x480', -135, -60, '0,0', 0.25, '240,264', 1000],
    ['320x320', -135, -60, '0,0', 6, '70,214', 713],
    ['640x360', -75, -30, '12,-7', 6.25, '320,180', 17],
    ['200x300', 33, -170, '-40,25', -3, '0,0', 2303],
    ['1920x1080', -100, -20, '0,0', 4, '960,540', 1200],
    ['7x3', 10, 20, '1e3,-5', 1e-3, '6,2', 5],
    // Frames whose rows or columns end inside a group of lanes, or are one pixel.
    ['1x1', -135, -60, '0,0', 6, '0,0', 0],
    ['4096x16', -135, -60, '0,0', 5, '2049,7', 700],
    ['16x4096', -60, -80, '0,0', 5, '9,2051', 1500],
    ['7x3', -135, -60, '0,0', 9.5, '3,1', 100],
];
for (const [size, az, ax, pan, zoom, pixel, polygon] of views) {
    const [w, h] = size.split('x').map(Number);
    const [px, py] = pan.split(',').map(Number);
    const view = ['--size', size, '--angle-z', String(az), '--angle-x', String(ax), '--pan', pan, '--zoom', String(zoom)];
    const name = `${size} at ${az}/${ax}, pan ${pan}, zoom ${zoom}`;
    native(snapshot, [...view, '-o', 'frame.ppm', '--depth', 'frame.depth']);
    const message = m.draw(w, h, az, ax, px, py, zoom, 'color', -1);
    check(`${name}: colour`, message === '' && m.pixels().slice(), ppmPixels(readFileSync(join(dir, 'frame.ppm'))));
    check(`${name}: depth`, m.depthBytes().slice(), readFileSync(join(dir, 'frame.depth')));
    const [x, y] = pixel.split(',').map(Number);
    const history = native(snapshot, [...view, '--history', pixel, '--json']);
    check(`${name}: history of ${pixel}`, Buffer.from(m.historyJson(x, y)), Buffer.from(history, 'latin1'));
    check(`${name}: reason of ${pixel}`, Buffer.from(JSON.stringify(m.reason(x, y))),
          Buffer.from(JSON.stringify(JSON.parse(history).reason)));
    check(`${name}: trace of ${polygon}`, Buffer.from(m.traceJson(polygon)),
          Buffer.from(native(snapshot, [...view, '--trace-polygon', String(polygon), '--json']), 'latin1'));
}
check('reason of a pixel outside the frame', Buffer.from(JSON.stringify(m.reason(7, 0))),
      Buffer.from(JSON.stringify({ error: 'pixel 7,0 lies outside the 7x3 frame' })));

// The canvas's bytes of colours that frames rarely hold: round(c * 255), halves away from
// zero, on either side of every half-way point, clamped; NaN gives 0. A row of 4n + 3
// colours, so that the lanes and the tail both see them.
const f = Math.fround;
const values = [NaN, -0, 0, -1, 2, 1e30, -1e30, Infinity, -Infinity, 1, f(0.5 / 255), f(254.5 / 255)];
for (let k = -1; k <= 256; ++k) {
    const half = f((k + 0.5) / 255);
    const below = new Float32Array([half]);
    new Uint32Array(below.buffer)[0] -= 1;
    const above = new Float32Array([half]);
    new Uint32Array(above.buffer)[0] += 1;
    values.push(below[0], half, above[0], f(k / 255));
}
while (values.length % 12 !== 9)
    values.push(f(values.length / 1000));
const expectedByte = c => {
    const scaled = f(c * 255);
    if (!(scaled >= 0.5))
        return 0;
    if (scaled >= 254.5)
        return 255;
    const whole = Math.trunc(scaled);
    return whole + (f(scaled - whole) >= 0.5 ? 1 : 0);
};
const colors = [];
for (let i = 0; i < values.length; i += 3)
    colors.push(values[i], values[i + 1], values[i + 2], values[(i + 7) % values.length]);
check(`canvas bytes of ${colors.length / 4} colours`, m.canvasBytes(new Float32Array(colors)).slice(),
      colors.map((c, i) => (i % 4 === 3 ? 255 : expectedByte(c))));

// A frame larger than the module's memory is refused with a message, and the module goes
// on with the view it had.
const kept = m.historyJson(3, 1);
const refused = m.draw(16384, 16384, -135, -60, 0, 0, 0.25, 'color', -1);
check('16384x16384 refused: ' + refused, Buffer.from(String(/needs more memory/.test(refused)) + m.historyJson(3, 1)),
      Buffer.from('true' + kept));
// Every rule taken from OpenGL alone, and all of them, on a view the near plane does not
// cut and on one it cuts: the same colour, depth, history and trace as natively.
const ruleViews = [
    ['320x320', -135, -60, '0,0', 6, '70,214', 713],
    ['160x120', -135, -60, '0,0', 11, '80,60', 1000],
];
for (const rules of ['centres', 'snap', 'perspective', 'texgen', 'filter', 'float-vertex', 'clip', 'gl']) {
    check(`rules ${rules} taken`, Buffer.from(m.setRules(rules) + m.rules()), Buffer.from(rules));
    for (const [size, az, ax, pan, zoom, pixel, polygon] of ruleViews) {
        const [w, h] = size.split('x').map(Number);
        const [px, py] = pan.split(',').map(Number);
        const view = ['--size', size, '--angle-z', String(az), '--angle-x', String(ax), '--pan', pan, '--zoom', String(zoom),
                      '--rules', rules];
        const name = `${size} at zoom ${zoom} under ${rules}`;
        native(snapshot, [...view, '-o', 'frame.ppm', '--depth', 'frame.depth']);
        const message = m.draw(w, h, az, ax, px, py, zoom, 'color', -1);
        check(`${name}: colour`, message === '' && m.pixels().slice(), ppmPixels(readFileSync(join(dir, 'frame.ppm'))));
        check(`${name}: depth`, m.depthBytes().slice(), readFileSync(join(dir, 'frame.depth')));
        const [x, y] = pixel.split(',').map(Number);
        check(`${name}: history of ${pixel}`, Buffer.from(m.historyJson(x, y)),
              Buffer.from(native(snapshot, [...view, '--history', pixel, '--json']), 'latin1'));
        check(`${name}: trace of ${polygon}`, Buffer.from(m.traceJson(polygon)),
              Buffer.from(native(snapshot, [...view, '--trace-polygon', String(polygon), '--json']), 'latin1'));
    }
}
check('an unknown rule refused, the rules kept', Buffer.from(m.setRules('gl,shade') + ' ' + m.rules()),
      Buffer.from('unknown rule "shade" (see --rules help) gl'));
m.setRules('none');
rmSync(dir, { recursive: true });
console.log(`${passes} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
