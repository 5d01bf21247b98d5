// A message stands beside what caused it: a panel's own line, or the line over the top of
// the page for what the address or a script asked for. The page goes on with what it had.

let top = null;

export function attachMessages(e) {
    top = e;
}

export function showMessage(text, at = top) {
    at.textContent = text;
    at.hidden = !text;
}
