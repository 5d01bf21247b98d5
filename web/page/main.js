// The page: wires the module, the view state, the input and the panels together. Every
// number shown comes from the module; the page only asks and draws.
import { loadModuleFactory } from './module.js';
import { paintRgb, paintRgba, drawOverlay, eventPixel, overlayMargin, sizeCanvas } from './canvas.js';
import { clearComparison, showComparison, wireCompare, wireTexture } from './panels.js';
import { attachInput } from './input.js';
import { attachKeys } from './keys.js';
import { applyFields, floatText, formatHash, parseHash, startFields, startState } from './state.js';
import { limits, takeLimits } from './limits.js';
import { snapshotCommands } from './commands.js';
import { traceCorners } from './history.js';
import { showInspector } from './inspector.js';
import { resolvedScale, showAtScale } from './magnify.js';
import { showViewKey } from './views.js';
import { attachMessages, showMessage } from './messages.js';
import { useGenerated } from './texture.js';
import { makeScheduler } from './schedule.js';
import { exposeApi } from './api.js';
import { wireConformance } from './conformance.js';
import { copyPicture, savedPng, savePicture } from './save.js';
import { makeRenderingChoice } from './opengl/choice.js';
import { clearLadder, ladderRules, ruleList, showExplanation, showLadder, syncRules, wireRules } from './rules.js';
import { encodePng } from './save.js';

const $ = id => document.getElementById(id);
attachMessages($('message'));

const app = {
    m: null,
    state: null,          // the view asked for; the start-up view once the module is there
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
    openGLKept: null,     // the view whose WebGL frame the module holds to compare with
    ladder: null,         // { key, result } of the ladder shown
    followRules: null,    // the conformance panel's, told the rules of every frame drawn
};

// What each part of the page was last made from: a part is made again only when its
// inputs change, so a click on a pixel asks for its history without drawing the frame.
const made = { frame: null, overlay: null, inspection: null, compare: null, scale: null, commands: null,
    controls: null, pixelView: null };

const frameKeyOf = s => JSON.stringify([s.width, s.height, s.az, s.ax, s.panX, s.panY, s.zoom, s.view,
    s.watch, s.renderer, s.rules, app.textureVersion].map(String));
// The OpenGL frame's view: the rules change only the software frame.
const openGLKeyOf = s => JSON.stringify([s.width, s.height, s.az, s.ax, s.panX, s.panY, s.zoom,
    app.textureVersion].map(String));

function drawModule(s) {
    const { m } = app;
    m.setRules(s.rules);
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
                const fits = s.pixel && s.pixel[0] < start.width && s.pixel[1] < start.height;
                app.state = s = { ...s, width: start.width, height: start.height, pixel: fits ? s.pixel : null };
                drawModule(s);
            }
        }
        if (frameKeyOf(s) !== made.frame) {
            made.frame = frameKeyOf(s);
            showFrame(s);
        }
    }
    app.drawn = s;
    app.followRules(s.rules);
    if (problems.length)
        made.controls = null;  // a menu may show what was refused
    syncControls(s);
    showScale(s);
    const inspectionKey = JSON.stringify([made.frame, s.pixel, s.trace]);
    if (inspectionKey !== made.inspection) {
        made.inspection = inspectionKey;
        showInspection(s);
        explainPixel(s);
    }
    if (app.ladder && app.ladder.key !== openGLKeyOf(s)) {
        app.ladder = null;
        clearLadder();
    }
    showOverlay(s);
    keepPixelInView(s);
    const compareKey = JSON.stringify([made.frame, app.scale]);
    if (app.other && (compareKey !== made.compare?.[0] || app.other !== made.compare?.[1])) {
        made.compare = [compareKey, app.other];
        showComparison(app, s.scale, (x, y) => select(x, y, { scroll: true }));
    }
    showCommands(s);
    history.replaceState(null, '', formatHash(s) + (app.texture ? `&texture=${encodeURIComponent(app.texture)}` : ''));
    return problems;
}

function showFrame(s) {
    const { m } = app;
    const width = m.imageWidth(), height = m.imageHeight();
    // The RGB is copied out of the module only when something reads it (the magnifier,
    // the difference, pixels()): a frame of a drag shows the module's RGBA alone.
    let rgb = null;
    app.software = { width, height, get rgb() { return rgb ??= m.pixels().slice(); } };
    const shown = app.chooseRendering(m, s, app.software, { watching: s.watch >= 0, version: app.textureVersion,
                                                              key: openGLKeyOf(s) });
    app.picture = shown.picture;
    app.shown = shown.shown;
    $('renderer-line').textContent = shown.line;
    showRuleCount(s, shown.opengl);
    // The OpenGL rendering is on its own canvas over the frame's, which keeps the frame's
    // size for the clicks and the keys.
    $('gl-frame').hidden = app.shown !== 'opengl';
    if (app.shown === 'software')
        paintRgba($('frame'), m.rgbaPixels(), width, height);
    else if (app.shown === 'difference')
        paintRgb($('frame'), app.picture.rgb, width, height);
    else
        sizeCanvas($('frame'), width, height);
    showViewKey($('view-key'), $('view-line'), s.view, m.viewLine());
}

