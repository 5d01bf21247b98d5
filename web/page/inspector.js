// The inspector: the selected pixel's magnifier, history and reason, the traced polygon
// and the watched one's counts. All of them are the software frame's, asked of the module.
import { showHistory, showTrace } from './history.js';
import { drawMagnifier, radius } from './magnifier.js';
import { showMessage } from './messages.js';

const $ = id => document.getElementById(id);

// `shown`: the rendering on the frame; `software`: the module's picture of the view;
// `kept`: what the trace panel showed ({ n, trace, text, note } or null), which it returns
// anew. `onTrace(n)` and `onWatch(n)` are the history's and the trace's buttons.
export function showInspector(m, s, { shown, software, kept }, { onTrace, onWatch }) {
    if (s.watch >= 0) {
        const trace = tryTrace(m, s.watch);
        $('watch-line').textContent = trace ? `Polygon ${trace.frame_polygon} (ring ${trace.ring}, side ` +
            `${trace.side}) just drawn: ${pixels(trace.passed)} passed the depth test (green), ` +
            `${trace.failed} failed (orange).` : '';
    } else {
        $('watch-line').textContent = '';
    }
    const traceShown = showTracePanel(m, s, kept, onWatch);
    showPixel(m, s, shown, software, onTrace, onWatch);
    return traceShown;
}

// The trace of the drawn frame; a polygon the watched fill has not drawn yet keeps the
// text it had, which is the whole frame's (a polygon's tests depend only on those before it).
function showTracePanel(m, s, kept, onWatch) {
    const n = s.trace;
    if (n === null) {
        $('trace').replaceChildren();
        return null;
    }
    if (s.watch >= 0 && n > s.watch) {
        const note = `Polygon ${n} is not drawn yet: the watched fill stops after polygon ${s.watch}.`;
        if (kept?.n !== n) {
            $('trace').textContent = note;
            return null;
        }
        showTrace($('trace'), kept.trace, kept.text, onWatch, note);
        return { ...kept, note };
    }
    const trace = tryTrace(m, n);
    if (!trace)
        return null;
    const text = m.traceText(n);
    showTrace($('trace'), trace, text, onWatch);
    return { n, trace, text, note: '' };
}

const pixels = n => `${n} pixel${n === 1 ? '' : 's'}`;

function tryTrace(m, n) {
    const trace = JSON.parse(m.traceJson(n));
    if ('error' in trace) {
        showMessage(trace.error);
        return null;
    }
    return trace;
}

function showPixel(m, s, shown, software, onTrace, onWatch) {
    const has = !!s.pixel;
    $('pixel-hint').hidden = has;
    $('pixel-view').hidden = !has;
    // The history is the software pipeline's; so is the magnifier, whatever the frame shows.
    // A watched fill's is of the polygons drawn so far, which the whole frame's begins with.
    const notes = [];
    if (shown !== 'software')
        notes.push(`The frame shows the ${shown === 'opengl' ? 'OpenGL' : 'difference'} rendering; the magnifier ` +
            'and the history are the software frame\'s.');
    if (s.watch >= 0)
        notes.push(`The watched fill stops after polygon ${s.watch}: the history and the reason are of the frame ` +
            `drawn so far, the first rows of the whole frame's history (Same natively), up to polygon ${s.watch}.`);
    $('pixel-note').textContent = notes.join(' ');
    $('pixel-note').hidden = !has || !notes.length;
    if (!has) {
        $('history').replaceChildren();
        $('reason').replaceChildren();
        return;
    }
    const [x, y] = s.pixel;
    showHistory($('history'), JSON.parse(m.historyJson(x, y)), onTrace, onWatch);
    showReason(m, x, y);
    const framePicture = s.view !== 'texels';
    $('magnifier').hidden = !framePicture;
    if (framePicture) {
        const ends = JSON.parse(m.spanEndsAround(x - radius, y - radius, 2 * radius + 1, 2 * radius + 1));
        drawMagnifier($('magnifier'), software, s.pixel, ends);
    }
}

// The sentences the module makes from the history (one to three), or its refusal.
function showReason(m, x, y) {
    const reason = m.reason(x, y);
    const lines = reason.error ? [reason.error] : reason;
    $('reason').replaceChildren(...lines.map(line => {
        const p = document.createElement('p');
        p.textContent = line;
        return p;
    }));
}
