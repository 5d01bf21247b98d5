// Image files the user gives the page, decoded in the page (the module has no PNG
// reader), and the two ways the module takes them.
import { decodePng, isPng } from './png.js';
import { decodePpm, isPpm } from './ppm.js';

// { image } or { error } with the file's name in front of what is wrong.
export async function decodeImage(name, bytes) {
    let result;
    if (isPng(bytes))
        result = await decodePng(bytes);
    else if (isPpm(bytes))
        result = decodePpm(bytes);
    else
        result = { error: notAnImage(name, bytes) };
    return result.error ? { error: `"${name}" ${result.error}` } : { image: result };
}

// Neither signature: the format the file's name claims, in the native tools' words.
function notAnImage(name, bytes) {
    const lower = name.toLowerCase();
    const what = lower.endsWith('.ppm') ? 'is not a PPM file (it does not start with P6 or P3)'
        : lower.endsWith('.png') ? 'is not a PNG file (no PNG signature)'
        : 'is neither a PNG nor a PPM file';
    return bytes.length ? what : `is empty; ${what.slice(3)}`;
}

export const isImageFile = bytes => isPng(bytes) || isPpm(bytes);

// For comparison: 8-bit colour channels as stored, alpha ignored; 16-bit samples
// rounded to the nearest of 255 levels.
export function toRgb8(image) {
    const { width, height, channels, max, samples } = image;
    const n = width * height;
    const rgb = new Uint8Array(n * 3);
    for (let i = 0, j = 0; i < n; ++i, j += channels)
        for (let c = 0; c < 3; ++c)
            rgb[3 * i + c] = max === 255 ? samples[j + c] : Math.round(samples[j + c] / 65535.0 * 255.0);
    return rgb;
}

// For the texture: each sample as a fraction of maxval, composited over black where
// there is alpha, in double precision and in this order, as the native importer does.
export function toSamples(image) {
    const { width, height, channels, max, samples } = image;
    const n = width * height;
    const out = new Float64Array(n * 3);
    for (let i = 0, j = 0; i < n; ++i, j += channels) {
        const alpha = channels === 4 ? samples[j + 3] / max : 1;
        for (let c = 0; c < 3; ++c)
            out[3 * i + c] = samples[j + c] / max * alpha;
    }
    return out;
}