// The magnification: 'fit' is the largest whole multiple that fits the frame's pane, or
// the smallest whole division where even 1x does not. It is found for the frame, not for
// the keys below some views, so that a view with a key shows the frame at the same size.
// The pane's size does not follow its content, so it is measured only when the window
// changes, never in the middle of a frame.
let paneBox = null;

function measurePane() {
    const pane = $('pane'), style = getComputedStyle(pane);
    // The frame's border and the room the pane keeps round it for the overlay; the pane's
    // whole size, since a frame that fits leaves it no scroll bars.
    const room = 2 + parseFloat(style.paddingLeft) + parseFloat(style.paddingRight);
    const narrow = matchMedia('(max-width: 800px)').matches;
    paneBox = { width: pane.offsetWidth - room, height: narrow ? innerHeight - 60 : pane.offsetHeight - room };
}

function showScale(s) {
    const { width, height } = app.picture;
    const fitted = s.view === 'texels' ? [width, height] : [s.width, s.height];
    if (!paneBox)
        measurePane();
    const scale = resolvedScale(s.scale, paneBox, ...fitted, true);
    if (scale === app.scale && made.scale === `${width}x${height}`)
        return;
    app.scale = scale;
    made.scale = `${width}x${height}`;
    showAtScale($('frame'), width, height, app.scale);
    showAtScale($('gl-frame'), width, height, app.scale);
    const note = $('scale-note');
    note.hidden = scale >= 1;
    note.textContent = scale >= 1 ? '' : `Fit shows this ${fitted.join('x')} picture at 1/${1 / scale}, one ` +
        `pixel of each ${1 / scale}x${1 / scale} block, so that it fits the pane: choose 1x to see every pixel.`;
}

// A selected pixel out of the pane's view (a link, the arrow keys, a case shown) is
// scrolled into it with its ring; one in view leaves the frame where it is.
function keepPixelInView(s) {
    const key = JSON.stringify([s.pixel, app.scale, s.width, s.height]);
    if (key === made.pixelView)
        return;
    made.pixelView = key;
    if (!s.pixel || s.view === 'texels')
        return;
    const pane = $('pane'), frame = $('frame').getBoundingClientRect(), box = pane.getBoundingClientRect();
    const ring = overlayMargin + 2;
    const left = frame.left - box.left - pane.clientLeft + pane.scrollLeft + s.pixel[0] * app.scale - ring;
    const top = frame.top - box.top - pane.clientTop + pane.scrollTop + (s.height - 1 - s.pixel[1]) * app.scale - ring;
    const side = Math.max(1, app.scale) + 2 * ring;
    const into = (start, view, at) => (at < start ? at : at + side > start + view ? at + side - view : start);
    pane.scrollLeft = into(pane.scrollLeft, pane.clientWidth, left);
    pane.scrollTop = into(pane.scrollTop, pane.clientHeight, top);
}

// The module holds the page's OpenGL frame of the view to compare with: `picture` when
// given (the difference rendering's), else drawn now. "" or what stands in the way.
function keepOpenGL(s, picture = null) {
    const key = openGLKeyOf(s);
    if (app.openGLKept === key)
        return '';
    if (s.watch >= 0)
        return 'The watched fill is not a whole frame: choose Whole frame to compare it with the OpenGL one.';
    const gl = picture ?? app.chooseRendering.openGL(app.m, s.width, s.height, app.textureVersion, key);
    if (gl.error)
        return gl.error;
    const problem = app.m.keepOpenGLFrame(gl.rgb, gl.covered, s.width, s.height);
    app.openGLKept = problem ? null : key;
    return problem;
}

const openGLName = () => `the page's WebGL frame (${app.rendererName || 'renderer not named'})`;

// The count of the difference rendering: the software frame under its rules against the
// page's WebGL frame, as a row of --ladder's table.
function showRuleCount(s, opengl) {
    let line = 'The difference rendering counts the software frame under these rules against the page\'s ' +
        'WebGL frame.';
    if (app.noWebGL)
        line = '';
    else if (opengl) {
        const problem = keepOpenGL(s, opengl);
        const result = problem ? { error: problem } : JSON.parse(app.m.ruleComparison());
        line = result.error ?? `Under ${result.rules}, against the page's WebGL frame: ${result.line}.`;
    }
    // Written only when it changes: a write makes the browser lay the column out again.
    if ($('rules-line').textContent !== line)
        $('rules-line').textContent = line;
}

