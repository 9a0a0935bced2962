#!/usr/bin/env python3
"""Describes a slide file written by the SVS saver, read with tifffile (an
independent TIFF reader) and djpeg: one line per directory, one per tile or
strip with its decoded size and mean colour. Every tile or strip that has a
place in the file must decode with djpeg, spliced with the directory's
JPEGTables when it has them; a failure ends the script with status 1.

  page <i> size <w>x<h> subfile <n> compression <c> photometric <p> tiled <t> parts <n> placed <n> desc <text>
  part <i> <k> <w>x<h> <r> <g> <b>
  bigtiff <0|1>
"""
import os
import subprocess
import sys
import tempfile

import tifffile


def decode(stream):
    out = subprocess.run(["djpeg", "-ppm"], input=stream, capture_output=True)
    if out.returncode != 0 or not out.stdout.startswith(b"P6"):
        raise SystemExit("djpeg failed: " + out.stderr.decode(errors="replace"))
    header = out.stdout.split(b"\n", 3)
    w, h = (int(v) for v in header[1].split())
    pixels = header[3]
    n = w * h
    means = [round(sum(pixels[c::3]) / n) for c in range(3)]
    return w, h, means


def decode_j2k(stream):
    count = int.from_bytes(stream[40:42], "big") if stream[:4] == b"\xff\x4f\xff\x51" else 0
    if count == 0:
        raise SystemExit("not a JPEG 2000 code-stream")
    sizes, means = [], []
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "tile.j2k")
        with open(src, "wb") as f:
            f.write(stream)
        for k in range(count):
            dst = os.path.join(tmp, "c%d.pgm" % k)
            out = subprocess.run(["opj_decompress", "-i", src, "-o", dst, "-c", str(k)], capture_output=True)
            if out.returncode != 0 or not os.path.exists(dst):
                raise SystemExit("opj_decompress failed: " + out.stdout.decode(errors="replace"))
            pgm = open(dst, "rb").read()
            # P5, then width, height and maxval, with comment lines between.
            lines = pgm.split(b"\n")
            fields, at = [], 1
            while len(fields) < 3:
                if not lines[at].startswith(b"#"):
                    fields += [int(v) for v in lines[at].split()]
                at += 1
            w, h = fields[0], fields[1]
            sizes.append((w, h))
            pixels = b"\n".join(lines[at:])[:w * h]
            means.append(round(sum(pixels) / (w * h)))
    while len(means) < 3:
        means.append(means[0])
    return sizes[0][0], sizes[0][1], means[:3]


def main():
    path = sys.argv[1]
    data = open(path, "rb").read()
    with tifffile.TiffFile(path) as tif:
        for i, page in enumerate(tif.pages):
            tags = page.tags
            tables = tags["JPEGTables"].value if "JPEGTables" in tags else None
            offsets, counts = page.dataoffsets, page.databytecounts
            placed = sum(1 for o in offsets if o)
            desc = tags["ImageDescription"].value if "ImageDescription" in tags else ""
            photometric = tags["PhotometricInterpretation"].value if "PhotometricInterpretation" in tags else -1
            subfile = tags["NewSubfileType"].value if "NewSubfileType" in tags else 0
            print("page %d size %dx%d subfile %d compression %d photometric %d tiled %d parts %d placed %d desc %s"
                  % (i, page.imagewidth, page.imagelength, int(subfile), int(page.compression), int(photometric),
                     int(page.is_tiled), len(offsets), placed, desc))
            for k, (o, c) in enumerate(zip(offsets, counts)):
                if not o:
                    continue
                if o % 2 and page.is_tiled:
                    raise SystemExit("tile at odd offset")
                stream = data[o:o + c]
                if tables is not None:
                    stream = tables[:-2] + stream[2:]
                w, h, mean = decode_j2k(stream) if int(page.compression) == 33003 else decode(stream)
                print("part %d %d %dx%d %d %d %d" % (i, k, w, h, *mean))
        print("bigtiff %d" % int(tif.is_bigtiff))


if __name__ == "__main__":
    main()
