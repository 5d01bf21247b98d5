// A PNG reader, as the native tools read PNGs through libpng with expansion: palette to
// RGB, grey below 8 bits scaled to 8, transparency chunks to alpha, grey to RGB. The result
// has 3 or 4 channels of samples from 0 to `max` (255 or 65535), top row first.
// It stays in the page, where everything else about a file is the module's: the module
// carries no zlib, and the browser inflates natively (DecompressionStream); the tests hold
// its pictures against libpng's, form by form.

const signature = [137, 80, 78, 71, 13, 10, 26, 10];
import { limits } from './limits.js';
const maxPixels = 32 * 1024 * 1024;

export function isPng(bytes) {
    return bytes.length >= 8 && signature.every((b, i) => bytes[i] === b);
}

const crcTable = (() => {
    const table = new Uint32Array(256);
    for (let n = 0; n < 256; ++n) {
        let c = n;
        for (let k = 0; k < 8; ++k)
            c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
        table[n] = c >>> 0;
    }
    return table;
})();

function crc(bytes, start, end) {
    let c = 0xffffffff;
    for (let i = start; i < end; ++i)
        c = crcTable[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
}

class PngError extends Error {}

function readChunks(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const chunks = [];
    let at = 8;
    for (;;) {
        if (at + 12 > bytes.length)
            throw new PngError('the file ends too early');
        const length = view.getUint32(at);
        const type = String.fromCharCode(...bytes.subarray(at + 4, at + 8));
        if (length > 0x7fffffff || at + 12 + length > bytes.length)
            throw new PngError('the file ends too early');
        if (crc(bytes, at + 4, at + 8 + length) !== view.getUint32(at + 8 + length))
            throw new PngError(`CRC error in chunk ${type}`);
        chunks.push({ type, data: bytes.subarray(at + 8, at + 8 + length) });
        at += 12 + length;
        if (type === 'IEND')
            return chunks;
    }
}

const channelsOf = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 };
const depthsOf = { 0: [1, 2, 4, 8, 16], 2: [8, 16], 3: [1, 2, 4, 8], 4: [8, 16], 6: [8, 16] };

async function inflate(data) {
    const stream = new Blob([data]).stream().pipeThrough(new DecompressionStream('deflate'));
    try {
        return new Uint8Array(await new Response(stream).arrayBuffer());
    } catch {
        throw new PngError('the compressed image data is damaged');
    }
}

