#!/usr/bin/python3
"""An independent reader of PFF files, written from the format's description.

Checks the header, record block and image record byte for byte, rebuilds
every JPEG header chunk from the standard JPEG tables (quality scaling of the
IJG library, baseline limits) and compares it segment by segment, walks the
tile end table, joins every tile to its chunk and decodes it with djpeg.

Usage: check_pff.py FILE [--keys q:WxH,...] [--qualities q0,q1,...]
                         [--subsampling N] [--pattern] [--dump DIR]
Prints "tiles N chunks C levels L" and exits 0 when every check passes.
"""
import os
import struct
import subprocess
import sys
import tempfile

LUMA = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
        14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62,
        18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
        49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]
CHROMA = [17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
          24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99] + [99] * 32
DC_LUMA_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_CHROMA_BITS = [0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0]
AC_LUMA_BITS = [0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D]
AC_CHROMA_BITS = [0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77]
JFIF = bytes([0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00])
# An Adobe segment with transform 0: the components are R, G, B.
ADOBE = bytes([0xFF, 0xEE, 0x00, 0x0E]) + b"Adobe" + bytes([0x00, 0x64, 0, 0, 0, 0, 0])


def fail(msg):
    print("FAIL: " + msg)
    sys.exit(1)


def zigzag():
    order = []
    for s in range(15):
        cells = [(r, s - r) for r in range(8) if 0 <= s - r < 8]
        if s % 2 == 0:
            cells.reverse()
        order += [r * 8 + c for r, c in cells]
    return order


ZIGZAG = zigzag()


