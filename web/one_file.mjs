// The page as one file that opens from disk, where browsers load no module files and
// fetch nothing: the style sheet and the bundled modules (the WebAssembly is inside the
// module already) written into index.html in place of their links.
//   node web/one_file.mjs INDEX.html STYLE.css BUNDLE.js > sphaerix.html
import { readFileSync } from 'node:fs';

const [indexPath, stylePath, bundlePath] = process.argv.slice(2);
let html = readFileSync(indexPath, 'utf8');
const style = readFileSync(stylePath, 'utf8');
const bundle = readFileSync(bundlePath, 'utf8');

// An HTML parser ends a script or style element at the first "</script" or "</style".
for (const [text, closing] of [[bundle, '</script'], [style, '</style']])
    if (text.toLowerCase().includes(closing))
        fail(`${closing} inside what would be inlined`);

function inline(pattern, element) {
    const found = html.match(new RegExp(pattern, 'g')) ?? [];
    if (found.length !== 1)
        fail(`${indexPath} has ${found.length} of ${pattern}, not one`);
    // A function, so that "$" in the text is taken as it is.
    html = html.replace(new RegExp(pattern), () => element);
}

function fail(message) {
    console.error(`one_file: ${message}`);
    process.exit(1);
}

inline('<link rel="stylesheet" href="[^"]+">', `<style>\n${style}</style>`);
inline('<script type="module" src="[^"]+"></script>', `<script type="module">\n${bundle}</script>`);
process.stdout.write(html);
