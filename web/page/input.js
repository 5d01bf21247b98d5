// The program's mouse on the frame: left drag turns (one degree per pixel, horizontal
// about z, vertical about x), right drag moves (one pixel of pan per pixel), the wheel
// moves along the viewing axis. A left press and release without motion selects the
// pixel instead, which the program's mouse leaves alone.
import { addFloat, floatText } from './state.js';

// A notch of the browser's wheel is 100 pixels (or one line) of deltaY; in the program a
// notch is a press and a release of the wheel button, each one wheel event.
const notch = 100;
const eventsPerNotch = 2;

export function attachInput(canvas, { getState, change, select }) {
    let drag = null;   // { button, x, y, moved }
    let wheelSum = 0;

    // The right button moves the torus, so its menu would interrupt every right drag; with
    // Shift held, or after a right click that did not move (where the menu comes on
    // release), the browser's own menu comes: Save image as, Copy image.
    let rightMoved = false;
    canvas.addEventListener('contextmenu', e => {
        const pressed = drag && drag.button === 2;
        if (!e.shiftKey && (pressed || rightMoved))
            e.preventDefault();
        rightMoved = false;
    });

    canvas.addEventListener('pointerdown', e => {
        if (e.button !== 0 && e.button !== 2)
            return;
        e.preventDefault();
        canvas.focus({ preventScroll: true }); // for the arrow keys
        canvas.setPointerCapture(e.pointerId);
        drag = { button: e.button, x: Math.round(e.clientX), y: Math.round(e.clientY), moved: false };
    });

    canvas.addEventListener('pointermove', e => {
        if (!drag)
            return;
        const x = Math.round(e.clientX), y = Math.round(e.clientY);
        const dx = x - drag.x, dy = y - drag.y;
        if (dx === 0 && dy === 0)
            return;
        drag.x = x;
        drag.y = y;
        drag.moved = true;
        const s = getState();
        if (drag.button === 0)
            change({ az: addFloat(s.az, dx), ax: addFloat(s.ax, dy) });
        else
            change({ pan: `${floatText(addFloat(s.panX, dx))},${floatText(addFloat(s.panY, dy))}` });
    });

    const end = e => {
        if (!drag)
            return;
        const wasClick = drag.button === 0 && !drag.moved && e.type === 'pointerup';
        rightMoved = drag.button === 2 && drag.moved;
        drag = null;
        if (wasClick)
            select(e);
    };
    canvas.addEventListener('pointerup', end);
    canvas.addEventListener('pointercancel', end);

    canvas.addEventListener('wheel', e => {
        e.preventDefault();
        const lines = e.deltaMode === WheelEvent.DOM_DELTA_LINE;
        const pages = e.deltaMode === WheelEvent.DOM_DELTA_PAGE;
        wheelSum += pages ? e.deltaY * notch * 3 : lines ? e.deltaY * notch : e.deltaY;
        let zoom = getState().zoom, stepped = false;
        // Wheel up (negative deltaY) brings the torus nearer: zoom grows.
        while (Math.abs(wheelSum) >= notch) {
            const step = wheelSum < 0 ? 1 : -1;
            for (let i = 0; i < eventsPerNotch; ++i)
                zoom = addFloat(zoom, step);
            wheelSum += step * notch;
            stepped = true;
        }
        if (stepped)
            change({ zoom });
    }, { passive: false });
}