function paeth(a, b, c) {
    const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Undoes the row filters of one (sub-)image in place; returns the offset after it.
function unfilter(raw, at, rowBytes, rows, bpp) {
    let previous = null;
    for (let r = 0; r < rows; ++r) {
        const filter = raw[at];
        const row = raw.subarray(at + 1, at + 1 + rowBytes);
        if (filter > 4)
            throw new PngError(`unknown row filter ${filter}`);
        for (let i = 0; i < rowBytes; ++i) {
            const a = i >= bpp ? row[i - bpp] : 0;
            const b = previous ? previous[i] : 0;
            const c = previous && i >= bpp ? previous[i - bpp] : 0;
            const add = filter === 1 ? a : filter === 2 ? b : filter === 3 ? (a + b) >> 1
                : filter === 4 ? paeth(a, b, c) : 0;
            row[i] = (row[i] + add) & 0xff;
        }
        previous = row;
        at += 1 + rowBytes;
    }
    return at;
}

function sampleAt(row, index, depth) {
    if (depth === 8) return row[index];
    if (depth === 16) return (row[2 * index] << 8) | row[2 * index + 1];
    const bit = index * depth;
    return (row[bit >> 3] >> (8 - depth - (bit & 7))) & ((1 << depth) - 1);
}

const passes = [ // x0, y0, dx, dy
    [0, 0, 8, 8], [4, 0, 8, 8], [0, 4, 4, 8], [2, 0, 4, 4], [0, 2, 2, 4], [1, 0, 2, 2], [0, 1, 1, 2]];

export async function decodePng(bytes) {
    try {
        return await decode(bytes);
    } catch (e) {
        if (e instanceof PngError)
            return { error: `is not a valid PNG: ${e.message}` };
        throw e;
    }
}

async function decode(bytes) {
    const chunks = readChunks(bytes);
    const header = chunks[0];
    if (!header || header.type !== 'IHDR' || header.data.length !== 13)
        throw new PngError('the first chunk is not IHDR');
    const h = new DataView(header.data.buffer, header.data.byteOffset, 13);
    const width = h.getUint32(0), height = h.getUint32(4);
    const depth = header.data[8], colorType = header.data[9], interlace = header.data[12];
    const side = limits.largestSide;
    if (width < 1 || height < 1 || width > side || height > side)
        throw new PngError(`the size ${width}x${height} is outside 1..${side} per side`);
    if (width * height > maxPixels)
        throw new PngError('the image is too large');
    if (!(colorType in channelsOf) || !depthsOf[colorType].includes(depth))
        throw new PngError(`colour type ${colorType} with bit depth ${depth} does not exist`);
    if (header.data[10] !== 0 || header.data[11] !== 0 || interlace > 1)
        throw new PngError('unknown compression, filter or interlace method');

    const palette = chunks.find(c => c.type === 'PLTE')?.data;
    const trns = chunks.find(c => c.type === 'tRNS')?.data;
    if (colorType === 3 && !palette)
        throw new PngError('a palette image without a palette');
    const parts = chunks.filter(c => c.type === 'IDAT').map(c => c.data);
    if (!parts.length)
        throw new PngError('no image data');
    const raw = await inflate(new Blob(parts));

    const channels = channelsOf[colorType];
    const bpp = Math.max(1, (channels * depth) >> 3);
    const wide = depth === 16;
    const max = wide ? 65535 : 255;
    const hasAlpha = colorType === 4 || colorType === 6 || !!trns;
    const outChannels = hasAlpha ? 4 : 3;
    const out = wide ? new Uint16Array(width * height * outChannels) : new Uint8Array(width * height * outChannels);
    const lowScale = depth < 8 && colorType === 0 ? 255 / ((1 << depth) - 1) : 1;
    const key = trns && (colorType === 0 || colorType === 2)
        ? Array.from({ length: channels }, (_, i) => (trns[2 * i] << 8) | trns[2 * i + 1]) : null;

    const put = (row, x, to) => {
        const s = [];
        for (let c = 0; c < channels; ++c)
            s.push(sampleAt(row, x * channels + c, depth));
        let r, g, b, a = max;
        if (colorType === 3) {
            const i = s[0];
            if (3 * i + 2 >= palette.length)
                throw new PngError(`palette index ${i} beyond the palette`);
            r = palette[3 * i]; g = palette[3 * i + 1]; b = palette[3 * i + 2];
            if (trns) a = i < trns.length ? trns[i] : 255;
        } else if (channels <= 2) {
            r = g = b = s[0] * lowScale;
            if (channels === 2) a = s[1];
            else if (key) a = s[0] === key[0] ? 0 : max;
        } else {
            [r, g, b] = s;
            if (channels === 4) a = s[3];
            else if (key) a = s[0] === key[0] && s[1] === key[1] && s[2] === key[2] ? 0 : max;
        }
        const o = to * outChannels;
        out[o] = r; out[o + 1] = g; out[o + 2] = b;
        if (outChannels === 4) out[o + 3] = a;
    };

    let at = 0;
    const layout = interlace ? passes : [[0, 0, 1, 1]];
    for (const [x0, y0, dx, dy] of layout) {
        const w = Math.ceil((width - x0) / dx), rows = Math.ceil((height - y0) / dy);
        if (w <= 0 || rows <= 0)
            continue;
        const rowBytes = Math.ceil((w * channels * depth) / 8);
        if (at + rows * (rowBytes + 1) > raw.length)
            throw new PngError('the image data ends too early');
        unfilter(raw, at, rowBytes, rows, bpp);
        for (let r = 0; r < rows; ++r) {
            const row = raw.subarray(at + 1, at + 1 + rowBytes);
            for (let x = 0; x < w; ++x)
                put(row, x, (y0 + r * dy) * width + x0 + x * dx);
            at += 1 + rowBytes;
        }
    }
    return { width, height, channels: outChannels, max, samples: out };
}
