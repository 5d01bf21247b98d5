// Drawing pictures onto canvases: the module's RGB bytes (top row first) become the
// canvas's RGBA in one pass and one putImageData.

export function sizeCanvas(canvas, width, height) {
    if (canvas.width !== width || canvas.height !== height) {
        canvas.width = width;
        canvas.height = height;
    }
}

export function paintRgb(canvas, rgb, width, height) {
    sizeCanvas(canvas, width, height);
    const context = canvas.getContext('2d');
    const image = context.createImageData(width, height);
    // Four bytes at a time through a 32-bit view: alpha is set with the colour.
    const out = new Uint32Array(image.data.buffer);
    const n = width * height;
    if (littleEndian) {
        for (let i = 0, j = 0; i < n; ++i, j += 3)
            out[i] = 0xff000000 | (rgb[j + 2] << 16) | (rgb[j + 1] << 8) | rgb[j];
    } else {
        for (let i = 0, j = 0; i < n; ++i, j += 3)
            out[i] = (rgb[j] << 24) | (rgb[j + 1] << 16) | (rgb[j + 2] << 8) | 0xff;
    }
    context.putImageData(image, 0, 0);
}

// The module's own RGBA of its picture, as it stands: no conversion in the page, which
// keeps a frame of the software rendering within its budget.
export function paintRgba(canvas, rgba, width, height) {
    sizeCanvas(canvas, width, height);
    const pixels = new Uint8ClampedArray(rgba.buffer, rgba.byteOffset, width * height * 4);
    canvas.getContext('2d').putImageData(new ImageData(pixels, width, height), 0, 0);
}

const littleEndian = new Uint8Array(new Uint32Array([1]).buffer)[0] === 1;

// The overlay sits on the frame, at the frame's magnification, and holds what the page
// adds: the pixel grid as --grid draws it, the selected pixel and an outlined polygon. The
// frame's own pixels are never drawn over. The frame is the picture's top `frameHeight`
// rows (keys may follow below it); the grid covers the top `gridHeight` rows. It reaches
// `overlayMargin` pixels past the frame on every side, so that the ring round a pixel in
// a corner is whole.
export const overlayMargin = 4;

export function drawOverlay(overlay, width, height, { frameHeight, gridHeight, scale, grid, pixel, corners }) {
    const w = Math.ceil(width * scale) + 2 * overlayMargin, h = Math.ceil(height * scale) + 2 * overlayMargin;
    if (overlay.width !== w || overlay.height !== h) {
        overlay.width = w;
        overlay.height = h;
        Object.assign(overlay.style, { width: `${w}px`, height: `${h}px`, left: `${-overlayMargin}px`,
                                       top: `${-overlayMargin}px` });
    }
    const g = overlay.getContext('2d');
    g.setTransform(1, 0, 0, 1, 0, 0);
    g.clearRect(0, 0, w, h);
    g.setTransform(1, 0, 0, 1, overlayMargin, overlayMargin);
    if (grid && scale >= 3)
        drawGrid(g, width * scale, gridHeight * scale, scale);
    if (corners && corners.length > 1) {
        // Window coordinates have row 0 at the bottom; the canvas counts from the top.
        g.beginPath();
        corners.forEach(([x, y], i) => (i ? g.lineTo : g.moveTo).call(g, x * scale, (frameHeight - y) * scale));
        g.closePath();
        g.lineWidth = 1.5;
        g.strokeStyle = '#000';
        g.stroke();
        g.setLineDash([3, 3]);
        g.strokeStyle = '#ff0';
        g.stroke();
        g.setLineDash([]);
    }
    if (pixel) {
        const [x, y] = pixel;
        const left = x * scale, top = (frameHeight - 1 - y) * scale;
        g.lineWidth = 1;
        g.strokeStyle = '#000';
        g.strokeRect(left - 2.5, top - 2.5, scale + 5, scale + 5);
        g.strokeStyle = '#fff';
        g.strokeRect(left - 3.5, top - 3.5, scale + 7, scale + 7);
    }
}

// As the snapshot's --grid: a grey line along the top and left of every block and along
// the picture's right and bottom edges.
function drawGrid(g, width, height, scale) {
    g.fillStyle = 'rgb(150,150,150)';
    for (let row = 0; row < height; row += scale)
        g.fillRect(0, row, width, 1);
    for (let column = 0; column < width; column += scale)
        g.fillRect(column, 0, 1, height);
    g.fillRect(0, height - 1, width, 1);
    g.fillRect(width - 1, 0, 1, height);
}

// Which frame pixel an event points at, in window coordinates; null outside.
export function eventPixel(canvas, event, frameWidth, frameHeight) {
    const rect = canvas.getBoundingClientRect();
    const cx = Math.floor((event.clientX - rect.left) * canvas.width / rect.width);
    const cy = Math.floor((event.clientY - rect.top) * canvas.height / rect.height);
    // A key below the frame (depth, overdraw) makes the picture taller; the texels
    // view is not the frame at all.
    if (canvas.width !== frameWidth || canvas.height < frameHeight)
        return null;
    if (cx < 0 || cy < 0 || cx >= frameWidth || cy >= frameHeight)
        return null;
    return [cx, frameHeight - 1 - cy];
}
