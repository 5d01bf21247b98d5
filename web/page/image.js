// Image files the user gives the page: the module reads them as the tools do, but for
// a PNG, which the page decodes (png.js), and the two ways the module takes them.
import { decodePng } from './png.js';

// { image } or { error } with the file's name in front of what is wrong; `notImage` when
// the file has neither signature.
export async function decodeImage(m, name, bytes) {
    const picture = m.decodePicture(name, bytes);
    const result = picture.format === 'png' ? await decodePng(bytes) : picture;
    return result.error ? { error: `"${name}" ${result.error}`, notImage: !picture.format } : { image: result };
}

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
