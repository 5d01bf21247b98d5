// The page's keys. The program's `g` anywhere; the arrows move the selected pixel while
// the frame has the focus (elsewhere they scroll as usual). Typing into a field or a menu,
// or a key with a modifier other than Shift, is left to the browser; a checkbox, a button,
// the slider or a file input with the focus takes no letters, so the page's keys work there.

const typing = 'textarea, select, input:not([type=checkbox], [type=radio], [type=button], [type=file], [type=range])';

export function attachKeys(frame, { toggleRenderer, moveSelection, stepWatch, clearSelection, toggleKeys }) {
    const arrows = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, 1], ArrowDown: [0, -1] };
    window.addEventListener('keydown', e => {
        if (e.ctrlKey || e.metaKey || e.altKey)
            return;
        if (e.target instanceof HTMLElement && e.target.matches(typing))
            return;
        const arrow = arrows[e.key];
        if (arrow) {
            if (e.target !== frame)
                return;
            // Up is up the picture: window rows count from the bottom.
            const step = e.shiftKey ? 10 : 1;
            moveSelection(arrow[0] * step, arrow[1] * step);
        } else if (e.key === 'g' && !e.repeat) {
            toggleRenderer();
        } else if (e.key === '[' || e.key === ']') {
            stepWatch(e.key === '[' ? -1 : 1);
        } else if (e.key === 'Escape') {
            clearSelection();
        } else if (e.key === '?') {
            toggleKeys();
        } else {
            return;
        }
        e.preventDefault();
    });
}
