// The page: wires the module, the view state, the input and the panels together. Every
// number shown comes from the module; the page only asks and draws.
import { loadModuleFactory } from './module.js';
import { paintRgb, paintRgba, drawOverlay, eventPixel } from './canvas.js';
import { attachInput, attachKeys } from './input.js';
import { applyFields, formatHash, parseHash, snapshotCommand, startState } from './state.js';
import { showHistory, showTrace, traceCorners } from './history.js';
import { drawMagnifier, radius } from './magnifier.js';
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
    watch: -1,            // the polygon the fill stops after, -1 for the whole frame
    traced: null,         // the polygon whose trace is shown
    other: null,          // the picture to compare with
    picture: { width: 0, height: 0, rgb: new Uint8Array(0) },
    textureVersion: 0,    // counts texture changes, which change the frame
};

// What each part of the page was last made from: a part is made again only when its
// inputs change, so a click on a pixel asks for its history without drawing the frame.
const made = { frame: null, inspection: null, compare: null };

function render() {
    const { m } = app;
    const s = app.state;
    const limit = app.watch >= 0 ? app.watch + 1 : -1;
    const frameKey = JSON.stringify([s.width, s.height, s.az, s.ax, s.panX, s.panY, s.zoom, s.view, limit,
        s.renderer, app.textureVersion].map(String));
    if (frameKey !== made.frame) {
        const problem = m.draw(s.width, s.height, s.az, s.ax, s.panX, s.panY, s.zoom, s.view, limit);
        if (problem) {
            showMessage(problem);
            app.state = app.drawn ?? startState();
            if (app.drawn)
                syncControls(app.drawn);
            return [problem];
        }
        made.frame = frameKey;
        showFrame(s);
    }
    app.drawn = s;

    const inspectionKey = JSON.stringify([frameKey, s.pixel, app.traced]);
    if (inspectionKey !== made.inspection) {
        made.inspection = inspectionKey;
        showInspection(s);
    }
    const compareKey = [frameKey, app.other];
    if (app.other && (compareKey[0] !== made.compare?.[0] || compareKey[1] !== made.compare?.[1])) {
        made.compare = compareKey;
        showComparison();
    }
    history.replaceState(null, '', formatHash(s));
    return [];
}

function showFrame(s) {
    const { m } = app;
    const width = m.imageWidth(), height = m.imageHeight();
    // The RGB is copied out of the module only when something reads it (the magnifier,
    // the difference, pixels()): a frame of a drag shows the module's RGBA alone.
    let rgb = null;
    const software = { width, height, get rgb() { return rgb ??= m.pixels().slice(); } };
    const shown = app.chooseRendering(m, s, software, { watching: app.watch >= 0 });
    app.picture = shown.picture;
    app.shown = shown.shown;
    $('renderer-line').textContent = shown.line;
    if (app.shown === 'software')
        paintRgba($('frame'), m.rgbaPixels(), width, height);
    else
        paintRgb($('frame'), app.picture.rgb, width, height);
    showViewKey($('view-key'), $('view-line'), s.view, m.viewLine());
    $('command').textContent = snapshotCommand(s) + (s.view === 'color' ? '' : ` --view ${s.view}`) + ' -o frame.png';
    syncControls(s);
}

function showInspection(s) {
    const { m } = app;
    let corners = null;
    const watched = app.watch >= 0 ? app.watch : app.traced;
    if (watched !== null) {
        const trace = tryTrace(watched);
        if (trace) {
            corners = traceCorners(trace);
            if (app.watch >= 0)
                $('watch-line').textContent = `Polygon ${trace.frame_polygon} (ring ${trace.ring}, side ` +
                    `${trace.side}) just drawn: ${trace.passed} pixels passed the depth test, ${trace.failed} failed.`;
            if (app.traced !== null && app.traced === watched)
                showTrace($('trace'), trace, m.traceText(watched));
        }
    }
    if (app.traced !== null && app.traced !== watched) {
        const trace = tryTrace(app.traced);
        if (trace)
            showTrace($('trace'), trace, m.traceText(app.traced));
    }
    if (app.traced === null)
        $('trace').replaceChildren();
    // The texels view is the sphere map, not the frame: nothing of the frame goes on it.
    const frameSized = s.view !== 'texels';
    drawOverlay($('overlay'), app.picture.width, app.picture.height, s.height,
        frameSized ? { pixel: s.pixel, corners } : {});
    showPixel(s);
}

function tryTrace(n) {
    const text = app.m.traceJson(n);
    if (text.startsWith('error:')) {
        showMessage(text.replace(/^error:\s*/, ''));
        if (app.traced === n)
            app.traced = null;
        return null;
    }
    return JSON.parse(text);
}