// The selected pixel through the ladder, as --explain gives it: at once for a pixel newly
// selected; for the same pixel in a view a drag moves (or under other rules), when the
// view has rested, since each draws the WebGL frame and the pixel's row under every step.
let explaining = { pixel: null, timer: null };

function explainPixel(s) {
    clearTimeout(explaining.timer);
    // What a drag leaves as it was.
    const pixel = JSON.stringify([s.pixel, s.width, s.height, s.view, s.watch, s.renderer, app.textureVersion]);
    if (s.pixel && pixel === explaining.pixel) {
        explaining.timer = setTimeout(() => {
            if (app.drawn === s) {
                explainNow(s);
                showCommands(s);
            }
        }, 200);
        return;
    }
    explaining.pixel = pixel;
    explainNow(s);
}

function explainNow(s) {
    if (!s.pixel || s.view === 'texels' || s.watch >= 0 || app.noWebGL) {
        showExplanation('');
        return;
    }
    const problem = keepOpenGL(s);
    const result = problem ? { error: problem } : JSON.parse(app.m.explain(...s.pixel));
    showExplanation(result.error ?? `Against ${openGLName()}:\n${result.text}`);
}

// The ladder of the view on the frame against the page's WebGL frame.
function runLadder() {
    const s = app.drawn;
    $('ladder').open = true;
    const problem = keepOpenGL(s);
    const result = problem ? { error: problem } : JSON.parse(app.m.ladder(openGLName()));
    showMessage(result.error ?? '', $('ladder-message'));
    if (result.error) {
        clearLadder();
        return result;
    }
    const pictures = result.steps.map((_, k) => app.m.ladderPicture(k));
    showLadder(result, pictures, k => change({ rules: ladderRules(k), renderer: 'difference' }));
    app.ladder = { key: openGLKeyOf(s), result };
    made.commands = null;
    showCommands(s);
    return result;
}

// The ladder's slide as --ladder's DIR/ladder.png.
async function ladderPng() {
    const slide = app.m.ladderSlide();
    if (slide.error)
        throw new Error(slide.error);
    return encodePng(slide);
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
    const texture = app.texture && { name: app.texture, image: app.textureImage };
    const list = snapshotCommands(s, { shown: app.shown, scale: app.scale, texture,
        compared: app.other?.name, ladder: !!app.ladder, explained: !$('explain').hidden });
    const key = JSON.stringify(list);
    if (key === made.commands)
        return;
    made.commands = key;
    $('commands').replaceChildren(...list.map(([what, command]) => {
        const item = document.createElement('li');
        const code = document.createElement('code');
        code.textContent = command;
        item.append(`${what}: `, code);
        return item;
    }));
}

function showInspection(s) {
    app.traceShown = showInspector(app.m, s, { shown: app.shown, software: app.software, kept: app.traceShown },
        { onTrace: n => change({ trace: n }), onWatch: watchUpTo });
}

function syncControls(s) {
    // A drag changes none of these: nothing is touched then.
    const key = JSON.stringify([s.width, s.height, s.view, s.renderer, s.scale, s.grid, s.watch, s.rules, app.polygons,
        app.texture]);
    if (key === made.controls)
        return;
    made.controls = key;
    syncRules(s.rules);
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
    const { state, problems, asked } = applyFields(app.state, fields);
    const more = [polygonProblem('watch', asked.watch), polygonProblem('trace', asked.trace)].filter(Boolean);
    if (!problems.length && !more.length)
        app.state = state;
    else
        made.controls = null;  // a menu may show what was refused
    problems.push(...more);
    showMessage(problems.join('; '));
    $('controls-line').textContent = '';
    return requestFrame().then(drawProblems => [...problems, ...drawProblems]);
}

// The inspector comes into view: in one column it is under the frame.
function bringInspectorIntoView() {
    if (matchMedia('(max-width: 800px)').matches)
        $('inspector').scrollIntoView({ block: 'start' });
    else
        $('inspector').scrollTop = 0;
}

function select(x, y, { scroll = false } = {}) {
    const done = change({ pixel: `${x},${y}` });
    if (scroll)
        done.then(bringInspectorIntoView);
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
    clearComparison(app);
    made.compare = null;
    showMessage('', $('compare-message'));
    showMessage('', $('texture-message'));
    if (app.texture)
        useGeneratedTexture();
    app.state = startState();
    showMessage('');
    const done = requestFrame();
    const s = limits.start, f = floatText;
    $('controls-line').textContent = `Back to the program's start-up view: ${s.width}x${s.height}, the OpenGL ` +
        `rendering, angles ${f(s.az)} and ${f(s.ax)}, pan ${f(s.panX)},${f(s.panY)}, zoom ${f(s.zoom)}, fit, ` +
        'no pixel, no trace, the whole fill, the generated sphere map.';
    return done;
}

