// The caption "OpenGL rendering (toggle with 'g')" as the program sets it: GLUT's
// 18-pixel Helvetica bitmap at raster position (10, 10). The browser has no such font,
// so the glyphs' pixels are kept here as the program's window showed them (one bit a
// pixel, rows of 36 bytes from the bottom up), which puts every black pixel where the
// program puts it, whatever fonts the browser has.

const box = { x: 11, y: 6, width: 284, height: 18 };
const rowBytes = 36;
const packed =
    'AAGAAAAAAAAAAAAAAAAAAAAAcABAAADgHAAAAAAAAAAADgCAAAGAAAAAAAAAAAAAAAAAAAAB/ADAAAP4fwAAAAAAAAAAP4DAAAGAAAAA' +
    'AAAAAAAAAAAAAAABjAGAAAMYYwAAAAAAAAAAMYBgAAGAAAAAAAAAAAAAAAAAAAAABgGAAAAMAYAAAAAAAAAAAMBgD4G8DwwwPs/wGB4YYew8' +
    'MMww9gMDD4HsPZh4AGYMMwwAHsAwP+H+H8ww/8/wGD+YY/x/MMwx/gMHH8P8f5j+AGYMcwwAP8AwcHHGOMwxwcwAGHGYYxzjMMwxjgMGGMM' +
    'cY5nGAOcMYwwAMcAwYDGDMAwxgMwAGGAYZgzAMMwzBgMGMGYMwZmAAKUMYwwAYMAw4DmDMAwzgMwAGGAYZgzAMMwzBgMGMGYMwZmAAaWMYww' +
    'AYMAwwBmDP8wzB8wAGH+YZgz/MMwzBgMGMGYMwZn+AZmMYwwAYMAwwBmDMMwzB8wAGGGYZgzDMMwzBgMGMGYMwZmGAZmMYwwAYMAwwBnGMM4' +
    'zAAwAHGGcYxzDOM4xhgMGGMMMYZmGAxjMY4wAMMAwwBn+H43zAAwAGz8b4/x+Ns3x/gMfn8P8f5j8AxjN+3wAP8Aw4Dm8DwzjgMwAGx4Zwew' +
    '8Nszg9gMfj4HsPZh4AxjN+zgEHsgwYDAAAAABgMwAAAAAAAwAAAAAAAGGAAAAABgAAAAAYwACAARgcHAAAAABwcwAAAAAAAwAAAAAAAGGAAA' +
    'AABgAAAAAYwACAARgP+AAAAAA/4wAAAAAAAwAAMAAAADGAAAAABgAAAAMYwAGAAzAD4AAAAAAPgwAAAAAAAwAAMAAAABAAAAAABgAAAAMAwA' +
    'GAAyA';

let unpacked = null;

// One byte a pixel (255 where the caption is black), bottom row first.
function pixels() {
    if (unpacked)
        return unpacked;
    const bits = Uint8Array.from(atob(packed), c => c.charCodeAt(0));
    unpacked = new Uint8Array(box.width * box.height);
    for (let y = 0; y < box.height; ++y)
        for (let x = 0; x < box.width; ++x)
            if (bits[y * rowBytes + (x >> 3)] & (0x80 >> (x & 7)))
                unpacked[y * box.width + x] = 255;
    return unpacked;
}

// The caption's window rectangle (row 0 at the bottom) and its mask, or null where the
// raster position (10, 10) falls outside the frame and OpenGL draws no caption at all.
export function captionMask(width, height) {
    if (width < 10 || height < 10)
        return null;
    return { ...box, bits: pixels() };
}

export const captionBox = box;
