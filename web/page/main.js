// The page: wires the module, the view state, the input and the panels together. Every
// number shown comes from the module; the page only asks and draws.
import createSphaerix from './sphaerix.js';
import { paintRgb, paintRgba, drawOverlay, eventPixel } from './canvas.js';
import { attachInput } from './input.js';
import { attachKeys } from './keys.js';
import { applyFields, formatHash, parseHash, startState } from './state.js';
import { snapshotCommands } from './commands.js';
import { showHistory, showTrace, traceCorners } from './history.js';
import { drawMagnifier, radius } from './magnifier.js';
import { resolvedScale, showAtScale } from './magnify.js';
import { showViewKey } from './views.js';
import { attachMessages, showMessage } from './messages.js';
import { onFiles } from './files.js';
import { loadTextureFile, useGenerated } from './texture.js';
import { compareNow, readComparison } from './compare.js';
import { makeScheduler } from './schedule.js';
import { exposeApi } from './api.js';
import { makeRenderingChoice } from './opengl/choice.js';

const $ = id => document.getElementById(id);
attachMessages($('message'));

const app = {
    m: null,
    state: startState(),
    drawn: null,          // the state of the frame on the canvas
    polygons: 0,          // the scene's polygons, in drawing order
    other: null,          // the picture to compare with
    picture: { width: 0, height: 0, rgb: new Uint8Array(0) },   // as shown
    software: { width: 0, height: 0, rgb: new Uint8Array(0) },  // the software frame's, for the history
    shown: 'software',
    texture: null,        // the texture file's name; null for the generated sphere map
    textureVersion: 0,    // counts texture changes, which change the frame
    scale: 1,             // the magnification in use, 'fit' resolved
    traceShown: null,     // { n, trace, text } of the trace panel
    save: null,           // the Save PNG and Copy module, once loaded
};

// What each part of the page was last made from: a part is made again only when its
// inputs change, so a click on a pixel asks for its history without drawing the frame.
const made = { frame: null, overlay: null, inspection: null, compare: null };

const frameKeyOf = s => JSON.stringify([s.width, s.height, s.az, s.ax, s.panX, s.panY, s.zoom, s.view,
    s.watch, s.renderer, app.textureVersion].map(String));

function drawModule(s) {
    const { m } = app;
    return s.watch >= 0
        ? m.drawWatching(s.width, s.height, s.az, s.ax, s.panX, s.panY, s.zoom, s.view, s.watch)
        : m.draw(s.width, s.height, s.az, s.ax, s.panX, s.panY, s.zoom, s.view, -1);
}

function render() {
    let s = app.state;
    const problems = [];
    if (frameKeyOf(s) !== made.frame) {
        const problem = drawModule(s);
        if (problem) {
            // The module keeps the frame it had; so does the page. A link opened on a frame
            // too large still shows the rest of its view, at the start-up size.
            problems.push(problem);
            showMessage(problem);
            if (app.drawn) {
                app.state = s = { ...app.drawn };
            } else {
                const start = startState();
                app.state = s = { ...s, width: start.width, height: start.height, pixel: null };
                drawModule(s);
            }
        }
        if (frameKeyOf(s) !== made.frame) {
            made.frame = frameKeyOf(s);
            showFrame(s);
        }
    }
    app.drawn = s;
    showScale(s);
    const inspectionKey = JSON.stringify([made.frame, s.pixel, s.trace]);
    if (inspectionKey !== made.inspection) {
        made.inspection = inspectionKey;
        showInspection(s);
    }
    showOverlay(s);
    const compareKey = JSON.stringify([made.frame, app.scale]);
    if (app.other && (compareKey !== made.compare?.[0] || app.other !== made.compare?.[1])) {
        made.compare = [compareKey, app.other];
        showComparison(s);
    }
    showCommands(s);
    history.replaceState(null, '', formatHash(s) + (app.texture ? `&texture=${encodeURIComponent(app.texture)}` : ''));
    return problems;
}

