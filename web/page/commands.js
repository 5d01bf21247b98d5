// The sphaerix-snapshot commands that show natively what the page shows: the picture in
// the rendering shown, and the selected pixel's history, the trace and the watched fill.
import { floatText } from './state.js';

// The view as the snapshot's options take it.
export function snapshotCommand(s, texture = null) {
    return `sphaerix-snapshot --size ${s.width}x${s.height} --angle-z ${floatText(s.az)} ` +
        `--angle-x ${floatText(s.ax)} --pan ${floatText(s.panX)},${floatText(s.panY)} ` +
        `--zoom ${floatText(s.zoom)}` + (texture ? ` --texture ${texture}` : '');
}

// `shown`: the rendering on the frame; `scale`: the magnification in use; `texture`: the
// texture file's name, null for the generated sphere map; `compared`: the compared file's.
export function snapshotCommands(s, { shown, scale, texture, compared }) {
    const base = snapshotCommand(s, texture);
    const view = s.view === 'color' ? '' : ` --view ${s.view}`;
    const slide = (scale > 1 ? ` --scale ${scale}` : '') + (s.grid && scale >= 3 ? ' --grid' : '');
    const commands = [];
    if (s.watch >= 0)
        commands.push(['the watched polygon, on the whole frame',
            `${base} --trace-polygon ${s.watch}${view}${slide} -o watch.png`]);
    else if (shown === 'opengl')
        commands.push(['the OpenGL rendering', `${base} --renderer opengl -o frame.png`]);
    else if (shown === 'difference')
        commands.push(['both renderings and their difference', `${base} --compare DIR`]);
    else
        commands.push(['the picture', `${base}${view}${slide} -o frame.png`]);
    if (s.pixel)
        commands.push(['the selected pixel', `${base} --history ${s.pixel[0]},${s.pixel[1]}`]);
    if (s.trace !== null)
        commands.push(['the traced polygon', `${base} --trace-polygon ${s.trace}`]);
    if (compared)
        commands.push(['the comparison', `${base} --against ${compared}`]);
    return commands;
}
