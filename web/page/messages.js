// One line at the top of the page naming what was wrong; the page goes on with what it had.

let element = null;

export function attachMessages(e) {
    element = e;
}

export function showMessage(text) {
    element.textContent = text;
    element.hidden = !text;
}