function showFrame(s) {
    const { m } = app;
    const width = m.imageWidth(), height = m.imageHeight();
    app.software = { width, height, rgb: m.pixels().slice() };
    const shown = app.chooseRendering(m, s, app.software, { watching: s.watch >= 0 });
    app.picture = shown.picture;
    app.shown = shown.shown;
    $('renderer-line').textContent = shown.line;
    if (app.shown === 'software')
        paintRgba($('frame'), m.rgbaPixels(), width, height);
    else
        paintRgb($('frame'), app.picture.rgb, width, height);
    showViewKey($('view-key'), $('view-line'), s.view, m.viewLine());
    syncControls(s);
}

// The magnification: 'fit' is the largest whole multiple that fits the frame's pane.
// It is found for the frame, not for the keys below some views, so that a view with a key
// shows the frame at the same size.
function showScale(s) {
    const { width, height } = app.picture;
    const fitted = s.view === 'texels' ? [width, height] : [s.width, s.height];
    const pane = $('pane');
    const narrow = matchMedia('(max-width: 800px)').matches;
    const box = { width: pane.clientWidth - 2, height: narrow ? innerHeight - 60 : pane.clientHeight - 2 };
    app.scale = resolvedScale(s.scale, box, ...fitted);
    showAtScale($('frame'), width, height, app.scale);
    showAtScale($('overlay'), width, height, app.scale);
}

function showOverlay(s) {
    // The texels view is the sphere map, not the frame: nothing of the frame goes on it.
    const frameSized = s.view !== 'texels';
    const traced = frameSized && s.trace !== null && s.trace !== s.watch && app.traceShown?.n === s.trace
        && !app.traceShown.note ? traceCorners(app.traceShown.trace) : null;
    const { width, height } = app.picture;
    const options = { frameHeight: s.height, gridHeight: frameSized ? s.height : height, scale: app.scale,
        grid: s.grid, pixel: frameSized ? s.pixel : null, corners: traced };
    const key = JSON.stringify([width, height, options]);
    if (key === made.overlay)
        return;
    made.overlay = key;
    drawOverlay($('overlay'), width, height, options);
}

function showCommands(s) {
    const list = snapshotCommands(s, { shown: app.shown, scale: app.scale, texture: app.texture,
        compared: app.other?.name });
    $('commands').replaceChildren(...list.map(([what, command]) => {
        const item = document.createElement('li');
        const code = document.createElement('code');
        code.textContent = command;
        item.append(`${what}: `, code);
        return item;
    }));
}

function showInspection(s) {
    if (s.watch >= 0) {
        const trace = tryTrace(s.watch);
        $('watch-line').textContent = trace ? `Polygon ${trace.frame_polygon} (ring ${trace.ring}, side ` +
            `${trace.side}) just drawn: ${trace.passed} pixels passed the depth test (green), ` +
            `${trace.failed} failed (orange).` : '';
    } else {
        $('watch-line').textContent = '';
    }
    showTracePanel(s);
    showPixel(s);
}

// The trace of the drawn frame; a polygon the watched fill has not drawn yet keeps the
// text it had, which is the whole frame's (a polygon's tests depend only on those before it).
function showTracePanel(s) {
    const n = s.trace;
    if (n === null) {
        app.traceShown = null;
        $('trace').replaceChildren();
        return;
    }
    if (s.watch >= 0 && n > s.watch) {
        const note = `Polygon ${n} is not drawn yet: the watched fill stops after polygon ${s.watch}.`;
        if (app.traceShown?.n === n) {
            app.traceShown.note = note;
            showTrace($('trace'), app.traceShown.trace, app.traceShown.text, watchUpTo, note);
        } else {
            $('trace').textContent = note;
        }
        return;
    }
    const trace = tryTrace(n);
    if (trace) {
        app.traceShown = { n, trace, text: app.m.traceText(n), note: '' };
        showTrace($('trace'), trace, app.traceShown.text, watchUpTo);
    }
}

function tryTrace(n) {
    const text = app.m.traceJson(n);
    if (text.startsWith('error:')) {
        showMessage(text.replace(/^error:\s*/, ''));
        return null;
    }
    return JSON.parse(text);
}

