// The texture and compare panels: a file in, the module's answer beside it. A message
// stays in its panel; a refused file leaves nothing of an earlier one's result behind.
import { paintRgb } from './canvas.js';
import { compareNow, readComparison } from './compare.js';
import { onFiles } from './files.js';
import { resolvedScale, showAtScale } from './magnify.js';
import { showMessage } from './messages.js';
import { loadTextureFile, useGenerated } from './texture.js';

const $ = id => document.getElementById(id);

// `changed()` is called when the texture is another one.
export function wireTexture(app, changed) {
    $('texture-generated').addEventListener('click', () => {
        const problem = useGenerated(app.m);
        showMessage(problem, $('texture-message'));
        if (!problem) {
            app.texture = null;
            $('texture-line').textContent = 'generated sphere map';
            changed();
        }
    });
    // A file dropped anywhere but on the compare panel is taken as the texture, and says so.
    onFiles($('texture-file'), document.body, async (name, bytes, dropped) => {
        $('texture').open = true;
        const { problem, image } = await loadTextureFile(app.m, name, bytes);
        showMessage(problem, $('texture-message'));
        if (!problem) {
            app.texture = name;
            app.textureImage = image;
            $('texture-line').textContent = `from ${name}` + (dropped ? ' (dropped on the page)' : '');
            changed();
        }
    });
}

// `changed()` is called when there is another picture to compare with, or none.
export function wireCompare(app, changed) {
    onFiles($('compare-file'), $('compare'), async (name, bytes) => {
        $('compare').open = true;
        const { other, error } = await readComparison(app.m, name, bytes);
        const result = error ? { error } : compareNow(app.m, other);
        if (result.error) {
            clearComparison(app);
            showMessage(result.error, $('compare-message'));
            return;
        }
        showMessage('', $('compare-message'));
        app.other = other;
        changed();
    });
    $('compare-off').addEventListener('click', () => {
        clearComparison(app);
        showMessage('', $('compare-message'));
        changed();
    });
}

export function clearComparison(app) {
    app.other = null;
    $('compare-line').textContent = '';
    $('mask').hidden = true;
}

// The line and the mask for the frame drawn last, the mask at the frame's magnification
// or the largest whole multiple that fits the panel. `select(x, y)` selects a pixel.
export function showComparison(app, scale, select) {
    const result = compareNow(app.m, app.other);
    const line = $('compare-line');
    const mask = $('mask');
    if (result.error) {
        clearComparison(app);
        showMessage(result.error, $('compare-message'));
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
        link.addEventListener('click', () => select(result.first[0], result.first[1]));
        line.append(document.createElement('br'), link);
    }
    const [width, height] = result.mask;
    paintRgb(mask, app.m.maskPixels(), width, height);
    const box = { width: $('panels').clientWidth - 4, height: Infinity };
    showAtScale(mask, width, height, resolvedScale(scale, box, width, height));
    mask.hidden = false;
}
