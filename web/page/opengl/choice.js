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

    // The last OpenGL frame drawn and the view it is of: the rules' comparisons take it
    // while it is the view's.
    let last = { key: null, picture: null };
    const drawOpenGL = (m, width, height, version, key) => {
        const picture = renderer.render(m, width, height, version);
        last = { key: picture.error ? null : key, picture };
        return picture;
    };

    // software: the module's colour picture for the view; version: the scene's, which
    // changes with the texture; key: the view's, whatever the rules. Returns the picture
    // to show, the rendering it is and the line to show beside it; an OpenGL picture is on
    // the canvas already.
    function choose(m, state, software, { watching, version, key }) {
        const asked = state.renderer;
        if (!renderer)
            return { picture: software, shown: 'software', line: noWebGL };
        if (asked === 'software')
            return { picture: software, shown: 'software', line: '' };
        if (state.view !== 'color' || watching)
            return { picture: software, shown: 'software',
                     line: 'The debug views and the watched fill are the software frame\'s; the OpenGL rendering shows with the color view.' };
        const glPicture = drawOpenGL(m, software.width, software.height, version, key);
        if (glPicture.error)
            return { picture: software, shown: 'software', line: glPicture.error };
        if (asked === 'opengl')
            return { picture: glPicture, shown: 'opengl', line: 'The OpenGL rendering (WebGL 2); g turns to the software one.' };
        const difference = m.differencePicture(glPicture.rgb, software.width, software.height);
        if (difference.error)
            return { picture: software, shown: 'software', line: difference.error };
        return { picture: difference, shown: 'difference', line: `${difference.line}. The caption is the OpenGL ` +
                 'frame\'s alone, so its pixels count, as in the snapshot\'s --compare.', opengl: glPicture };
    }
    // The OpenGL frame of the view `key` ({width, height, rgb, covered} or {error}), drawn
    // again only when the last one is of another view; the module must have drawn the view.
    choose.openGL = (m, width, height, version, key) => {
        if (!renderer)
            return { error: noWebGL };
        return last.key === key ? last.picture : drawOpenGL(m, width, height, version, key);
    };
    choose.rendererName = () => renderer?.name() ?? '';
    return choose;
}