function showPixel(s) {
    const has = !!s.pixel;
    $('pixel-hint').hidden = has;
    $('pixel-view').hidden = !has;
    $('pixel-note').hidden = !has || app.shown === 'software';
    if (!has) {
        $('history').replaceChildren();
        $('reason').replaceChildren();
        return;
    }
    // The history is the software pipeline's; so is the magnifier, whatever the frame shows.
    $('pixel-note').textContent = `The frame shows the ${app.shown === 'opengl' ? 'OpenGL' : 'difference'} ` +
        'rendering; the magnifier and the history are the software frame\'s.';
    const [x, y] = s.pixel;
    const history = JSON.parse(app.m.historyJson(x, y));
    showHistory($('history'), history, n => change({ trace: n }), watchUpTo);
    showReason(x, y);
    const framePicture = s.view !== 'texels';
    $('magnifier').hidden = !framePicture;
    if (framePicture) {
        const ends = JSON.parse(app.m.spanEndsAround(x - radius, y - radius, 2 * radius + 1, 2 * radius + 1));
        drawMagnifier($('magnifier'), app.software, s.pixel, ends);
    }
}

// The sentences the module makes from the history, when the module has them.
function showReason(x, y) {
    const reason = app.m.reason;
    if (typeof reason !== 'function') {
        $('reason').replaceChildren();
        return;
    }
    const text = reason.call(app.m, x, y);
    $('reason').replaceChildren(...text.split('\n').filter(Boolean).map(line => {
        const p = document.createElement('p');
        p.textContent = line;
        return p;
    }));
}

function clearComparison() {
    app.other = null;
    made.compare = null;
    $('compare-line').textContent = '';
    $('mask').hidden = true;
}

function showComparison(s) {
    const result = compareNow(app.m, app.other);
    const line = $('compare-line');
    const mask = $('mask');
    if (result.error) {
        showMessage(result.error, $('compare-message'));
        clearComparison();
        return;
    }
    const detail = document.createElement('code');
    detail.textContent = result.line;
    line.replaceChildren(detail);
    if (result.first) {
        const link = document.createElement('button');
        link.type = 'button';
        link.id = 'compare-first';
        link.title = 'Select it: its history shows in the inspector';
        link.textContent = `Select the first differing pixel, ${result.first[0]},${result.first[1]}`;
        link.addEventListener('click', () => select(result.first[0], result.first[1], { scroll: true }));
        line.append(document.createElement('br'), link);
    }
    paintRgb(mask, app.m.maskPixels(), result.width, result.height);
    const box = { width: $('panels').clientWidth - 4, height: Infinity };
    showAtScale(mask, result.width, result.height, resolvedScale(s.scale, box, result.width, result.height));
    mask.hidden = false;
}

function syncControls(s) {
    const size = `${s.width}x${s.height}`;
    const sizes = $('size');
    if (![...sizes.options].some(o => o.value === size))
        sizes.append(new Option(size, size));
    sizes.value = size;
    $('view').value = s.view;
    $('renderer').value = s.renderer;
    $('scale').value = String(s.scale);
    $('grid').checked = s.grid;
    $('watch-slider').max = String(Math.max(0, app.polygons - 1));
    $('watch-number').max = String(Math.max(0, app.polygons - 1));
    $('watch-slider').value = String(s.watch >= 0 ? s.watch : app.polygons - 1);
    $('watch-number').value = s.watch >= 0 ? String(s.watch) : '';
    if (s.watch >= 0)
        $('watch').open = true;
    $('texture-note').hidden = !app.texture;
    $('texture-note').textContent = app.texture ? `Texture: "${app.texture}". A link carries its name, not the ` +
        `file: whoever opens it needs "${app.texture}" as the texture to see this frame.` : '';
}

const requestFrame = makeScheduler(render);

// Polygon numbers are checked against the scene before anything is taken.
function polygonProblem(name, n) {
    return n !== null && n >= 0 && n >= app.polygons
        ? `bad value "${n}" for ${name}: the frame has ${app.polygons} polygons, 0..${app.polygons - 1}` : '';
}

