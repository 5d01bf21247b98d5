// The selected pixel's neighbourhood, magnified: the shown picture's pixels with a grid,
// the selected pixel outlined and the spans' first and last columns marked (a bar: solid
// where that fragment is what the pixel shows, hollow where it was hidden).

export const radius = 7;          // 15 x 15 pixels
const cell = 16;

export function drawMagnifier(canvas, picture, pixel, spanEnds) {
    const side = (2 * radius + 1) * cell;
    canvas.width = canvas.height = side;
    const g = canvas.getContext('2d');
    g.fillStyle = '#ddd';
    g.fillRect(0, 0, side, side);
    const { width, height, rgb } = picture;
    const [px, py] = pixel;
    // Cell (i, j): column px - radius + i, window row py + radius - j (the top row first).
    for (let j = 0; j <= 2 * radius; ++j) {
        for (let i = 0; i <= 2 * radius; ++i) {
            const x = px - radius + i, y = py + radius - j;
            if (x < 0 || y < 0 || x >= width || y >= height) {
                g.fillStyle = '#eee';
                g.fillRect(i * cell, j * cell, cell, cell);
                g.strokeStyle = '#ccc';
                g.beginPath();
                g.moveTo(i * cell, (j + 1) * cell);
                g.lineTo((i + 1) * cell, j * cell);
                g.stroke();
                continue;
            }
            const o = ((height - 1 - y) * width + x) * 3;
            g.fillStyle = `rgb(${rgb[o]},${rgb[o + 1]},${rgb[o + 2]})`;
            g.fillRect(i * cell, j * cell, cell, cell);
        }
    }
    g.strokeStyle = 'rgba(0,0,0,0.25)';
    g.lineWidth = 1;
    g.beginPath();
    for (let k = 0; k <= 2 * radius + 1; ++k) {
        g.moveTo(k * cell + 0.5, 0);
        g.lineTo(k * cell + 0.5, side);
        g.moveTo(0, k * cell + 0.5);
        g.lineTo(side, k * cell + 0.5);
    }
    g.stroke();

    // The selected pixel outlined, under the bars, so that its own bar shows.
    g.lineWidth = 2;
    g.strokeStyle = '#000';
    g.strokeRect(radius * cell + 1, radius * cell + 1, cell - 2, cell - 2);
    g.strokeStyle = '#fff';
    g.lineWidth = 1;
    g.strokeRect(radius * cell + 3.5, radius * cell + 3.5, cell - 7, cell - 7);
    for (const [x, y, kind] of spanEnds) {
        const i = x - (px - radius), j = py + radius - y;
        if (i < 0 || j < 0 || i > 2 * radius || j > 2 * radius)
            continue;
        const bx = i * cell + 2;
        g.fillStyle = kind === 'visible' ? '#d00' : '#fff';
        g.strokeStyle = '#d00';
        g.fillRect(bx, j * cell + 2, 3, cell - 4);
        g.strokeRect(bx + 0.5, j * cell + 2.5, 2, cell - 5);
    }
}