function useGeneratedTexture() {
    useGenerated(app.m);
    app.texture = null;
    $('texture-line').textContent = 'generated sphere map';
    ++app.textureVersion;
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
    wireRules(rules => change({ rules: rules || 'none' }));
    $('ladder-run').addEventListener('click', () => {
        runLadder();
        $('ladder').scrollIntoView({ block: 'nearest' });
    });
    $('ladder-save').addEventListener('click', async () => {
        const s = app.drawn;
        const name = `sphaerix-${s.width}x${s.height}-ladder.png`;
        try {
            const link = document.createElement('a');
            link.href = URL.createObjectURL(new Blob([await ladderPng()], { type: 'image/png' }));
            link.download = name;
            link.click();
            setTimeout(() => URL.revokeObjectURL(link.href), 0);
            $('ladder-line').textContent = `Saved ${name}`;
        } catch (e) {
            $('ladder-line').textContent = `Not saved: ${e.message}`;
        }
    });
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

    wireTexture(app, () => { ++app.textureVersion; requestFrame(); });
    wireCompare(app, () => { made.compare = null; requestFrame(); });
    // A case's view on the frame, in the software rendering under the rules it was judged
    // by, with its first difference selected.
    app.followRules = wireConformance(app, (c, [x, y], rules) => change({
        size: `${c.width}x${c.height}`, az: c.angle_z, ax: c.angle_x, pan: `${c.pan_x},${c.pan_y}`, zoom: c.zoom,
        view: 'color', renderer: 'software', pixel: `${x},${y}`, trace: '', watch: '', rules,
    }).then(bringInspectorIntoView));

    window.addEventListener('hashchange', () => openAddress(location.hash));
    // A window made smaller may hide the selected pixel: it comes back into view.
    window.addEventListener('resize', () => { paneBox = null; made.pixelView = null; requestFrame(); });
    wireSave();
}

// A link shows what it shows whatever the tab showed before: every key it leaves out
// takes its start-up value. The texture's name comes with it, not its file: the page
// says what it needs, and shows the generated sphere map until it has it.
function openAddress(hash) {
    const { texture, ...fields } = parseHash(hash);
    if (app.texture && texture !== app.texture)
        useGeneratedTexture();
    const done = change({ ...startFields(), ...fields });
    if (texture && texture !== app.texture)
        done.then(problems => {
            $('texture').open = true;
            showMessage([...problems, `This link was made with the texture file "${texture}": choose it under ` +
                'Texture to see the same frame; until then the page shows its generated sphere map.'].join('; '));
        });
    return done;
}

// Save PNG and Copy: the picture shown, as the snapshot's --scale and --grid would write
// it; save.js makes it from the module.
function pictureRequest(options = {}) {
    const s = app.drawn;
    return { m: app.m, width: s.width, height: s.height, view: s.view, shown: app.shown, picture: app.picture,
             scale: Math.max(1, app.scale), grid: s.grid, watch: s.watch, subject: 'frame', ...options };
}

function wireSave() {
    const line = $('controls-line');
    const run = act => async () => {
        line.textContent = '';
        line.textContent = await act(pictureRequest());
    };
    $('save-png').addEventListener('click', run(savePicture));
    $('copy-png').addEventListener('click', run(copyPicture));
}

async function start() {
    try {
        const { create, build } = await loadModuleFactory();
        app.m = await create();
        app.moduleBuild = build;
        takeLimits(app.m);
        app.state = startState();
        $('view').replaceChildren(...limits.views.map(name => new Option(name, name)));
        $('size-label').title += ` (the address takes any size from 1 to ${limits.largestSide} a side)`;
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
    app.chooseRendering = makeRenderingChoice($('gl-frame'));
    app.rendererName = app.chooseRendering.rendererName();  // asked once: WebGL's answers cost a round trip
    app.noWebGL = !app.rendererName;
    $('ladder-renderer').textContent = app.noWebGL ? 'This browser has no WebGL 2: the ladder needs the page\'s ' +
        'OpenGL frame.' : `Against ${openGLName()}.`;
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
    rules: () => ruleList(app.state.rules),
    ladder: () => requestFrame.settled().then(runLadder),
    ladderPng,
    explain: (x, y) => requestFrame.settled().then(() => {
        const problem = keepOpenGL(app.drawn);
        return problem ? { error: problem } : JSON.parse(app.m.explain(x, y));
    }),
    savedPng: options => savedPng(pictureRequest(options)),
    reset,
});