def scaled(table, q):
    scale = 5000 // q if q < 50 else 200 - 2 * q
    return [min(255, max(1, (v * scale + 50) // 100)) for v in table]


def dqt(table, q, slot):
    values = scaled(table, q)
    return bytes([0xFF, 0xDB, 0, 67, slot]) + bytes(values[z] for z in ZIGZAG)


def segments(data):
    """SOI, then (marker, whole segment bytes) up to and including FF DA."""
    if data[:2] != b"\xff\xd8":
        fail("chunk does not start with FF D8")
    out, i = [], 2
    while i < len(data):
        if data[i] != 0xFF:
            fail("no marker at %d" % i)
        m = data[i + 1]
        if m == 0xDA:
            if i + 2 != len(data):
                fail("chunk goes on after FF DA")
            return out
        n = struct.unpack(">H", data[i + 2:i + 4])[0]
        out.append((m, data[i:i + 2 + n]))
        i += 2 + n
    fail("chunk has no FF DA")


def quality_of(luma_segment):
    for q in range(1, 101):
        if luma_segment == dqt(LUMA, q, 0):
            return q
    fail("first DQT matches no quality of the standard tables")


def check_dht(seg, klass, slot, bits):
    n = sum(bits)
    if seg[:5] != bytes([0xFF, 0xC4, 0, 19 + n, klass * 16 + slot]) or list(seg[5:21]) != bits:
        fail("DHT %d/%d differs from the standard table" % (klass, slot))
    values = seg[21:]
    if len(values) != n or (klass == 0 and list(values) != list(range(12))) or len(set(values)) != n:
        fail("DHT %d/%d symbols" % (klass, slot))


def check_chunk(data, subsampling):
    """Rebuilds the chunk from its quality, size and colour space; returns (q, w, h)."""
    segs = segments(data)
    rgb = segs[0][1] == ADOBE
    if not rgb and segs[0][1] != JFIF:
        fail("chunk has neither the JFIF nor the Adobe segment")
    q = quality_of(segs[1][1])
    sof = [s for m, s in segs if m == 0xC0]
    if len(sof) != 1:
        fail("chunk has %d frame headers" % len(sof))
    h, w = struct.unpack(">HH", sof[0][5:9])
    first = {1: 0x11, 2: 0x21, 3: 0x12, 4: 0x22}.get(subsampling, 0x11 if rgb else 0x22)
    if rgb:
        comps = [(82, first, 0), (71, 0x11, 0), (66, 0x11, 0)]
        want = [(0xEE, ADOBE), (0xDB, dqt(LUMA, q, 0))]
    else:
        comps = [(1, first, 0), (2, 0x11, 1), (3, 0x11, 1)]
        want = [(0xE0, JFIF), (0xDB, dqt(LUMA, q, 0)), (0xDB, dqt(CHROMA, q, 1))]
    frame = bytes([0xFF, 0xC0, 0, 17, 8]) + struct.pack(">HH", h, w) + bytes([3])
    for c in comps:
        frame += bytes(c)
    want.append((0xC0, frame))
    if [s for _, s in segs[:len(want)]] != [s for _, s in want]:
        fail("chunk q%d %dx%d differs before its Huffman tables" % (q, w, h))
    dhts = segs[len(want):]
    tables = [(0, 0, DC_LUMA_BITS), (1, 0, AC_LUMA_BITS)]
    if not rgb:
        tables += [(0, 1, DC_CHROMA_BITS), (1, 1, AC_CHROMA_BITS)]
    if len(dhts) != len(tables) or any(m != 0xC4 for m, _ in dhts):
        fail("chunk q%d %dx%d has %d DHT segments" % (q, w, h, len(dhts)))
    for (_, seg), (klass, slot, bits) in zip(dhts, tables):
        check_dht(seg, klass, slot, bits)
    expected_length = 326 - 2 if rgb else 611
    if len(data) != expected_length:
        fail("chunk length %d, expected %d" % (len(data), expected_length))
    return q, w, h


def levels_of(w, h, t):
    out = []
    while w > t or h > t:
        ew = w % t or (w if w < t else t)
        eh = h % t or (h if h < t else t)
        out.append(((w + t - 1) // t, (h + t - 1) // t, ew, eh))
        w, h = w // 2, h // 2
    out.append((1, 1, w, h))
    return out


def pattern(i, px, py):
    return (40 + (i * 37) % 150 + px // 16, 60 + (i * 71) % 120 + py // 16, 100 + (px // 32 + py // 32) * 4)


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    if fields[0] != b"P6" or fields[3] != b"255":
        fail("djpeg wrote no 8-bit PPM")
    return int(fields[1]), int(fields[2]), data[pos + 1:]


def main():
    args = sys.argv[1:]
    path = args.pop(0)
    opts = {}
    while args:
        key = args.pop(0)
        opts[key] = True if key == "--pattern" else args.pop(0)
    subsampling = int(opts.get("--subsampling", "4"))
    with open(path, "rb") as f:
        data = f.read()

    header = data[:904]
    t, block, pairs, n = struct.unpack(">I", header[108:112])[0], *struct.unpack(">III", header[116:128])
    golden = bytearray(904)
    golden[8:12] = struct.pack(">I", 106)
    golden[108:112] = struct.pack(">I", t)
    golden[116:128] = struct.pack(">III", block, 1, n)
    if bytes(golden) != header:
        fail("header bytes other than version, tile size, block length, pair count and tile count are set")
    if data[904:1040] != bytes([0x00, 0x88, 0x00, 0x00]) + bytes(132):
        fail("record block")
    length, reserved, rn, width, height = struct.unpack(">5I", data[1040:1060])
    if (length, reserved, rn) != (20, 0, n):
        fail("image record %r" % ((length, reserved, rn),))

    count = struct.unpack(">I", data[1060:1064])[0]
    chunks, pos = [], 1064
    for _ in range(count):
        size = struct.unpack(">I", data[pos:pos + 4])[0]
        chunks.append(data[pos + 4:pos + 4 + size])
        pos += 4 + size
    if pos != 1060 + block:
        fail("chunk block length %d, chunks take %d" % (block, pos - 1060))
    keys = [check_chunk(c, subsampling) for c in chunks]
    if sorted(keys, key=lambda k: (k[0], k[2], k[1])) != keys or len(set(keys)) != len(keys):
        fail("chunks are not in quality, height, width order: %r" % keys)
    if "--keys" in opts:
        want = []
        for item in opts["--keys"].split(","):
            q, size = item.split(":")
            w, h = size.split("x")
            want.append((int(q), int(w), int(h)))
        if want != keys:
            fail("chunk keys %r, expected %r" % (keys, want))

    levels = levels_of(width, height, t)
    if sum(a * d for a, d, _, _ in levels) != n:
        fail("levels hold %d tiles, header says %d" % (sum(a * d for a, d, _, _ in levels), n))
    table = struct.unpack(">%dQ" % n, data[pos:pos + 8 * n])
    start = pos + 8 * n
    if table[-1] != len(data):
        fail("last tile ends at %d, file is %d bytes" % (table[-1], len(data)))
    qualities = [int(q) for q in opts["--qualities"].split(",")] if "--qualities" in opts else None
    dump = opts.get("--dump")
    djpeg = "/usr/bin/djpeg"
    index = 0
    with tempfile.TemporaryDirectory() as tmp:
        for k, (across, down, ew, eh) in enumerate(levels):
            for y in range(down):
                for x in range(across):
                    end = table[index]
                    if end < start + 4:
                        fail("tile %d: end %d before its start %d" % (index, end, start))
                    tile = data[start:end]
                    c = struct.unpack(">I", tile[-4:])[0]
                    if c >= count:
                        fail("tile %d names chunk %d of %d" % (index, c, count))
                    w = ew if x == across - 1 else t
                    h = eh if y == down - 1 else t
                    if keys[c][1:] != (w, h):
                        fail("tile %d is %dx%d, its chunk is %dx%d" % (index, w, h, keys[c][1], keys[c][2]))
                    if qualities is not None and keys[c][0] != qualities[k]:
                        fail("tile %d of level %d has quality %d" % (index, k, keys[c][0]))
                    jpg = os.path.join(tmp, "tile.jpg")
                    with open(jpg, "wb") as f:
                        f.write(chunks[c] + tile[:-4])
                    ppm = os.path.join(dump, "tile_%d.ppm" % index) if dump else os.path.join(tmp, "tile.ppm")
                    r = subprocess.run([djpeg, "-ppm", "-outfile", ppm, jpg], capture_output=True)
                    if r.returncode != 0 or r.stderr:
                        fail("djpeg on tile %d: %s" % (index, r.stderr.decode(errors="replace")))
                    dw, dh, pixels = read_ppm(ppm)
                    if (dw, dh) != (w, h):
                        fail("tile %d decodes to %dx%d, expected %dx%d" % (index, dw, dh, w, h))
                    if "--pattern" in opts:
                        error = [0, 0, 0]
                        for py in range(h):
                            for px in range(w):
                                want = pattern(index, px, py)
                                o = 3 * (py * w + px)
                                for ch in range(3):
                                    error[ch] += abs(pixels[o + ch] - want[ch])
                        worst = max(e / (w * h) for e in error)
                        if worst > 4:
                            fail("tile %d differs from its pattern by %.1f on average" % (index, worst))
                    start = end
                    index += 1
    print("tiles %d chunks %d levels %d" % (n, count, len(levels)))


main()
