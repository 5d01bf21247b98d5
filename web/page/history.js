// The selected pixel's history as a table, with the rows and values of
// `sphaerix-snapshot --history X,Y`, and the trace of a polygon one click further.
import { exactText, vectorText } from './format.js';
import { element } from './dom.js';

const columns = ['#', 'mesh', 'polygon', 'ring', 'side', 'span left..right', 'columns', 'depth',
    'stored', 'result', 'normal'];

function lookupText(l) {
    return `lookup: unit normal ${vectorText(l.unit_normal)}, eye-space normal x, y ` +
        `${vectorText(l.eye_normal_xy)} of length ${exactText(l.eye_normal_xy_length)}, ` +
        `texel ${l.texel.join(',')} (centre ${l.texel_centre_outside_circle ? 'outside' : 'inside'} the circle), ` +
        `bytes ${l.bytes.join(' ')}, colour ${vectorText(l.color)}`;
}

// A double as the snapshot prints it (C's %g with the fewest digits that read back).
function doubleText(v) {
    let p = 1;
    while (p < 17 && Number(v.toPrecision(p)) !== v)
        ++p;
    const e = v === 0 ? 0 : Math.floor(Math.log10(Math.abs(v)));
    return e < -4 || e >= p ? v.toExponential(p - 1).replace(/e([+-])(\d)$/, 'e$10$2') : String(Number(v.toPrecision(p)));
}

const doubleList = values => `(${values.map(doubleText).join(', ')})`;

// What the rules added to a fragment (the history's "rules"), as the snapshot's lines: the
// triangle that covered the pixel with its corners, the weights at the centre, s and t,
// and the filter's texels and weights.
function ruleTexts(r, texgen) {
    const lines = [];
    if (r.triangle) {
        lines.push(`triangle ${r.triangle.index} of the polygon, its corners counterclockwise:`);
        for (const c of r.triangle.corners)
            lines.push(`${c.corner >= 0 ? `corner ${c.corner}` : 'cut point'}: window ${vectorText(c.window)}, ` +
                `depth ${exactText(c.depth)}, 1/w ${exactText(c.inverse_w)}, ` +
                (texgen ? `s, t ${vectorText(c.values.slice(0, 2))}` : `normal ${vectorText(c.values)}`));
    }
    if (r.weights)
        lines.push(`weights at the centre ${doubleList(r.weights)}` +
            (r.corrected_weights ? `, corrected for perspective ${doubleList(r.corrected_weights)}` : ''));
    if (r.interpolated_st)
        lines.push(`interpolated s, t ${vectorText(r.interpolated_st)}`);
    if (r.filter) {
        const f = r.filter;
        lines.push(`filter at s, t ${vectorText(f.st)}: texel position ${vectorText(f.texel_position)}, weights ` +
            `${vectorText(f.weights)}, texels ${f.texels.map(t => `${t.texel.join(',')}${t.border ? ' (border)' : ''} ` +
            t.bytes.join(' ')).join('; ')}; result bytes ${f.bytes.join(' ')}, colour ${vectorText(r.color)}`);
    } else if (r.nearest_texel) {
        lines.push(`nearest texel of s, t: ${r.nearest_texel.join(',')}, colour ${vectorText(r.color)}`);
    }
    return lines;
}

// A button that watches the fill up to polygon n.
function watchButton(n, onWatch) {
    const button = element('button', { type: 'button', class: 'watch-to', 'data-polygon': n,
        title: `Watch the fill up to polygon ${n}` }, 'watch');
    button.addEventListener('click', () => onWatch(n));
    return button;
}

