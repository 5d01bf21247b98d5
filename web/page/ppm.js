// A PPM reader (P6 binary, P3 text) with the native tools' header rules: blanks and
// comments between numbers, at most nine digits each, one blank after maxval. Maxval
// 255, or 65535 with 16-bit big-endian samples.

export function isPpm(bytes) {
    return bytes.length >= 2 && bytes[0] === 0x50 && (bytes[1] === 0x36 || bytes[1] === 0x33);
}

const isSpace = c => c === 32 || (c >= 9 && c <= 13);
const isDigit = c => c >= 48 && c <= 57;

// Reads one header or P3 number at `at`; returns [value or -1, next position]. The one
// character after the number is taken too: a blank, or a comment through the end of its
// line, which stands for that blank (after maxval, the pixels start behind it).
function number(bytes, at) {
    let c = bytes[at];
    while (c === 35 || isSpace(c)) {
        if (c === 35)
            while (c !== 10 && at < bytes.length)
                c = bytes[++at];
        c = bytes[++at];
    }
    let value = 0, digits = 0;
    for (; at < bytes.length && isDigit(c = bytes[at]) && digits < 9; ++at, ++digits)
        value = value * 10 + (c - 48);
    if (digits === 0 || (at < bytes.length && !isSpace(c) && c !== 35))
        return [-1, at];
    if (c === 35)
        while (at < bytes.length && bytes[at] !== 10)
            ++at;
    return [value, at + 1];
}

export function decodePpm(bytes) {
    const binary = bytes[1] === 0x36;
    let at = 2, width, height, max;
    [width, at] = number(bytes, at);
    [height, at] = number(bytes, at);
    [max, at] = number(bytes, at);
    if (width < 1 || height < 1 || width > 16384 || height > 16384)
        return { error: 'has no PPM size of 1..16384 per side' };
    if (max < 0)
        return { error: 'has no PPM maxval (255 or 65535)' };
    if (max !== 255 && max !== 65535)
        return { error: `is a PPM with maxval ${max}; only 255 and 65535 are read` };
    const count = width * height * 3;
    const wide = max === 65535;
    const samples = wide ? new Uint16Array(count) : new Uint8Array(count);
    if (binary) {
        if (bytes.length - at < count * (wide ? 2 : 1))
            return { error: 'ends before its last pixel' };
        if (wide)
            for (let i = 0; i < count; ++i)
                samples[i] = (bytes[at + 2 * i] << 8) | bytes[at + 2 * i + 1];
        else
            samples.set(bytes.subarray(at, at + count));
    } else {
        for (let i = 0; i < count; ++i) {
            let value;
            [value, at] = number(bytes, at);
            if (value < 0 || value > max)
                return { error: at >= bytes.length ? 'ends before its last pixel'
                    : `has a sample that is not a number from 0 to ${max}` };
            samples[i] = value;
        }
    }
    return { width, height, channels: 3, max, samples };
}
