// What the module states once for the program, its tools and the page: the largest side
// of a frame or picture, the largest slide scale, the views' names and the start-up view
// (m.limits()). Filled in when the module has loaded, before anything reads it.
export const limits = {};

export function takeLimits(m) {
    Object.assign(limits, JSON.parse(m.limits()));
}
