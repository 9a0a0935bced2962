#!/usr/bin/env python3
"""Checks a two-level tiled file written by the slide writers' directory model
in classic form and its BigTIFF twin with tifffile, an independent reader:
headers, directory layout, tag values and types, and pixels."""
import struct
import sys

import numpy
import tifffile

TILE = 16
SIZES = [(40, 20), (20, 10)]


def expected(level, w, h):
    y, x = numpy.mgrid[0:h, 0:w]
    planes = [(x * 5 + y * 11 + c * 70 + level * 3) % 256 for c in range(3)]
    return numpy.stack(planes, axis=-1).astype(numpy.uint8)


def check(path, big):
    data = open(path, "rb").read()
    head = data[:16]
    if big:
        assert head == b"II+\x00" + struct.pack("<HHQ", 8, 0, 16), head
    else:
        assert head == b"II*\x00" + struct.pack("<I", 16) + bytes(8), head
    # Every directory is reserved at its BigTIFF size: 20n + 16 bytes, the
    # classic form (12n + 6 meaningful bytes) padded with zeros.
    offset = 16
    for level in range(2):
        if big:
            n = struct.unpack_from("<Q", data, offset)[0]
            nxt = struct.unpack_from("<Q", data, offset + 8 + 20 * n)[0]
        else:
            n = struct.unpack_from("<H", data, offset)[0]
            nxt = struct.unpack_from("<I", data, offset + 2 + 12 * n)[0]
            pad = data[offset + 12 * n + 6: offset + 20 * n + 16]
            assert pad == bytes(8 * n + 10), "classic directory padding"
        assert n == 12, n
        if level == 0:
            assert nxt != 0
            offset = nxt
        else:
            assert nxt == 0
    with tifffile.TiffFile(path) as tif:
        assert tif.is_bigtiff == big
        assert len(tif.pages) == 2, len(tif.pages)
        for level, page in enumerate(tif.pages):
            w, h = SIZES[level]
            assert page.imagewidth == w and page.imagelength == h
            assert page.tilewidth == TILE and page.tilelength == TILE
            offsets = page.tags["TileOffsets"]
            # LONG8 is written as LONG in classic form and kept in BigTIFF.
            assert offsets.dtype == (16 if big else 4), offsets.dtype
            assert page.tags["ImageDescription"].value == ("twin BigTIFF" if big else "twin classic")
            pixels = page.asarray()
            want = expected(level, w, h)
            assert pixels.shape == want.shape, pixels.shape
            assert (pixels == want).all(), "pixels differ at level %d" % level


def main():
    check(sys.argv[1], False)
    check(sys.argv[2], True)
    print("OK")


if __name__ == "__main__":
    main()