// Applies fields to the view; a refused field leaves the whole view as it was, and is
// named at the top of the page.
function change(fields) {
    const { state, problems } = applyFields(app.state, fields);
    const more = [polygonProblem('watch', state.watch), polygonProblem('trace', state.trace)].filter(Boolean);
    if (!problems.length && !more.length)
        app.state = state;
    problems.push(...more);
    showMessage(problems.join('; '));
    $('controls-line').textContent = '';
    return requestFrame().then(drawProblems => [...problems, ...drawProblems]);
}

// The inspector comes into view: in one column it is under the frame.
function showInspector() {
    if (matchMedia('(max-width: 800px)').matches)
        $('inspector').scrollIntoView({ block: 'start' });
    else
        $('inspector').scrollTop = 0;
}

function select(x, y, { scroll = false } = {}) {
    const done = change({ pixel: `${x},${y}` });
    if (scroll)
        done.then(showInspector);
    return done;
}

function watchUpTo(n) {
    $('watch').open = true;
    return change({ watch: n });
}

function stepWatch(d) {
    const w = app.state.watch, last = app.polygons - 1;
    return watchUpTo(w < 0 ? (d < 0 ? last : 0) : Math.max(0, Math.min(last, w + d)));
}

function moveSelection(dx, dy) {
    const s = app.state;
    if (s.view === 'texels')
        return;
    const [x, y] = s.pixel ?? [Math.floor(s.width / 2), Math.floor(s.height / 2)];
    const clamp = (v, n) => Math.max(0, Math.min(n - 1, v));
    select(clamp(s.pixel ? x + dx : x, s.width), clamp(s.pixel ? y + dy : y, s.height));
}

function toggleKeys(show = $('keys').hidden) {
    $('keys').hidden = !show;
    $('keys-button').setAttribute('aria-expanded', String(show));
}

// Everything back to the program's start-up, and the page says so.
function reset() {
    clearComparison();
    showMessage('', $('compare-message'));
    showMessage('', $('texture-message'));
    if (app.texture) {
        useGenerated(app.m);
        app.texture = null;
        $('texture-line').textContent = 'generated sphere map';
        ++app.textureVersion;
    }
    app.state = startState();
    showMessage('');
    const done = requestFrame();
    $('controls-line').textContent = 'Back to the program\'s start-up view: 480x480, the OpenGL rendering, ' +
        'angles -135 and -60, pan 0,0, zoom 0.25, fit, no pixel, no trace, the whole fill, the generated sphere map.';
    return done;
}

function typedWatch() {
    const text = $('watch-number').value.trim();
    const n = Number(text);
    if (text === '' || !Number.isInteger(n) || n < 0 || n >= app.polygons) {
        showMessage(`bad value "${text}" for the polygon: a whole number from 0 to ${app.polygons - 1}`,
            $('watch-message'));
        return;
    }
    showMessage('', $('watch-message'));
    watchUpTo(n);
}

