// Magnification: every picture at a whole multiple of its size, so that each of its pixels
// is a square block of screen pixels and no row or column is dropped or doubled.

export const largestScale = 4;

// The largest whole multiple (1 to 4) at which a width x height picture fits the box;
// 1 when even that does not fit (the box scrolls then).
export function fitScale(boxWidth, boxHeight, width, height) {
    const s = Math.floor(Math.min(boxWidth / width, boxHeight / height));
    return Math.max(1, Math.min(largestScale, s));
}

// The scale a state asks for, with 'fit' resolved against the box.
export function resolvedScale(scale, box, width, height) {
    return scale === 'fit' ? fitScale(box.width, box.height, width, height) : scale;
}

// Shows a canvas of width x height pixels at `scale` screen pixels each.
export function showAtScale(canvas, width, height, scale) {
    canvas.style.width = `${width * scale}px`;
    canvas.style.height = `${height * scale}px`;
}
