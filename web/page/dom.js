// An element with its attributes and children, for the modules that build tables and lists.
export function element(tag, attributes = {}, ...children) {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attributes))
        e.setAttribute(k, v);
    e.append(...children);
    return e;
}