function wireControls() {
    $('size').addEventListener('change', e => change({ size: e.target.value }));
    $('view').addEventListener('change', e => change({ view: e.target.value }));
    $('renderer').addEventListener('change', e => change({ renderer: e.target.value }));
    $('scale').addEventListener('change', e => change({ scale: e.target.value }));
    $('grid').addEventListener('change', e => change({ grid: e.target.checked ? 'on' : 'off' }));
    $('reset').addEventListener('click', reset);
    $('keys-button').addEventListener('click', () => toggleKeys());
    attachKeys($('frame'), {
        toggleRenderer: () => change({ renderer: app.state.renderer === 'opengl' ? 'software' : 'opengl' }),
        moveSelection,
        stepWatch,
        clearSelection: () => { toggleKeys(false); return change({ pixel: '' }); },
        toggleKeys: () => toggleKeys(),
    });
    const slider = $('watch-slider');
    slider.addEventListener('input', () => watchUpTo(Number(slider.value)));
    $('watch-number').addEventListener('change', typedWatch);
    $('watch-back').addEventListener('click', () => stepWatch(-1));
    $('watch-next').addEventListener('click', () => stepWatch(1));
    $('watch-off').addEventListener('click', () => change({ watch: -1 }));
    $('watch').addEventListener('toggle', e => { if (!e.target.open && app.state.watch >= 0) change({ watch: -1 }); });

    $('texture-generated').addEventListener('click', () => {
        const problem = useGenerated(app.m);
        showMessage(problem, $('texture-message'));
        if (!problem) {
            app.texture = null;
            $('texture-line').textContent = 'generated sphere map';
            ++app.textureVersion;
            requestFrame();
        }
    });
    // A file dropped anywhere but on the compare panel is taken as the texture, and says so.
    onFiles($('texture-file'), document.body, async (name, bytes, dropped) => {
        $('texture').open = true;
        const problem = await loadTextureFile(app.m, name, bytes);
        showMessage(problem, $('texture-message'));
        if (!problem) {
            app.texture = name;
            $('texture-line').textContent = `from ${name}` + (dropped ? ' (dropped on the page)' : '');
            ++app.textureVersion;
            requestFrame();
        }
    });
    onFiles($('compare-file'), $('compare'), async (name, bytes) => {
        $('compare').open = true;
        const { other, error } = await readComparison(name, bytes);
        const result = error ? { error } : compareNow(app.m, other);
        if (result.error) {
            // The file refused: its message in the panel, and no result of an earlier file.
            clearComparison();
            showMessage(result.error, $('compare-message'));
            return;
        }
        showMessage('', $('compare-message'));
        app.other = other;
        made.compare = null;
        requestFrame();
    });
    $('compare-off').addEventListener('click', () => {
        clearComparison();
        showMessage('', $('compare-message'));
        requestFrame();
    });

    // An address without a pixel selects none, as a link opened afresh would.
    window.addEventListener('hashchange', () => openAddress(location.hash, { pixel: '', trace: '', watch: '' }));
    window.addEventListener('resize', () => requestFrame());
    wireSave();
}

// The texture's name comes with a link, not its file: the page says what it needs.
function openAddress(hash, defaults = {}) {
    const { texture, ...fields } = parseHash(hash);
    const done = change({ ...defaults, ...fields });
    if (texture && texture !== app.texture)
        done.then(problems => {
            $('texture').open = true;
            showMessage([...problems, `This link was made with the texture file "${texture}": choose it under ` +
                'Texture to see the same frame; until then the page shows its generated sphere map.'].join('; '));
        });
    return done;
}

// Save PNG and Copy: the picture shown, as the snapshot's --scale and --grid would write it.
function wireSave() {
    const request = () => ({ view: app.state.view, renderer: app.shown, scale: app.scale, grid: app.state.grid });
    import('./save.js').then(save => {
        app.save = save;
        $('save-png').addEventListener('click', () => save.savePicture(request()));
        $('copy-png').addEventListener('click', () => save.copyPicture(request()));
    }).catch(() => {
        for (const id of ['save-png', 'copy-png']) {
            $(id).disabled = true;
            $(id).title = 'Not in this build of the page';
        }
    });
}

async function start() {
    try {
        app.m = await createSphaerix();
    } catch (e) {
        showMessage(`The WebAssembly module did not load: ${e.message ?? e}`);
        throw e;
    }
    const problem = useGenerated(app.m);
    if (problem)
        showMessage(problem);
    app.polygons = app.m.polygonCount();
    attachInput($('frame'), {
        getState: () => app.state,
        change,
        select: e => {
            const p = eventPixel($('frame'), e, app.state.width, app.state.height);
            if (p && app.state.view !== 'texels')
                select(p[0], p[1], { scroll: true });
        },
    });
    app.chooseRendering = makeRenderingChoice();
    wireControls();
    return openAddress(location.hash);
}

exposeApi(window, {
    ready: start(),
    change,
    select,
    picture: () => app.picture,
    module: () => app.m,
    state: () => ({ ...app.state }),
    drawn: () => app.drawn && { ...app.drawn },
    shown: () => app.shown,
    settled: () => requestFrame.settled(),
    magnification: () => app.scale,
    reason: (x, y) => app.m.reason?.(x, y),
    savedPng: (...args) => app.save?.savedPng?.(...args),
    reset,
});
