// The view state and its address. The numbers are the program's own interaction state:
// angles in degrees, pan in pixels of mouse motion, zoom in wheel events, each a float
// as the program keeps it, so that a link and `sphaerix-snapshot --pan/--zoom` agree.
// The views, the side's limit and the start-up view are the module's (limits.js).
import { limits } from './limits.js';

// The program opens on its OpenGL rendering; `g` turns to the software one and back.
export const renderers = ['opengl', 'software', 'difference'];
// Magnifications of the pictures: whole multiples only, so that every pixel is a block.
export const scales = ['fit', '1', '2', '3', '4'];

export function startState() {
    const { width, height, az, ax, panX, panY, zoom } = limits.start;
    return {
        width, height, az, ax, panX, panY, zoom,
        view: 'color',
        renderer: 'opengl',
        pixel: null,          // [x, y], window coordinates, row 0 at the bottom
        scale: 'fit',         // 'fit' or 1..4: screen pixels per picture pixel
        grid: false,          // the pixel boundaries, as --grid draws them (scale 3 and up)
        trace: null,          // the polygon whose trace is shown
        watch: -1,            // the polygon the watched fill stops after, -1 for the whole frame
        rules: 'none',        // the rules taken from OpenGL, as --rules writes them
    };
}

// The start-up view as address fields: a link takes these for every key it leaves out,
// so that it shows the same whatever the tab showed before.
export function startFields() {
    const s = startState();
    return { size: `${s.width}x${s.height}`, az: s.az, ax: s.ax, pan: `${s.panX},${s.panY}`, zoom: s.zoom,
             view: s.view, renderer: s.renderer, pixel: '', scale: s.scale, grid: 'off', trace: '', watch: '',
             rules: s.rules };
}

// Float arithmetic as the program does it: a double sum of two floats rounds to the
// same float as the float sum, so one fround per step is exact.
export const addFloat = (a, b) => Math.fround(a + b);

// The shortest decimal that reads back to the same float, so that the address shows
// 0.1 rather than 0.10000000149011612.
export function floatText(value) {
    if (!Number.isFinite(value))
        return Number.isNaN(value) ? 'nan' : value > 0 ? 'inf' : '-inf';
    for (let p = 1; p < 9; ++p) {
        const text = String(Number(value.toPrecision(p)));
        if (Math.fround(Number(text)) === value)
            return text;
    }
    return String(Number(value.toPrecision(9)));
}

const numberPattern = /^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$/;

// A number as the address or the console gives it, rounded to float as the program
// keeps it; undefined when it is no number, or not a finite float (nan, inf, 1e40), which
// the snapshot refuses too.
export function parseFloatText(text) {
    const t = String(text).trim();
    if (!numberPattern.test(t)) return undefined;
    const v = Math.fround(Number(t));
    return Number.isFinite(v) ? v : undefined;
}

function parseSide(text) {
    return /^\d{1,10}$/.test(text) ? Number(text) : NaN;
}

// Each reader returns a message naming what is wrong, or stores into `into` and returns "".
const readers = {
    size(text, into) {
        const parts = String(text).split('x');
        const w = parseSide(parts[0]), h = parseSide(parts[1] ?? ''), side = limits.largestSide;
        if (parts.length !== 2 || !(w >= 1 && w <= side && h >= 1 && h <= side))
            return badValue('size', text, `WxH, each side 1..${side}`);
        into.width = w;
        into.height = h;
        return '';
    },
    az(text, into) { return readFloat('az', text, v => { into.az = v; }); },
    ax(text, into) { return readFloat('ax', text, v => { into.ax = v; }); },
    zoom(text, into) { return readFloat('zoom', text, v => { into.zoom = v; }); },
    pan(text, into) {
        const parts = String(text).split(',');
        const x = parseFloatText(parts[0]), y = parseFloatText(parts[1] ?? '');
        if (parts.length !== 2 || x === undefined || y === undefined)
            return badValue('pan', text, 'X,Y, two finite numbers');
        into.panX = x;
        into.panY = y;
        return '';
    },
    view(text, into) {
        if (!limits.views.includes(text))
            return badValue('view', text, limits.views.join(', '));
        into.view = text;
        return '';
    },
    renderer(text, into) {
        if (!renderers.includes(text))
            return badValue('renderer', text, renderers.join(', '));
        into.renderer = text;
        return '';
    },
    pixel(text, into) {
        if (text === '' || text === 'none') {
            into.pixel = null;
            return '';
        }
        // Signed, so that -5,3 is named as lying outside the frame, as 500,3 is.
        const m = /^(-?\d{1,10}),(-?\d{1,10})$/.exec(String(text));
        if (!m)
            return badValue('pixel', text, 'X,Y, two whole numbers');
        into.pixel = [Number(m[1]), Number(m[2])];
        return '';
    },
    scale(text, into) {
        const t = String(text);
        if (!scales.includes(t))
            return badValue('scale', text, `one of ${scales.join(', ')}`);
        into.scale = t === 'fit' ? 'fit' : Number(t);
        return '';
    },
    grid(text, into) {
        const t = String(text);
        if (!['0', '1', 'true', 'false', 'on', 'off'].includes(t))
            return badValue('grid', text, 'on or off');
        into.grid = ['1', 'true', 'on'].includes(t);
        return '';
    },
    rules(text, into) {
        const t = String(text);
        const { rules, problem } = t === '' ? { rules: 'none' } : limits.readRules(t);
        if (problem)
            return badValue('rules', text, problem);
        into.rules = rules;
        return '';
    },
    trace(text, into) { return readPolygon('trace', text, n => { into.trace = n; }); },
    watch(text, into) { return readPolygon('watch', text, n => { into.watch = n ?? -1; }); },
};

