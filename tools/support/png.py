"""The one PNG writer of the tools: the bundle's icons, the benchmark's key
image and the demo's pictures are written by it.

The file holds the signature, IHDR, one IDAT with the rows compressed at zlib
level 9, and IEND: no time stamp or other chunk, so the bytes depend only on
the pixels and the zlib version.
"""

import struct
import zlib

COLOUR_TYPES = {3: 2, 4: 6}  # samples per pixel: RGB, RGBA


def png_file(width: int, height: int, samples: int, rows: bytes) -> bytes:
    """An 8-bit RGB (3 samples) or RGBA (4) PNG of `rows`, each of which
    starts with its filter type byte."""

    def chunk(kind: bytes, data: bytes) -> bytes:
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, COLOUR_TYPES[samples], 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def unfiltered_rows(pixels: bytes, stride: int) -> bytes:
    """`pixels` cut into rows of `stride` bytes, each with filter type 0."""
    return b"".join(b"\0" + pixels[start:start + stride] for start in range(0, len(pixels), stride))
