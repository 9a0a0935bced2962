#!/usr/bin/env python3
"""The layering check flags upward includes and accepts downward ones."""
import os
import subprocess
import sys
import tempfile

SCRIPT = os.path.join(os.path.dirname(__file__), "..", "..", "tools", "check_layers.py")

CASES = [
    # (file, included header, upward?)
    ("engine/pyramid/a.cpp", "readers/plain/png_reader.h", True),
    ("engine/base/a.h", "engine/pyramid/kestrifier.h", True),
    ("jpeg/a.cpp", "engine/tilepath/tile_cursor.h", True),
    ("primitives/core/a.cpp", "platform/cpu.h", False),
    ("jpeg/a.cpp", "engine/base/stream.h", False),
    ("engine/tilepath/a.cpp", "jpeg/jpeg_saver.h", False),
    ("outputs/a.cpp", "app/MainComponent.h", True),
    ("app/a.cpp", "outputs/kestrix_output.h", False),
    ("platform/a.cpp", "primitives/core/copy.h", True),
]


def run(tree):
    return subprocess.run([sys.executable, SCRIPT, tree], capture_output=True, text=True)


def main():
    failures = 0
    for src, inc, upward in CASES:
        with tempfile.TemporaryDirectory() as tree:
            path = os.path.join(tree, src)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as f:
                f.write(f'#include <vector>\n#include "{inc}"\n')
            r = run(tree)
            flagged = r.returncode == 1 and src in r.stdout
            if flagged != upward:
                print(f"FAIL {src} -> {inc}: exit {r.returncode}\n{r.stdout}")
                failures += 1
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
