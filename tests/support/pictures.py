"""Picture files for the Python tests, written and read by hand: PNG files in every form
libpng reads (bit depths, palettes, transparency, Adam7), so that the page's reader meets
them; a reader of the 8-bit RGB(A) PNGs that libpng and the page write; PPM both ways."""
import struct
import zlib


def png(width, height, rows, color_type=2, depth=8, palette=None, trns=None, interlace=False):
    """A PNG of `rows` (height lists of samples, channels interleaved), each row with the
    next row filter in turn."""
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color_type]

    def pack(samples):
        if depth == 16:
            return b"".join(struct.pack(">H", s) for s in samples)
        if depth == 8:
            return bytes(samples)
        bits = "".join(format(s, f"0{depth}b") for s in samples)
        bits += "0" * (-len(bits) % 8)
        return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))

    bpp = max(1, channels * depth // 8)
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    raw = b""
    for x0, y0, dx, dy in passes if interlace else [(0, 0, 1, 1)]:
        above = None
        for n, y in enumerate(range(y0, height, dy)):
            picked = [s for x in range(x0, width, dx) for s in rows[y][x * channels:(x + 1) * channels]]
            if not picked:
                continue
            row = pack(picked)
            kind = n % 5
            raw += bytes([kind]) + bytes((row[i] - _predict(kind, row[i - bpp] if i >= bpp else 0,
                                                            above[i] if above else 0,
                                                            above[i - bpp] if above and i >= bpp else 0)) % 256
                                         for i in range(len(row)))
            above = row
    out = b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0,
                                                               int(interlace)))
    if palette:
        out += _chunk(b"PLTE", bytes(palette))
    if trns:
        out += _chunk(b"tRNS", bytes(trns))
    return out + _chunk(b"IDAT", zlib.compress(raw)) + _chunk(b"IEND", b"")


def _predict(kind, a, b, c):
    p = a + b - c
    nearest = min((abs(p - a), 0, a), (abs(p - b), 1, b), (abs(p - c), 2, c))[2]
    return [0, a, b, (a + b) // 2, nearest][kind]


def _chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def read_png(data):
    """(width, height, RGB bytes) of an 8-bit RGB or RGBA PNG, not interlaced, every
    chunk's CRC checked."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    at, idat = 8, b""
    while at < len(data):
        n, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + n]
        assert struct.unpack(">I", data[at + 8 + n:at + 12 + n])[0] == zlib.crc32(kind + body), f"{kind} CRC"
        if kind == b"IHDR":
            width, height, depth, color_type, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and color_type in (2, 6) and not interlace, body
        idat += body if kind == b"IDAT" else b""
        at += 12 + n
    assert kind == b"IEND"
    bpp = 3 if color_type == 2 else 4
    stride, raw = width * bpp, zlib.decompress(idat)
    out, above = bytearray(), bytearray(stride)
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if kind == 2:
            row = bytearray((r + a) & 255 for r, a in zip(row, above))
        elif kind:
            for i in range(stride):
                row[i] = (row[i] + _predict(kind, row[i - bpp] if i >= bpp else 0, above[i],
                                            above[i - bpp] if i >= bpp else 0)) & 255
        out += row if bpp == 3 else bytes(v for i, v in enumerate(row) if i % 4 != 3)
        above = row
    return width, height, bytes(out)


def ppm(width, height, rgb, text=False, maxval=255):
    """A P6 (or, with text, P3) file of `rgb` samples."""
    if text:
        return f"P3\n# by hand\n{width} {height}\n{maxval}\n".encode() + " ".join(map(str, rgb)).encode() + b"\n"
    body = bytes(rgb) if maxval == 255 else b"".join(struct.pack(">H", v) for v in rgb)
    return f"P6\n{width} {height}\n{maxval}\n".encode() + body


def ppm_pixels(path):
    """The samples of a P6 file with maxval 255 as the tools write it."""
    with open(path, "rb") as f:
        data = f.read()
    w, h = (int(v) for v in data.split()[1:3])
    return data[len(data) - w * h * 3:]


def rgb_rows(rgb, width, height, convert=lambda s: [s]):
    """RGB bytes as png()'s rows, each sample through `convert`."""
    return [[v for s in rgb[(y * width) * 3:(y + 1) * width * 3] for v in convert(s)] for y in range(height)]


def enlarged(rgb, width, scale):
    """Each pixel a scale x scale block: what --scale makes of a picture without a grid."""
    rows = [b"".join(rgb[i:i + 3] * scale for i in range(y, y + width * 3, 3)) for y in range(0, len(rgb), width * 3)]
    return b"".join(r * scale for r in rows)
