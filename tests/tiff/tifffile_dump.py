#!/usr/bin/python3
"""Reads a TIFF file with tifffile, the independent reader of the write tests.

Usage: tifffile_dump.py TIFF [RAWOUT]
Prints one line per fact:
  form bigtiff|classic
  byteorder < or >
  page INDEX WIDTH HEIGHT SAMPLES
  tag PAGE CODE TYPE COUNT VALUE      (VALUE: integers and tuples as Python
                                       prints them, bytes as hex)
  subifd PAGE OFFSET...
Pages of sub-IFDs follow their parent as "page INDEX.K ...". With RAWOUT, the
decoded pixels of every page, sub-pages included and in the order printed,
are written there as little-endian bytes.
"""
import enum
import sys

import numpy
import tifffile


def value_text(v):
    if isinstance(v, bytes):
        return v.hex()
    if isinstance(v, enum.Enum):
        return str(int(v.value))
    if isinstance(v, numpy.ndarray):
        v = v.tolist()
    if isinstance(v, (tuple, list)):
        return "(" + ",".join(value_text(x) for x in v) + ")"
    if isinstance(v, float):
        return repr(v)
    return str(v)


def dump_page(page, name, out):
    samples = page.samplesperpixel
    print("page", name, page.imagewidth, page.imagelength, samples)
    for tag in page.tags.values():
        print("tag", name, tag.code, int(tag.dtype), tag.count, value_text(tag.value))
    if page.subifds:
        print("subifd", name, " ".join(str(o) for o in page.subifds))
    if out is not None:
        a = numpy.ascontiguousarray(page.asarray())
        out.extend(a.astype(a.dtype.newbyteorder("<")).tobytes())


def main():
    path = sys.argv[1]
    out = bytearray() if len(sys.argv) > 2 else None
    with tifffile.TiffFile(path) as tif:
        print("form", "bigtiff" if tif.is_bigtiff else "classic")
        print("byteorder", tif.byteorder)
        for i, page in enumerate(tif.pages):
            dump_page(page, str(i), out)
            for k, sub in enumerate(page.pages or []):
                dump_page(sub, "%d.%d" % (i, k), out)
    if out is not None:
        with open(sys.argv[2], "wb") as f:
            f.write(out)


if __name__ == "__main__":
    main()
