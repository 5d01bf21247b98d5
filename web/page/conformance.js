// The conformance run in the page: a tester's files for the built-in cases (NAME.png or
// NAME.ppm, and NAME.depth), each case drawn and judged by the module as
// sphaerix-conformance judges it, with the same line, on the texture the tool would draw
// it on (the generated sphere map, or a sphere.raw given for every case as its --texture),
// under the rules of the frame shown (the Rules panel's) as its --rules would give them.
// Only the decoding happens here.
import { paintRgb } from './canvas.js';
import { shellWord } from './commands.js';
import { decodeImage, toRgb8 } from './image.js';
import { showAtScale } from './magnify.js';
import { showMessage } from './messages.js';

const $ = id => document.getElementById(id);

// `show(view, first, rules)`: puts the case's view on the frame, software rendering, under
// those rules, and selects its first differing pixel [x, y] (or none). Returns
// follow(rules), to be told the rules of every frame drawn.
export function wireConformance(app, show) {
    let cases = null;
    const list = () => (cases ??= JSON.parse(app.m.conformanceCases()));
    $('conformance').addEventListener('toggle', () => {
        if ($('conformance').open && !$('conformance-cases').rows.length)
            listCases(list(), run.rules);
    });
    // The texture's name (null: the generated sphere map), the rules and the files last
    // judged, which are judged again on another texture or under other rules.
    const run = { texture: null, rules: 'none', files: null };
    const take = files => judge(app, list(), (run.files = files), run, show);
    for (const input of [$('conformance-files'), $('conformance-folder')]) {
        input.addEventListener('change', async () => {
            const files = [...input.files];
            input.value = '';
            await take(files);
        });
    }
    const useTexture = async (name, bytes) => {
        const problem = app.m.conformanceTexture(bytes);
        showMessage(problem && `"${name}": ${problem}`, $('conformance-message'));
        if (problem)
            return;
        run.texture = name;
        showTextureLine(run);
        if (run.files)
            await take(run.files);
    };
    showTextureLine(run);
    $('conformance-generated').addEventListener('click', () => useTexture(null, null));
    const textureInput = $('conformance-texture');
    textureInput.addEventListener('change', async () => {
        const file = textureInput.files[0];
        textureInput.value = '';
        if (file)
            await useTexture(file.name, await bytesOf(file));
    });
    const panel = $('conformance');
    panel.addEventListener('dragover', e => { e.preventDefault(); e.stopPropagation(); });
    panel.addEventListener('drop', async e => {
        e.preventDefault();
        e.stopPropagation();
        await take([...e.dataTransfer.files]);
    });
    return rules => {
        if (rules === run.rules)
            return;
        run.rules = rules;
        showTextureLine(run);
        if (run.files)
            take(run.files);
        else if (cases)
            listCases(cases, rules);
    };
}

function showTextureLine({ texture, rules }) {
    const options = (texture ? ` --texture ${shellWord(texture)}` : '') + (rules === 'none' ? '' : ` --rules ${rules}`);
    const under = rules === 'none' ? '' : ` under the rules ${rules}`;
    const command = code(`sphaerix-conformance${options} DIR`);
    $('conformance-texture-line').replaceChildren(...(texture
        ? [`Every case drawn on "${texture}"${under}, as `, command, ' draws them.']
        : [`Every case drawn on the generated sphere map${under}, as `, command, ' draws them on ',
           'the sphere.raw that ', code('sphaerix-spheremap generate sphere.raw'), ' writes.']));
}

function row(cells) {
    const tr = document.createElement('tr');
    for (const cell of cells) {
        const td = document.createElement('td');
        td.append(cell);
        tr.append(td);
    }
    return tr;
}

function code(text) {
    const c = document.createElement('code');
    c.textContent = text;
    return c;
}

// The cases before any file: their names, sizes and the snapshot's options for each,
// under the rules they are judged by (last, as the tool writes them).
function listCases(cases, rules) {
    const under = rules === 'none' ? '' : ` --rules ${rules}`;
    $('conformance-cases').replaceChildren(...cases.map(c =>
        row([c.name, `${c.width}x${c.height}`, code(c.snapshot.replace(/^sphaerix-snapshot /, '') + under)])));
}

