// Comparison with another rasterizer's picture of the same view: the module compares it
// with the colours of the frame it drew last and makes the error mask.
import { decodeImage, toRgb8 } from './image.js';

// { other } ready to compare, or { error } naming the file and what is wrong.
export async function readComparison(m, name, bytes) {
    const { image, error } = await decodeImage(m, name, bytes);
    if (error)
        return { error };
    return { other: { name, width: image.width, height: image.height, rgb: toRgb8(image) } };
}

// The module's result for the frame drawn last: parsed JSON, with "error" for another size.
export function compareNow(m, other) {
    return JSON.parse(m.compareImageNamed(other.rgb, other.width, other.height, other.name));
}
