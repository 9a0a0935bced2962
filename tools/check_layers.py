#!/usr/bin/env python3
"""Fails when a source file includes a header from a higher floor.

The house has floors; a file includes only from its own floor or below:

  app -> outputs -> readers -> engine -> codec libraries (tiff, jpeg, j2k)
      -> engine/base -> primitives -> platform

engine/base holds the shared value types (reference counting, streams, image
containers, raw tiles) and the loader, tile decoder and saver interfaces that
the engine consumes; the codec libraries read and write those types, so they
sit below the codecs. Tests, benchmarks and tools may include anything.

Usage: check_layers.py [ROOT]   (exit 0 clean, 1 with a line per upward include)
"""
import os
import re
import sys

# Longest prefix first: engine/base must win over engine.
FLOORS = [
    ("platform/", 0),
    ("primitives/", 1),
    ("engine/base/", 2),
    ("tiff/", 3),
    ("jpeg/", 3),
    ("j2k/", 3),
    ("engine/", 4),
    ("readers/", 5),
    ("outputs/", 6),
    ("app/", 7),
]
SOURCE = re.compile(r"\.(h|hpp|cpp|cc|c|inl)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def floor_of(path):
    for prefix, level in sorted(FLOORS, key=lambda f: -len(f[0])):
        if path.startswith(prefix):
            return level
    return None


def check(root):
    faults = []
    tops = sorted({prefix.split("/")[0] for prefix, _ in FLOORS})
    for top in tops:
        for dirpath, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                if not SOURCE.search(name):
                    continue
                full = os.path.join(dirpath, name)
                rel = os.path.relpath(full, root).replace(os.sep, "/")
                own = floor_of(rel)
                with open(full, encoding="utf-8", errors="replace") as f:
                    text = f.read()
                for inc in INCLUDE.findall(text):
                    target = floor_of(inc)
                    if target is not None and target > own:
                        faults.append(f"{rel}: includes \"{inc}\" from a higher floor")
    return faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    faults = check(os.path.abspath(root))
    for line in faults:
        print(line)
    if faults:
        print(f"{len(faults)} upward include(s)")
        return 1
    print("includes run downward only")
    return 0


if __name__ == "__main__":
    sys.exit(main())
