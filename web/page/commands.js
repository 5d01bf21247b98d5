// The sphaerix-snapshot commands that show natively what the page shows: the picture in
// the rendering shown, and the selected pixel's history, the trace and the watched fill.
import { floatText } from './state.js';

// A word for a POSIX shell: as it is where nothing in it is special, else in single quotes.
export function shellWord(text) {
    return /^[\w@%+=:,./-]+$/.test(text) ? text : `'${text.replace(/'/g, `'\\''`)}'`;
}

// The file the snapshot's --texture takes for the page's texture: a sphere.raw as it is;
// a PNG by way of `sphaerix-spheremap import` (the page resamples it the same way).
export function nativeTexture({ name, image }) {
    if (!image)
        return { path: name, steps: [] };
    const raw = name.replace(/\.[^./]*$/, '') + '.raw';
    const path = raw === name ? `${name}.raw` : raw;
    const step = /\.png$/i.test(name)
        ? ['the texture as a sphere.raw', `sphaerix-spheremap import ${shellWord(name)} ${shellWord(path)}`]
        : ['the texture as a sphere.raw', `sphaerix-spheremap import takes a PNG: save ${shellWord(name)} as a PNG, ` +
           `then sphaerix-spheremap import IT.png ${shellWord(path)}`];
    return { path, steps: [step] };
}

// The view as the snapshot's options take it, with the software frame's rules.
export function snapshotCommand(s, texturePath = null) {
    return `sphaerix-snapshot --size ${s.width}x${s.height} --angle-z ${floatText(s.az)} ` +
        `--angle-x ${floatText(s.ax)} --pan ${floatText(s.panX)},${floatText(s.panY)} ` +
        `--zoom ${floatText(s.zoom)}` + (texturePath ? ` --texture ${shellWord(texturePath)}` : '') +
        (s.rules && s.rules !== 'none' ? ` --rules ${s.rules}` : '');
}

// `shown`: the rendering on the frame; `scale`: the magnification in use; `texture`:
// { name, image } of the texture file, null for the generated sphere map; `compared`: the
// compared file's name; `ladder`, `explained`: whether the ladder and the selected pixel's
// explanation are shown. Each is [what, command].
export function snapshotCommands(s, { shown, scale, texture, compared, ladder = false, explained = false }) {
    const { path, steps } = texture ? nativeTexture(texture) : { path: null, steps: [] };
    const base = snapshotCommand(s, path);
    // The OpenGL frame, the ladder and --explain take no rules: they go through all of them.
    const bare = snapshotCommand({ ...s, rules: 'none' }, path);
    const window = 'against the OpenGL frame in the program\'s window (without a display, put xvfb-run -a before it)';
    const view = s.view === 'color' ? '' : ` --view ${s.view}`;
    const slide = (scale > 1 ? ` --scale ${scale}` : '') + (s.grid && scale >= 3 ? ' --grid' : '');
    const commands = [...steps];
    // The snapshot draws every polygon: for the watched fill it marks the polygon on the
    // whole frame, and a history's rows up to that polygon are the watched fill's.
    if (s.watch >= 0)
        commands.push([`polygon ${s.watch} on the whole frame (the snapshot has no option to stop after it)`,
            `${base} --trace-polygon ${s.watch}${view}${slide} -o watch.png`]);
    else if (shown === 'opengl')
        commands.push(['the OpenGL rendering', `${bare} --renderer opengl -o frame.png`]);
    else if (shown === 'difference')
        commands.push(['both renderings and their difference', `${base} --compare DIR`]);
    else
        commands.push(['the picture', `${base}${view}${slide} -o frame.png`]);
    if (s.pixel)
        commands.push([s.watch >= 0 ? `the selected pixel in the whole frame (its rows up to polygon ${s.watch} are ` +
            'the history shown)' : 'the selected pixel', `${base} --history ${s.pixel[0]},${s.pixel[1]}`]);
    if (s.trace !== null)
        commands.push(['the traced polygon', `${base} --trace-polygon ${s.trace}`]);
    if (compared)
        commands.push(['the comparison', `${base} --against ${shellWord(compared)}`]);
    if (ladder)
        commands.push([`the ladder ${window}`, `${bare} --ladder ladder`]);
    if (explained && s.pixel)
        commands.push([`the selected pixel through the ladder ${window}`, `${bare} --explain ${s.pixel[0]},${s.pixel[1]}`]);
    return commands;
}
