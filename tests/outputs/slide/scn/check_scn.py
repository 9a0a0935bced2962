#!/usr/bin/env python3
"""Describes an SCN file as tifffile (an independent TIFF reader) sees it and
decodes every placed tile with djpeg; a tile djpeg refuses ends the script
with status 1. The first directory's ImageDescription is written to the
second argument's path, byte for byte.

  file scn <0|1> bigtiff <0|1> byteorder <b> pages <n>
  page <i> size <w>x<h> tile <tw>x<th> compression <c> photometric <p> samples <s> subsampling <a>,<b> tables <0|1> subfile <n> tiles <n> placed <n>
  tile <i> <k> <w>x<h> <r> <g> <b>
  series <n> <name> levels <w>x<h>@<page> ...
"""
import os
import sys

import tifffile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from check_svs import decode  # noqa: E402


def main():
    path, xml_path = sys.argv[1], sys.argv[2]
    data = open(path, "rb").read()
    with tifffile.TiffFile(path) as tif:
        print("file scn %d bigtiff %d byteorder %s pages %d"
              % (int(tif.is_scn), int(tif.is_bigtiff), tif.byteorder, len(tif.pages)))
        # The stored bytes up to the terminating NUL (tifffile's value drops
        # trailing white space).
        first = tif.pages[0].tags.get("ImageDescription")
        raw = b""
        if first is not None and first.count > 0:
            raw = data[first.valueoffset:first.valueoffset + first.count]
            if not raw.endswith(b"\0"):
                raise SystemExit("ImageDescription without its NUL")
            raw = raw[:-1]
        with open(xml_path, "wb") as out:
            out.write(raw)
        for i, page in enumerate(tif.pages):
            tags = page.tags
            sub = tags["YCbCrSubSampling"].value if "YCbCrSubSampling" in tags else (0, 0)
            offsets, counts = page.dataoffsets, page.databytecounts
            print("page %d size %dx%d tile %dx%d compression %d photometric %d samples %d subsampling %d,%d "
                  "tables %d subfile %d tiles %d placed %d"
                  % (i, page.imagewidth, page.imagelength, page.tilewidth, page.tilelength, int(page.compression),
                     int(page.photometric), page.samplesperpixel, sub[0], sub[1], int("JPEGTables" in tags),
                     int(tags["NewSubfileType"].value), len(offsets), sum(1 for o in offsets if o)))
            for k, (o, c) in enumerate(zip(offsets, counts)):
                if not o:
                    continue
                if o % 2:
                    raise SystemExit("tile at odd offset")
                w, h, mean = decode(data[o:o + c])
                print("tile %d %d %dx%d %d %d %d" % (i, k, w, h, *mean))
        if tif.is_scn:
            for n, series in enumerate(tif.series):
                levels = " ".join("%dx%d@%d" % (lv.shape[-2], lv.shape[-3], lv.pages[0].index)
                                  for lv in series.levels)
                print("series %d %s levels %s" % (n, series.name, levels))


if __name__ == "__main__":
    main()
