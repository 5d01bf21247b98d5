// Save PNG and Copy: the picture shown, as `sphaerix-snapshot --scale N [--grid] -o` writes
// it. The module makes the picture (enlarged, ruled, keys below); the page only wraps it
// in a PNG.
//
// Each function takes a request describing what is shown:
//   { m,              the module
//     width, height,  the frame's size (the texels view's picture is the sphere map's)
//     view,           the view drawn: 'color', 'depth', ...
//     shown,          the rendering shown: 'software', 'opengl' or 'difference'
//     picture,        {width, height, rgb} as shown: the OpenGL or difference picture
//     scale,          1..4, the magnification on screen (Fit resolved to its multiple)
//     grid,           the pixel boundaries, drawn as --grid draws them (scale 3 and up)
//     watch,          the polygon the watched fill stops after, -1 for the whole frame
//     subject }       'frame' (the default) or 'mask', the comparison's error mask
//   savedPng(request) -> Promise<Uint8Array>, rejected with the module's message
//   pngName(request) -> string
//   savePicture(request) -> Promise<string>, the line to show beside the buttons
//   copyPicture(request) -> Promise<string>, the same

// The file's name says what it shows:
// sphaerix-WxH-WHAT-xN[-grid][-upto-P].png, WHAT the view for the software rendering,
// else opengl, difference or mask; -grid only where the grid is drawn.
export function pngName(r) {
    const what = r.subject === 'mask' ? 'mask' : r.shown === 'software' ? r.view : r.shown;
    const grid = r.grid && r.scale >= 3 ? '-grid' : '';
    const upto = r.subject !== 'mask' && r.watch >= 0 ? `-upto-${r.watch}` : '';
    return `sphaerix-${r.width}x${r.height}-${what}-x${r.scale}${grid}${upto}.png`;
}

// The picture as the module makes it: {width, height, rgb} or {error}.
function slide(r) {
    const grid = !!r.grid;
    if (r.subject === 'mask')
        return r.m.maskPicture(r.scale, grid);
    if (r.shown === 'software')
        return r.m.slidePicture(r.scale, grid);
    return r.m.enlargedPicture(r.picture.rgb, r.picture.width, r.picture.height, r.scale, grid);
}

export async function savedPng(r) {
    const s = slide(r);
    if (s.error)
        throw new Error(s.error);
    return encodePng(s);
}

export async function savePicture(r) {
    const name = pngName(r);
    let bytes;
    try {
        bytes = await savedPng(r);
    } catch (e) {
        return `Not saved: ${e.message}`;
    }
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([bytes], { type: 'image/png' }));
    link.download = name;
    link.click();
    // The download has its own copy by the time the click's task ends.
    setTimeout(() => URL.revokeObjectURL(link.href), 0);
    return `Saved ${name}`;
}

export async function copyPicture(r) {
    if (!navigator.clipboard?.write || typeof ClipboardItem === 'undefined')
        return 'This browser gives no clipboard to this page (it needs https, localhost or a ' +
            'file with clipboard access): use Save PNG.';
    // The item takes the PNG as a promise, so the click still counts as the user's when the
    // picture is ready.
    let failure = null;
    const png = savedPng(r).then(bytes => new Blob([bytes], { type: 'image/png' }),
                                 e => { failure = e; throw e; });
    try {
        await navigator.clipboard.write([new ClipboardItem({ 'image/png': png })]);
    } catch (e) {
        if (failure)
            return `Not copied: ${failure.message}`;
        return `The browser refused the clipboard (${e.name === 'NotAllowedError' ? 'no permission' : e.message}): ` +
            'use Save PNG.';
    }
    return `Copied ${pngName(r)}`;
}

// RGB, 8 bits a sample, no interlace; every row with filter 0, deflated by the browser.
export async function encodePng({ width, height, rgb }) {
    const stride = width * 3;
    const rows = new Uint8Array((stride + 1) * height);
    for (let y = 0; y < height; ++y)
        rows.set(rgb.subarray(y * stride, (y + 1) * stride), y * (stride + 1) + 1);
    const deflated = new Uint8Array(await new Response(
        new Blob([rows]).stream().pipeThrough(new CompressionStream('deflate'))).arrayBuffer());
    const header = new Uint8Array(13);
    const view = new DataView(header.buffer);
    view.setUint32(0, width);
    view.setUint32(4, height);
    header.set([8, 2, 0, 0, 0], 8); // depth 8, RGB, deflate, filters of method 0, no interlace
    return concat([signature, chunk('IHDR', header), chunk('IDAT', deflated), chunk('IEND', new Uint8Array(0))]);
}

const signature = new Uint8Array([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);

// Length, type, data and the CRC of type and data.
function chunk(type, data) {
    const out = new Uint8Array(12 + data.length);
    const view = new DataView(out.buffer);
    view.setUint32(0, data.length);
    for (let i = 0; i < 4; ++i)
        out[4 + i] = type.charCodeAt(i);
    out.set(data, 8);
    view.setUint32(8 + data.length, crc32(out.subarray(4, 8 + data.length)));
    return out;
}

function concat(parts) {
    const out = new Uint8Array(parts.reduce((n, p) => n + p.length, 0));
    let at = 0;
    for (const p of parts) {
        out.set(p, at);
        at += p.length;
    }
    return out;
}

const crcTable = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k)
        c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
});

function crc32(bytes) {
    let c = 0xffffffff;
    for (const b of bytes)
        c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
}
