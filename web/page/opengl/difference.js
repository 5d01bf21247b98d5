// The difference picture of `sphaerix-snapshot --compare`: per channel |software - OpenGL|,
// lifted to 32 + 8 d (at most 255) where it is not zero so that one level shows against
// black, and the line the snapshot prints with it.

export function differencePicture(software, opengl) {
    const n = software.width * software.height;
    const rgb = new Uint8Array(n * 3);
    const sums = [0, 0, 0];
    let differing = 0;
    for (let p = 0, i = 0; p < n; ++p) {
        let differs = false;
        for (let c = 0; c < 3; ++c, ++i) {
            const d = Math.abs(software.rgb[i] - opengl.rgb[i]);
            sums[c] += d;
            differs ||= d !== 0;
            rgb[i] = d === 0 ? 0 : Math.min(255, 32 + 8 * d);
        }
        differing += differs;
    }
    const mean = sums.map(s => (n ? s / n : 0));
    return { width: software.width, height: software.height, rgb, differing, pixels: n, mean,
             line: describe(differing, n, mean) };
}

function describe(differing, pixels, mean) {
    const share = pixels ? 100 * differing / pixels : 0;
    return `differing pixels: ${differing} of ${pixels} (${fixed(share, 2)}%), mean absolute difference: ` +
        `r ${fixed(mean[0], 3)}, g ${fixed(mean[1], 3)}, b ${fixed(mean[2], 3)}`;
}

// As printf's %.Nf: an exact half goes to the even digit, where toFixed would go up.
export function fixed(value, digits) {
    const scaled = value * 10 ** digits;
    if (Math.abs(scaled % 1) === 0.5 && scaled / 10 ** digits === value) {
        const down = Math.floor(scaled);
        return ((down % 2 === 0 ? down : down + 1) / 10 ** digits).toFixed(digits);
    }
    return value.toFixed(digits);
}
