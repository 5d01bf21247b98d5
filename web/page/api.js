// window.sphaerix: the page for scripts and the console. The objects are the module's
// own JSON, the same as `sphaerix-snapshot --history X,Y --json` and
// `--trace-polygon N --json` give for the view on the page.

// The module's JSON, or its refusal ({"error": message}) thrown.
function parsed(text) {
    const value = JSON.parse(text);
    if ('error' in value)
        throw new Error(value.error);
    return value;
}

export function exposeApi(target, { ready, change, select, picture, module, state, drawn, settled, shown,
                                   magnification, reason, savedPng, reset, rules, ladder, ladderPng, explain }) {
    target.sphaerix = {
        ready,
        // Fields as the address takes them (size "WxH", pan "X,Y" or [x, y], scale 1..4 or
        // 'fit', grid true or false, trace and watch polygon numbers, rules "NAME,NAME" or
        // [names], numbers or text); resolves to the list of what was refused, empty when
        // all was taken.
        setView(fields = {}) {
            const f = { ...fields };
            if (Array.isArray(f.pan))
                f.pan = f.pan.join(',');
            if (Array.isArray(f.rules))
                f.rules = f.rules.join(',') || 'none';
            return change(f);
        },
        // "opengl", "software" or "difference"; resolves as setView does.
        setRenderer: name => change({ renderer: name }),
        // The rendering shown: "software" where the asked one cannot be drawn (no WebGL 2).
        get renderer() { return shown(); },
        pixels: () => picture().rgb.slice(),
        size: () => [picture().width, picture().height],
        state,
        // The view of the frame on the canvas (state() may be ahead of it until the next frame).
        drawn,
        settled,
        history: (x, y) => parsed(module().historyJson(x, y)),
        trace: n => parsed(module().traceJson(n)),
        select,
        // Screen pixels per picture pixel, 'fit' resolved.
        magnification,
        // The sentences that say why the pixel is what it is.
        reason,
        // The bytes Save PNG writes.
        savedPng,
        // What "Start-up view" does.
        reset,
        // The rules the software frame follows, as names in ladder order ([] for the program's own).
        get rules() { return rules(); },
        // The view shown through the ladder against the page's WebGL frame: resolves to
        // --ladder --json's table (each step with its "line"), and "text", as it prints it.
        ladder,
        // The PNG of the ladder last run: --ladder's DIR/ladder.png.
        ladderPng,
        // Pixel x, y through the ladder against the page's WebGL frame: resolves to
        // --explain X,Y --json's object, and "text".
        explain,
        // The WebAssembly module itself (web/binding/session.h lists its calls).
        module,
    };
}
