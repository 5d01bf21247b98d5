// The view state and its address. The numbers are the program's own interaction state:
// angles in degrees, pan in pixels of mouse motion, zoom in wheel events, each a float
// as the program keeps it, so that a link and `sphaerix-snapshot --pan/--zoom` agree.

export const views = ['color', 'depth', 'normals', 'overdraw', 'polygons', 'edges', 'texels'];
// The program opens on its OpenGL rendering; `g` turns to the software one and back.
export const renderers = ['opengl', 'software', 'difference'];
export const maxSide = 16384;

export function startState() {
    return {
        width: 480, height: 480,
        az: -135, ax: -60,
        panX: 0, panY: 0,
        zoom: 0.25,
        view: 'color',
        renderer: 'opengl',
        pixel: null,          // [x, y], window coordinates, row 0 at the bottom
    };
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

// A number as the address or the console gives it; huge values become the float
// infinity as they would in the program. undefined when it is no number at all.
export function parseFloatText(text) {
    const t = String(text).trim().toLowerCase();
    if (t === 'nan') return NaN;
    if (t === 'inf' || t === '+inf' || t === 'infinity') return Infinity;
    if (t === '-inf' || t === '-infinity') return -Infinity;
    if (!numberPattern.test(t)) return undefined;
    return Math.fround(Number(t));
}

function parseSide(text) {
    return /^\d{1,10}$/.test(text) ? Number(text) : NaN;
}

// Each reader returns a message naming what is wrong, or stores into `into` and returns "".
const readers = {
    size(text, into) {
        const parts = String(text).split('x');
        const w = parseSide(parts[0]), h = parseSide(parts[1] ?? '');
        if (parts.length !== 2 || !(w >= 1 && w <= maxSide && h >= 1 && h <= maxSide))
            return `size "${text}" is not WxH with 1..${maxSide} per side`;
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
            return `pan "${text}" is not two numbers X,Y`;
        into.panX = x;
        into.panY = y;
        return '';
    },
    view(text, into) {
        if (!views.includes(text))
            return `view "${text}" is none of ${views.join(', ')}`;
        into.view = text;
        return '';
    },
    renderer(text, into) {
        if (!renderers.includes(text))
            return `renderer "${text}" is none of ${renderers.join(', ')}`;
        into.renderer = text;
        return '';
    },
    pixel(text, into) {
        if (text === '' || text === 'none') {
            into.pixel = null;
            return '';
        }
        const m = /^(\d{1,10}),(\d{1,10})$/.exec(String(text));
        if (!m)
            return `pixel "${text}" is not two whole numbers X,Y`;
        into.pixel = [Number(m[1]), Number(m[2])];
        return '';
    },
};

function readFloat(name, text, store) {
    const v = parseFloatText(text);
    if (v === undefined)
        return `${name} "${text}" is not a number`;
    store(v);
    return '';
}

// Applies the given fields (strings or numbers) to a copy of `state`. Returns the new
// state and the messages of the fields that were refused; refused fields keep their
// old values. A selected pixel outside the frame is dropped.
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
    if (next.pixel && (next.pixel[0] >= next.width || next.pixel[1] >= next.height)) {
        // A new size may leave the old selection outside: that one goes quietly.
        if (fields.pixel !== undefined)
            problems.push(`pixel ${next.pixel.join(',')} is outside the ${next.width}x${next.height} frame`);
        next.pixel = null;
    }
    return { state: next, problems };
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
    if (s.pixel)
        hash += `&pixel=${s.pixel[0]},${s.pixel[1]}`;
    return hash;
}

// The same view as a command line, for the learner to run natively.
export function snapshotCommand(s) {
    return `sphaerix-snapshot --size ${s.width}x${s.height} --angle-z ${floatText(s.az)} ` +
        `--angle-x ${floatText(s.ax)} --pan ${floatText(s.panX)},${floatText(s.panY)} ` +
        `--zoom ${floatText(s.zoom)}`;
}
