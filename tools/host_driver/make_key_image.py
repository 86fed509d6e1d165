#!/usr/bin/env python3
"""Draws the key image that the benchmark's host driver sends the plug-in.

A 144 x 144 RGB picture (the size of a key on a high-resolution Stream Deck):
colour ramps with a sparse pseudo-random grain, which compresses to about
12.8 KB, the size of a typical custom key image. Only the standard library
is used (the PNG writer is the tools' own, tools/support/png.py) and every
number comes from a fixed-seed generator, so the file depends only on these
scripts and the zlib version.

usage: make_key_image.py [output.png]
       (default: key_144.png next to this script)
"""

from __future__ import annotations

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from support.png import png_file  # noqa: E402  (the tools' folder first)

SIZE = 144
GRAIN_EVERY = 18  # one sample in this many is grained; sets the compressed size


def xorshift32():
    """An endless fixed sequence of 32-bit numbers."""
    state = 0x2545F491
    while True:
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        yield state


def samples(numbers, y: int) -> list:
    line = []
    for x in range(SIZE):
        ramp = (x + y) * 255 // (2 * SIZE - 2)
        for base in (ramp, 255 - ramp, x * 255 // (SIZE - 1)):
            number = next(numbers)
            if number % GRAIN_EVERY == 0:
                base += (number >> 8) % 31 - 15
            line.append(min(255, max(0, base)))
    return line


def filtered_rows() -> bytes:
    """Every row with PNG filter 1 (each sample minus the one a pixel before)."""
    numbers = xorshift32()
    rows = bytearray()
    for y in range(SIZE):
        line = samples(numbers, y)
        rows.append(1)
        rows.extend((value - (line[i - 3] if i >= 3 else 0)) & 255 for i, value in enumerate(line))
    return bytes(rows)


def main() -> None:
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "key_144.png")
    path = sys.argv[1] if len(sys.argv) > 1 else default
    with open(path, "wb") as out:
        out.write(png_file(SIZE, SIZE, 3, filtered_rows()))


if __name__ == "__main__":
    main()
