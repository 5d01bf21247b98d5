// Magnification: every picture at a whole multiple of its size, so that each of its pixels
// is a square block of screen pixels and no row or column is dropped or doubled; a frame
// larger than its pane may be shown at a whole division, one pixel of each block.

export const largestScale = 4;

// The largest whole multiple (1 to 4) at which a width x height picture fits the box.
// Where even 1x does not fit: with `divide`, 1/d for the smallest whole d at which it
// fits; else 1, and the box scrolls.
export function fitScale(boxWidth, boxHeight, width, height, divide = false) {
    const s = Math.floor(Math.min(boxWidth / width, boxHeight / height));
    if (s >= 1 || !divide || !(boxWidth >= 1 && boxHeight >= 1))
        return Math.max(1, Math.min(largestScale, s));
    return 1 / Math.ceil(Math.max(width / boxWidth, height / boxHeight));
}

// The scale a state asks for, with 'fit' resolved against the box.
export function resolvedScale(scale, box, width, height, divide = false) {
    return scale === 'fit' ? fitScale(box.width, box.height, width, height, divide) : scale;
}

// Shows a canvas of width x height pixels at `scale` screen pixels each.
export function showAtScale(canvas, width, height, scale) {
    canvas.style.width = `${width * scale}px`;
    canvas.style.height = `${height * scale}px`;
}
