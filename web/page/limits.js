// What the module states once for the program, its tools and the page: the largest side
// of a frame or picture, the largest slide scale, the views' names, the rules in ladder
// order and the start-up view (m.limits()), and the rules' reader. Filled in when the module has loaded, before anything reads it.
export const limits = {};

export function takeLimits(m) {
    Object.assign(limits, JSON.parse(m.limits()));
    // Rules as --rules reads them: { rules } as it writes them, or { problem }; the
    // module's rules as they were (a refused address must not leave its rules behind).
    limits.readRules = text => {
        const before = m.rules();
        const problem = m.setRules(text);
        const rules = m.rules();
        m.setRules(before);
        return problem ? { problem } : { rules };
    };
}
