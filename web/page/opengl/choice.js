// Which rendering the page shows for a drawn view: the software frame the module drew,
// the OpenGL rendering through WebGL 2 (on the renderer's own canvas, `canvas`), or the
// difference of the two as the snapshot's --compare makes it. WebGL 2 is asked for once;
// without it the software frame is shown.
import { createOpenGLRenderer } from './renderer.js';

export const noWebGL = 'This browser has no WebGL 2, so the page shows the software rendering only.';

export function makeRenderingChoice(canvas) {
    let renderer = null;
    try {
        renderer = createOpenGLRenderer(canvas).renderer;
    } catch (e) {
        console.error(e);
    }

    // software: the module's colour picture for the view; version: the scene's, which
    // changes with the texture. Returns the picture to show, the rendering it is and the
    // line to show beside it; an OpenGL picture is on the canvas already.
    return function choose(m, state, software, { watching, version }) {
        const asked = state.renderer;
        if (!renderer)
            return { picture: software, shown: 'software', line: noWebGL };
        if (asked === 'software')
            return { picture: software, shown: 'software', line: '' };
        if (state.view !== 'color' || watching)
            return { picture: software, shown: 'software',
                     line: 'The debug views and the watched fill are the software frame\'s; the OpenGL rendering shows with the color view.' };
        const glPicture = renderer.render(m, software.width, software.height, version);
        if (glPicture.error)
            return { picture: software, shown: 'software', line: glPicture.error };
        if (asked === 'opengl')
            return { picture: glPicture, shown: 'opengl', line: 'The OpenGL rendering (WebGL 2); g turns to the software one.' };
        const difference = m.differencePicture(glPicture.rgb, software.width, software.height);
        if (difference.error)
            return { picture: software, shown: 'software', line: difference.error };
        return { picture: difference, shown: 'difference', line: `${difference.line}. The caption is the OpenGL ` +
                 'frame\'s alone, so its pixels count, as in the snapshot\'s --compare.', opengl: glPicture };
    };
}