// The snapshot's wording for a value it cannot take, with the snapshot's option.
const options = { size: '--size', az: '--angle-z', ax: '--angle-x', pan: '--pan', zoom: '--zoom', view: '--view',
    renderer: '--renderer', scale: '--scale', grid: '--grid', trace: '--trace-polygon', rules: '--rules' };
const badValue = (name, text, allowed) =>
    `bad value "${text}" for ${name}${options[name] ? ` (${options[name]})` : ''}: ${allowed}`;

// A polygon number (drawing order, from 0), or none; the module checks it against the scene.
function readPolygon(name, text, store) {
    const t = String(text);
    if (t === '' || t === 'none' || t === '-1') {
        store(null);
        return '';
    }
    if (!/^\d{1,10}$/.test(t) || Number(t) > 2147483647)
        return badValue(name, text, 'a polygon number from 0');
    store(Number(t));
    return '';
}

function readFloat(name, text, store) {
    const v = parseFloatText(text);
    if (v === undefined)
        return badValue(name, text, 'a finite number');
    store(v);
    return '';
}

// Applies the given fields (strings or numbers) to a copy of `state`. Returns the new
// state and the messages of the fields that were refused, and `asked`: the state with
// every field that could be read taken, so that what the module must check (polygon
// numbers) is checked even when another field was refused. A selected pixel outside the
// frame is dropped.
export function applyFields(state, fields) {
    const next = { ...state };
    const problems = [];
    for (const [key, value] of Object.entries(fields)) {
        if (value === undefined)
            continue;
        const reader = readers[key];
        if (!reader) {
            problems.push(`unknown field "${key}"`);
            continue;
        }
        const problem = reader(typeof value === 'number' ? floatText(value) : String(value), next);
        if (problem)
            problems.push(problem);
    }
    if (next.pixel && (next.pixel[0] < 0 || next.pixel[1] < 0 || next.pixel[0] >= next.width || next.pixel[1] >= next.height)) {
        // A new size may leave the old selection outside: that one goes quietly.
        if (fields.pixel !== undefined)
            problems.push(`pixel ${next.pixel.join(',')} lies outside the ${next.width}x${next.height} frame`);
        next.pixel = state.pixel && state.pixel[0] < next.width && state.pixel[1] < next.height ? state.pixel : null;
    }
    // Nothing is half-applied: one refused field leaves the whole view as it was.
    return { state: problems.length ? { ...state } : next, problems, asked: next };
}

export function parseHash(hash) {
    const fields = {};
    for (const part of hash.replace(/^#/, '').split('&')) {
        if (!part)
            continue;
        const at = part.indexOf('=');
        const key = decodeURIComponent(at < 0 ? part : part.slice(0, at));
        fields[key] = decodeURIComponent(at < 0 ? '' : part.slice(at + 1));
    }
    return fields;
}

export function formatHash(s) {
    let hash = `#size=${s.width}x${s.height}&az=${floatText(s.az)}&ax=${floatText(s.ax)}` +
        `&pan=${floatText(s.panX)},${floatText(s.panY)}&zoom=${floatText(s.zoom)}&view=${s.view}` +
        `&renderer=${s.renderer}`;
    if (s.rules !== 'none')
        hash += `&rules=${s.rules}`;
    if (s.pixel)
        hash += `&pixel=${s.pixel[0]},${s.pixel[1]}`;
    hash += `&scale=${s.scale}`;
    if (s.grid)
        hash += '&grid=on';
    if (s.trace !== null)
        hash += `&trace=${s.trace}`;
    if (s.watch >= 0)
        hash += `&watch=${s.watch}`;
    return hash;
}
