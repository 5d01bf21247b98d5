// Numbers as `sphaerix-snapshot` prints them. The JSON holds each float as the double of
// its shortest decimal; this prints that decimal again, in the shorter of plain and
// exponent notation (plain on a tie), as the native text does.

export function exactText(value) {
    if (value === null || value === undefined)
        return 'nan/inf';
    if (!Number.isFinite(value))
        return Number.isNaN(value) ? 'nan' : value > 0 ? 'inf' : '-inf';
    const plain = String(value).includes('e') ? expandPlain(value) : String(value);
    const [mantissa, exponent] = value.toExponential().split('e');
    const e = Number(exponent);
    const scientific = `${mantissa}e${e < 0 ? '-' : '+'}${String(Math.abs(e)).padStart(2, '0')}`;
    return scientific.length < plain.length ? scientific : plain;
}

// A plain decimal for numbers JavaScript would print with an exponent.
function expandPlain(value) {
    const [mantissa, exponent] = value.toExponential().split('e');
    const e = Number(exponent);
    const negative = mantissa.startsWith('-');
    const digits = mantissa.replace('-', '').replace('.', '');
    let text;
    if (e < 0)
        text = '0.' + '0'.repeat(-e - 1) + digits;
    else
        text = digits.length > e + 1 ? digits.slice(0, e + 1) + '.' + digits.slice(e + 1)
            : digits + '0'.repeat(e + 1 - digits.length);
    return (negative ? '-' : '') + text;
}

export const vectorText = values => `(${values.map(exactText).join(', ')})`;