// `onTrace(n)` is called when a polygon number is clicked, `onWatch(n)` for "watch".
export function showHistory(panel, history, onTrace, onWatch) {
    const [x, y] = history.pixel;
    const [, height] = history.size;
    const n = history.fragments.length;
    const heading = element('p', { class: 'summary' },
        `pixel ${x},${y} of ${history.size.join('x')} (row ${height - 1 - y} counted from the top): ` +
        `${n} fragment${n === 1 ? '' : 's'} tested`);
    const rules = history.rules ?? 'none';
    const has = name => rules === 'gl' || rules.split(',').includes(name);
    const table = element('table', { class: 'history' });
    // The last column is the page's own, not the snapshot's.
    table.append(element('thead', {}, element('tr', {}, ...columns.map(c => element('th', {}, c)),
        element('th', { class: 'act' }))));
    const body = element('tbody');
    history.fragments.forEach((f, i) => {
        const polygon = element('button', { type: 'button', class: 'polygon', 'data-polygon': f.polygon,
            title: `trace polygon ${f.polygon}` }, String(f.polygon));
        polygon.addEventListener('click', () => onTrace(f.polygon));
        // Under centres no span covers the pixel: its triangle does.
        const cells = [String(i + 1), String(f.mesh), polygon, String(f.ring), String(f.side),
            f.span ? `${exactText(f.span.left)}..${exactText(f.span.right)}` : 'its centre',
            f.span ? `[${f.span.columns[0]}, ${f.span.columns[1]})` : '-', exactText(f.depth), exactText(f.stored),
            f.passed ? 'passed' : 'failed', vectorText(f.normal)];
        body.append(element('tr', { class: f.passed ? 'passed' : 'failed' },
            ...cells.map(c => element('td', {}, c)), element('td', { class: 'act' }, watchButton(f.polygon, onWatch))));
        const notes = f.rules ? ruleTexts(f.rules, has('texgen')) : [];
        // Under the filter the map was read at the eye-space coordinates, not at one texel.
        if (f.lookup)
            notes.push(f.rules && has('filter') ? `lookup: unit normal ${vectorText(f.lookup.unit_normal)}, eye-space ` +
                `normal x, y ${vectorText(f.lookup.eye_normal_xy)}, s, t = x, y * 0.5 + 0.5` : lookupText(f.lookup));
        for (const note of notes)
            body.append(element('tr', { class: 'lookup' }, element('td', {}), element('td', { colspan: columns.length - 1 },
                note)));
    });
    table.append(body);
    const final = element('p', { class: 'final' },
        `final: depth ${exactText(history.final.depth)}, colour ${vectorText(history.final.color)}` +
        (n ? '' : ' (nothing reached this pixel: the cleared values)'));
    // The last fragment that passed is the one the pixel shows.
    const winner = [...history.fragments].reverse().find(f => f.passed);
    // Without fragments there are no rows, and the native text has no header either.
    const under = history.rules ? [element('p', { class: 'summary under' }, `under the rules ${history.rules}`)] : [];
    const parts = n ? [heading, ...under, element('div', { class: 'scroll' }, table), final] : [heading, ...under, final];
    if (winner !== undefined) {
        const button = element('button', { type: 'button', id: 'trace-winner',
            title: 'The trace of the last fragment that passed the depth test: the one this pixel shows' },
            `Trace polygon ${winner.polygon}, which won the pixel`);
        button.addEventListener('click', () => onTrace(winner.polygon));
        parts.push(button);
    }
    panel.replaceChildren(...parts);
}

// `note` says why the trace is not of the frame shown (a polygon the watched fill has not
// drawn yet), or is empty.
export function showTrace(panel, trace, text, onWatch, note = '') {
    const n = trace.frame_polygon;
    const heading = element('h3', {}, `Polygon ${n}: ring ${trace.ring}, side ${trace.side} `,
        watchButton(n, onWatch));
    const summary = element('p', {}, `Outlined on the frame. Depth test: ${trace.passed} passed, ` +
        `${trace.failed} failed. The trace as --trace-polygon ${n} prints it:`);
    panel.replaceChildren(heading, ...(note ? [element('p', { class: 'note' }, note)] : []), summary,
        element('pre', { class: 'trace' }, text));
}

// The corners of a traced polygon in window coordinates.
export const traceCorners = trace => trace.corners.map(c => [c.position[0], c.position[1]]);