// Files by name; a name seen twice keeps the last (a folder has each name once).
function byName(files) {
    const named = new Map();
    for (const file of files)
        named.set(file.name, file);
    return named;
}

async function bytesOf(file) {
    return new Uint8Array(await file.arrayBuffer());
}

async function judge(app, cases, files, run, show) {
    const { m } = app;
    const { texture, rules } = run;
    const named = byName(files);
    const used = new Set();
    const started = performance.now();
    const results = [];
    for (const [index, c] of cases.entries()) {
        const colorFile = named.get(`${c.name}.png`) ?? named.get(`${c.name}.ppm`);
        const depthFile = named.get(`${c.name}.depth`);
        for (const f of [colorFile, depthFile])
            if (f)
                used.add(f.name);
        let rgb = null, width = 0, height = 0, problem = '';
        if (colorFile) {
            const { image, error } = await decodeImage(m, colorFile.name, await bytesOf(colorFile));
            if (error)
                problem = error;
            else
                ({ width, height } = image), rgb = toRgb8(image);
        }
        const depth = depthFile && !problem ? await bytesOf(depthFile) : null;
        const result = JSON.parse(m.conformanceCompare(index, rgb, width, height, colorFile?.name ?? '', problem,
                                                       depth, depthFile?.name ?? ''));
        if (result.error) {
            showMessage(result.error, $('conformance-message'));
            m.conformanceEnd();
            return;
        }
        if (result.history && texture)
            result.history += ` --texture ${shellWord(texture)}`;
        results.push({ c, ...result, maskSize: result.mask, mask: result.first ? m.conformanceMask().slice() : null });
    }
    m.conformanceEnd();
    const seconds = (performance.now() - started) / 1000;
    const count = outcome => results.filter(r => r.outcome === outcome).length;
    // The tool's own files: NAME.out and NAME.err record a command's output (--keep), and
    // --write-reference lists what it wrote.
    const own = new Set(['sphaerix-reference.md5', ...cases.flatMap(c => [`${c.name}.out`, `${c.name}.err`])]);
    const unused = [...named.keys()].filter(name => !used.has(name) && !own.has(name)).sort();
    showMessage(unused.length ? `not used (no case of that name): ${unused.join(', ')}` : '', $('conformance-message'));
    $('conformance-summary').replaceChildren(
        code(m.conformanceSummary(count('equal'), count('differs'), count('missing'), count('unreadable'))),
        ` (judged in ${seconds.toFixed(2)} s, on ${texture ? `"${texture}"` : 'the generated sphere map'})`);
    showResults(app, results, (c, first) => show(c, first, rules));
}

// Failures first, as the report has them; each differing case one click from its mask
// and the history of its first differing pixel.
function showResults(app, results, show) {
    const ordered = [...results.filter(r => r.outcome !== 'equal'), ...results.filter(r => r.outcome === 'equal')];
    $('conformance-cases').replaceChildren(...ordered.map(r => {
        const cells = [code(r.line)];
        if (r.first) {
            const button = document.createElement('button');
            button.type = 'button';
            button.textContent = `Show ${r.c.name}`;
            button.title = `The case's view on the frame, its error mask here and the history of ${r.first.join(',')}`;
            button.addEventListener('click', () => {
                showCaseMask(r);
                show(r.c, r.first);
            });
            cells.push(button);
        }
        const tr = row(cells);
        tr.className = r.outcome === 'equal' ? 'equal' : 'failed';
        tr.dataset.case = r.c.name;
        return tr;
    }));
    $('conformance-mask').hidden = true;
    $('conformance-mask-line').textContent = '';
}

function showCaseMask(r) {
    const mask = $('conformance-mask');
    const [width, height] = r.maskSize;
    paintRgb(mask, r.mask, width, height);
    // Whole multiples only, so that the rings stay whole; a wide frame scrolls at 1x.
    const room = $('conformance').clientWidth - 8;
    showAtScale(mask, width, height, Math.max(1, Math.min(4, Math.floor(room / width))));
    mask.hidden = false;
    $('conformance-mask-line').textContent = `${r.c.name}: the error mask (colour red, depth blue, both magenta); ` +
        `first difference ${r.first.join(',')}; natively: ${r.history}`;
}