function showPixel(s) {
    const has = !!s.pixel;
    $('pixel-hint').hidden = has;
    $('pixel-view').hidden = !has;
    if (!has) {
        $('history').replaceChildren();
        $('trace').replaceChildren();
        return;
    }
    const [x, y] = s.pixel;
    const history = JSON.parse(app.m.historyJson(x, y));
    showHistory($('history'), history, n => { app.traced = n; requestFrame(); });
    const framePicture = s.view !== 'texels';
    $('magnifier').hidden = !framePicture;
    if (framePicture) {
        const ends = JSON.parse(app.m.spanEndsAround(x - radius, y - radius, 2 * radius + 1, 2 * radius + 1));
        drawMagnifier($('magnifier'), app.picture, s.pixel, ends);
    }
}

function showComparison() {
    const result = compareNow(app.m, app.other);
    const line = $('compare-line');
    const mask = $('mask');
    if (result.error) {
        line.textContent = result.error;
        mask.hidden = true;
        return;
    }
    const detail = document.createElement('code');
    detail.textContent = result.line;
    line.replaceChildren(detail);
    if (result.first) {
        const link = document.createElement('button');
        link.type = 'button';
        link.id = 'compare-first';
        link.textContent = `Select the first differing pixel, ${result.first[0]},${result.first[1]}`;
        link.addEventListener('click', () => select(result.first[0], result.first[1]));
        line.append(document.createElement('br'), link);
    }
    paintRgb(mask, app.m.maskPixels(), result.width, result.height);
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
    // While watching, the module counts only the polygons drawn so far.
    if (app.watch < 0)
        $('watch-slider').max = String(Math.max(0, app.m.polygonCount() - 1));
}

const requestFrame = makeScheduler(render);

// Applies fields to the view; refused fields keep their values and are named on the page.
function change(fields) {
    const { state, problems } = applyFields(app.state, fields);
    app.state = state;
    showMessage(problems.join('; '));
    return requestFrame().then(drawProblems => [...problems, ...drawProblems]);
}

function select(x, y) {
    app.traced = null;
    return change({ pixel: `${x},${y}` });
}

function setWatch(n) {
    app.watch = n;
    if (n >= 0)
        $('watch-slider').value = String(n);
    else
        $('watch-line').textContent = '';
    requestFrame();
}

function wireControls() {
    $('size').addEventListener('change', e => change({ size: e.target.value }));
    $('view').addEventListener('change', e => change({ view: e.target.value }));
    $('renderer').addEventListener('change', e => change({ renderer: e.target.value }));
    attachKeys(window, { toggleRenderer: () => change({ renderer: app.state.renderer === 'opengl' ? 'software' : 'opengl' }) });
    $('reset').addEventListener('click', () => {
        const s = startState();
        change({ az: s.az, ax: s.ax, pan: '0,0', zoom: s.zoom });
    });
    const slider = $('watch-slider');
    slider.addEventListener('input', () => setWatch(Number(slider.value)));
    $('watch-back').addEventListener('click', () => setWatch(Math.max(0, (app.watch < 0 ? Number(slider.max) + 1 : app.watch) - 1)));
    $('watch-next').addEventListener('click', () => setWatch(Math.min(Number(slider.max), app.watch + 1)));
    $('watch-off').addEventListener('click', () => setWatch(-1));
    $('watch').addEventListener('toggle', e => { if (!e.target.open && app.watch >= 0) setWatch(-1); });

    $('texture-generated').addEventListener('click', () => {
        const problem = useGenerated(app.m);
        showMessage(problem);
        if (!problem) {
            $('texture-line').textContent = 'generated sphere map';
            ++app.textureVersion;
            requestFrame();
        }
    });
    onFiles($('texture-file'), document.body, async (name, bytes) => {
        const problem = await loadTextureFile(app.m, name, bytes);
        showMessage(problem);
        if (!problem) {
            $('texture-line').textContent = `from ${name}`;
            ++app.textureVersion;
            requestFrame();
        }
    });
    onFiles($('compare-file'), $('compare'), async (name, bytes) => {
        const { other, error } = await readComparison(name, bytes);
        if (error) {
            showMessage(error);
            return;
        }
        const result = compareNow(app.m, other);
        if (result.error) {
            showMessage(result.error);
            return;
        }
        showMessage('');
        app.other = other;
        $('compare').open = true;
        requestFrame();
    });
    $('compare-off').addEventListener('click', () => {
        app.other = null;
        $('compare-line').textContent = '';
        $('mask').hidden = true;
    });

    // An address without a pixel selects none, as a link opened afresh would.
    window.addEventListener('hashchange', () => change({ pixel: '', ...parseHash(location.hash) }));
}

async function start() {
    try {
        const { create, build } = await loadModuleFactory();
        app.m = await create();
        app.moduleBuild = build;
    } catch (e) {
        showMessage(`The WebAssembly module did not load: ${e.message ?? e}`);
        throw e;
    }
    const problem = useGenerated(app.m);
    if (problem)
        showMessage(problem);
    attachInput($('frame'), {
        getState: () => app.state,
        change,
        select: e => {
            const p = eventPixel($('frame'), e, app.state.width, app.state.height);
            if (p && app.state.view !== 'texels')
                select(p[0], p[1]);
        },
    });
    app.chooseRendering = makeRenderingChoice();
    wireControls();
    const problems = await change(parseHash(location.hash));
    return problems;
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
});
