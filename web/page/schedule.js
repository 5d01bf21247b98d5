// At most one frame per animation frame, and only when asked: every request before the
// frame is drawn is answered by that one frame.

export function makeScheduler(render) {
    let waiting = null;
    function requestFrame() {
        if (!waiting) {
            waiting = new Promise((resolve, reject) => {
                requestAnimationFrame(() => {
                    waiting = null;
                    try {
                        resolve(render());
                    } catch (e) {
                        reject(e);
                    }
                });
            });
        }
        return waiting;
    }
    // The frame that is asked for and not drawn yet, if any.
    requestFrame.settled = () => waiting ?? Promise.resolve([]);
    return requestFrame;
}
