#!/usr/bin/env python3
"""Independent check of a tile pyramid written by the converter.

    check_pyramid.py kestrix FOLDER SOURCE.ppm [TILESIZE] [--levels TOLERANCE]
    check_pyramid.py google FOLDER SOURCE.ppm TILESIZE

Reads the layout from the folder alone (ImageProperties.xml for a tile
folder), decodes every tile with djpeg, checks that each tile exists at the
size its level and position give, that no other tiles are present, and that
the full-resolution tiles show the source image. Google Earth tiles are
all of the full tile size, edge tiles padded. With --levels, every smaller
level must also match a reference pyramid made from the source by averaging
2 x 2 pixels per level: the mean difference per sample may not exceed the
tolerance. Prints OK (with the levels' differences) or the first problems
and exits non-zero on failure.
"""
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

import numpy as np


def read_pnm(data):
    # P6 / P5 with a single whitespace after maxval.
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            while data[pos:pos + 1] not in (b"\n", b""):
                pos += 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    magic, w, h = fields[0], int(fields[1]), int(fields[2])
    channels = 3 if magic == b"P6" else 1
    pixels = np.frombuffer(data[pos:pos + w * h * channels], dtype=np.uint8).reshape(h, w, channels)
    if channels == 1:
        pixels = np.repeat(pixels, 3, axis=2)
    return w, h, pixels


def decode(path):
    out = subprocess.run(["djpeg", "-pnm", path], capture_output=True)
    if out.returncode != 0:
        raise RuntimeError("djpeg failed on %s: %s" % (path, out.stderr.decode(errors="replace")))
    return read_pnm(out.stdout)


def level_sizes(width, height, tile):
    sizes = [(width, height)]
    while sizes[-1][0] > tile or sizes[-1][1] > tile:
        w, h = sizes[-1]
        sizes.append((w // 2, h // 2))
    return sizes[::-1]  # level 0 is the smallest


def halve(pixels):
    h, w = pixels.shape[0] // 2, pixels.shape[1] // 2
    p = pixels[:2 * h, :2 * w].astype(np.int32)
    return ((p[0::2, 0::2] + p[1::2, 0::2] + p[0::2, 1::2] + p[1::2, 1::2] + 2) // 4).astype(np.uint8)


def main():
    args = sys.argv[1:]
    tolerance = None
    if "--levels" in args:
        at = args.index("--levels")
        tolerance = float(args[at + 1])
        del args[at:at + 2]
    sys.argv[1:] = args
    mode, folder, source = sys.argv[1], sys.argv[2], sys.argv[3]
    with open(source, "rb") as f:
        src_w, src_h, src = read_pnm(f.read())
    problems = []
    if mode == "kestrix":
        root = ET.parse(os.path.join(folder, "ImageProperties.xml")).getroot()
        if root.tag != "IMAGE_PROPERTIES":
            problems.append("root element %s" % root.tag)
        width, height = int(root.get("WIDTH")), int(root.get("HEIGHT"))
        tile, count = int(root.get("TILESIZE")), int(root.get("NUMTILES"))
        if root.get("NUMIMAGES") != "1" or root.get("VERSION") != "1.8":
            problems.append("properties line: %s" % ET.tostring(root))
    else:
        width, height, tile, count = src_w, src_h, int(sys.argv[4]), None
        name = os.path.basename(os.path.normpath(folder))
        kml = os.path.join(os.path.dirname(os.path.normpath(folder)), name + ".kml")
        if not os.path.isfile(kml) or ("<name>%s</name>" % name) not in open(kml).read():
            problems.append("KML file %s missing or without the name" % kml)
    if (width, height) != (src_w, src_h):
        problems.append("image size %dx%d, source %dx%d" % (width, height, src_w, src_h))

    expected = set()
    index = 0
    levels = level_sizes(width, height, tile)
    shown = [np.zeros((h, w, 3), np.uint8) for (w, h) in levels]
    for level, (w, h) in enumerate(levels):
        cols, rows = (w + tile - 1) // tile, (h + tile - 1) // tile
        for y in range(rows):
            for x in range(cols):
                if mode == "kestrix":
                    rel = os.path.join("TileGroup%d" % (index // 256), "%d-%d-%d.jpg" % (level, x, y))
                else:
                    rel = os.path.join("%d" % level, "%d-%d.jpg" % (x, y))
                index += 1
                expected.add(rel)
                path = os.path.join(folder, rel)
                if not os.path.isfile(path):
                    problems.append("missing " + rel)
                    continue
                tw, th, pixels = decode(path)
                visible = (min(tile, w - x * tile), min(tile, h - y * tile))
                # Google Earth tiles are all square; edge tiles are padded.
                want = visible if mode == "kestrix" else (tile, tile)
                if (tw, th) != want:
                    problems.append("%s is %dx%d, expected %dx%d" % (rel, tw, th, want[0], want[1]))
                    continue
                vw, vh = visible
                shown[level][y * tile:y * tile + vh, x * tile:x * tile + vw] = pixels[:vh, :vw]
                if level == len(levels) - 1:
                    vw, vh = visible
                    region = src[y * tile:y * tile + vh, x * tile:x * tile + vw].astype(np.int32)
                    diff = np.abs(pixels[:vh, :vw].astype(np.int32) - region).mean()
                    if diff > 10.0:
                        problems.append("%s differs from the source by %.1f on average" % (rel, diff))
    differences = []
    if tolerance is not None and (width, height) == (src_w, src_h):
        reference = src
        for level in range(len(levels) - 1, -1, -1):
            if level < len(levels) - 1:
                reference = halve(reference)
            diff = np.abs(shown[level].astype(np.int32) - reference.astype(np.int32)).mean()
            differences.append("%d:%.2f" % (level, diff))
            if diff > tolerance:
                problems.append("level %d differs from the reference pyramid by %.2f on average" % (level, diff))
    if count is not None and count != index:
        problems.append("NUMTILES %d, the levels hold %d" % (count, index))
    found = set()
    for dirpath, _, files in os.walk(folder):
        for f in files:
            if f.endswith(".jpg"):
                found.add(os.path.relpath(os.path.join(dirpath, f), folder))
    for extra in sorted(found - expected):
        problems.append("unexpected tile " + extra)
    if problems:
        print("\n".join(problems[:20]))
        return 1
    print("OK %d tiles in %d levels" % (index, len(levels)) + (" " + " ".join(differences) if differences else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
