#!/usr/bin/python3
"""Cross-checks the project's TIFF library against tifffile.

Writes a corpus of TIFF and BigTIFF files with tifffile (both byte orders,
strips and tiles, contiguous and separate planes, None and Deflate with and
without the horizontal predictor, several pages), plus PackBits files made by
the probe, then compares what the library reports (tags, strip and tile
offsets and byte counts) and decodes (strips, rows, tiles) with tifffile.

Usage: tiff_crosscheck.py PROBE WORKDIR
Prints one line per difference and "N passed, M failed" at the end; the exit
status is non-zero when anything differs.
"""
import json
import os
import shutil
import subprocess
import sys

import numpy
import tifffile

SCALAR_TAGS = {254, 256, 257, 259, 262, 266, 274, 277, 278, 284, 296, 317, 322, 323}
PER_SAMPLE_TAGS = {258, 339}
OFFSET_TAGS = {273, 279, 324, 325}
TEXT_TAGS = {269, 270, 271, 272, 305, 306, 315, 316}


def make_corpus(folder):
    files = []
    kinds = {
        "gray8": (numpy.uint8, None),
        "rgb8": (numpy.uint8, 3),
        "gray16": (numpy.uint16, None),
        "rgb16": (numpy.uint16, 3),
        "float32": (numpy.float32, None),
    }
    rng = numpy.random.default_rng(7)
    n = 0
    # Every kind, layout and compression once; the file form and byte order
    # cycle through all four combinations across them.
    for kind, (dtype, samples) in kinds.items():
        layouts = ["strips", "tiles"] + (["planar-strips", "planar-tiles"] if samples else [])
        for layout in layouts:
            for compression, predictor in ((None, False), ("zlib", False), ("zlib", True)):
                if predictor and dtype == numpy.float32:
                    continue
                n += 1
                bigtiff = n % 2 == 1
                byteorder = ">" if (n // 2) % 2 else "<"
                path = os.path.join(folder, "c%03d_%s_%s_%s_%s.tif" % (
                    n, "big" if bigtiff else "classic", "be" if byteorder == ">" else "le", kind, layout))
                pages = []
                for page in range(2):
                    shape = (37 + 11 * page, 45 + 6 * page) + ((samples,) if samples else ())
                    if dtype == numpy.float32:
                        data = rng.standard_normal(shape).astype(dtype)
                    else:
                        top = numpy.iinfo(dtype).max
                        data = (rng.integers(0, top, size=shape, dtype=numpy.uint64) // 37 * 37).astype(dtype)
                        data[:5] = data[0, 0]  # runs as well as noise
                    pages.append(data)
                with tifffile.TiffWriter(path, bigtiff=bigtiff, byteorder=byteorder) as writer:
                    for i, data in enumerate(pages):
                        kwargs = dict(photometric="rgb" if samples else "minisblack",
                                      compression=compression,
                                      predictor=predictor or None,
                                      description="page %d of %s" % (i, kind),
                                      software="crosscheck",
                                      resolution=(300, 150 + i),
                                      metadata=None)
                        if layout.startswith("planar"):
                            kwargs["planarconfig"] = "separate"
                            data = numpy.moveaxis(data, -1, 0).copy()
                            pages[i] = data
                        if layout.endswith("tiles"):
                            kwargs["tile"] = (16, 32)
                        else:
                            kwargs["rowsperstrip"] = 8 + i
                        writer.write(data, **kwargs)
                modes = ["tiles"] if layout.endswith("tiles") else ["strips", "rows"]
                files.append((path, modes))
    return files


def compare_tags(path, dump, failures):
    with tifffile.TiffFile(path) as tif:
        if bool(dump["bigtiff"]) != bool(tif.is_bigtiff):
            failures.append("%s: BigTIFF flag differs" % path)
        if len(dump["dirs"]) != len(tif.pages):
            failures.append("%s: %d directories, tifffile %d" % (path, len(dump["dirs"]), len(tif.pages)))
            return
        for index, (mine, page) in enumerate(zip(dump["dirs"], tif.pages)):
            where = "%s dir %d" % (os.path.basename(path), index)
            if mine["offset"] != page.offset:
                failures.append("%s: directory offset %d, tifffile %d" % (where, mine["offset"], page.offset))
            for tag in page.tags.values():
                code, value = tag.code, tag.value
                key = str(code)
                if code in OFFSET_TAGS:
                    expected = list(value)
                elif code in SCALAR_TAGS:
                    expected = [int(value)]
                elif code in PER_SAMPLE_TAGS:
                    expected = [int(value[0] if isinstance(value, tuple) else value)]
                elif code in (282, 283):
                    expected = [value[0] / value[1]]
                elif code in TEXT_TAGS:
                    expected = value
                else:
                    if key not in mine:
                        failures.append("%s: tag %d missing" % (where, code))
                    elif isinstance(mine[key], dict) and mine[key]["count"] != tag.count:
                        failures.append("%s: tag %d count %d, tifffile %d" % (where, code, mine[key]["count"],
                                                                               tag.count))
                    continue
                got = mine.get(key)
                if got is None:
                    failures.append("%s: tag %d missing" % (where, code))
                elif code in (282, 283):
                    if abs(got[0] - expected[0]) > 1e-4 * abs(expected[0]):
                        failures.append("%s: tag %d = %r, tifffile %r" % (where, code, got, expected))
                elif got != expected:
                    failures.append("%s: tag %d = %r, tifffile %r" % (where, code, str(got)[:200],
                                                                       str(expected)[:200]))


def compare_pixels(probe, path, modes, work, failures):
    with tifffile.TiffFile(path) as tif:
        for index, page in enumerate(tif.pages):
            expected = page.asarray()
            expected = expected.astype(expected.dtype.newbyteorder("="), copy=False)
            expected = numpy.ascontiguousarray(expected).tobytes()
            for mode in modes:
                out = os.path.join(work, "pixels.raw")
                result = subprocess.run([probe, "pixels", path, str(index), mode, out])
                where = "%s dir %d %s" % (os.path.basename(path), index, mode)
                if result.returncode != 0:
                    failures.append("%s: probe failed (%d)" % (where, result.returncode))
                    continue
                with open(out, "rb") as f:
                    got = f.read()
                if got != expected:
                    failures.append("%s: pixels differ (%d bytes, tifffile %d)" % (where, len(got), len(expected)))


def main():
    probe, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    files = make_corpus(work)
    if subprocess.run([probe, "make-packbits", work]).returncode != 0:
        print("probe could not write the PackBits fixtures")
        return 1
    for name in sorted(os.listdir(work)):
        if name.startswith("packbits_"):
            files.append((os.path.join(work, name), ["tiles"] if name == "packbits_2.tif" else ["strips", "rows"]))
    passed = failed = 0
    for path, modes in files:
        failures = []
        result = subprocess.run([probe, "dump", path], capture_output=True, text=True)
        if result.returncode != 0:
            failures.append("%s: probe dump failed (%d)" % (path, result.returncode))
        else:
            compare_tags(path, json.loads(result.stdout), failures)
        compare_pixels(probe, path, modes, work, failures)
        for line in failures:
            print(line)
        if failures:
            failed += 1
        else:
            passed += 1
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
