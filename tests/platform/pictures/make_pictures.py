#!/usr/bin/python3
"""Writes the small picture files of the strip picture tests into this folder,
and the fuzz target's seeds into tests/fuzz/corpus/picture/.

Most pictures are two halves, red on the left and blue on the right, so that
a test can tell that the colours survive the shrinking. Pillow (Debian's
python3-pil) writes the JPEG, GIF, BMP and WebP files; the PNG variants that
Pillow does not write (16 bits, interlaced) are put together here from their
chunks. Run it again only to change the files: they are committed, and the
tests read them as they are.

usage: tests/platform/pictures/make_pictures.py
"""

import io
import pathlib
import struct
import zlib

from PIL import Image

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE.parent.parent / "fuzz" / "corpus" / "picture"

RED = (255, 0, 0)
BLUE = (0, 0, 255)


def halves(width, height, left=RED, right=BLUE, mode="RGB"):
    image = Image.new(mode, (width, height), right)
    image.paste(left, (0, 0, width // 2, height))
    return image


def encoded(image, format_name, **options):
    out = io.BytesIO()
    image.save(out, format_name, **options)
    return out.getvalue()


# ---------------------------------------------------------- PNG by chunks

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png_file(width, height, bit_depth, colour_type, interlace, rows_data):
    header = struct.pack(">IIBBBBB", width, height, bit_depth, colour_type, 0, 0, interlace)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(rows_data, 9)) + chunk(b"IEND", b""))


# Adam7: (first row, first column, row step, column step) of each pass.
ADAM7 = [(0, 0, 8, 8), (0, 4, 8, 8), (4, 0, 8, 4), (0, 2, 4, 4), (2, 0, 4, 2), (0, 1, 2, 2),
         (1, 0, 2, 1)]


def png_of_pixels(pixels, bit_depth, colour_type, interlace):
    """`pixels`: rows of pixels, each pixel the bytes of its samples."""
    height, width = len(pixels), len(pixels[0])
    if not interlace:
        data = b"".join(b"\0" + b"".join(row) for row in pixels)
    else:
        data = b""
        for row0, col0, row_step, col_step in ADAM7:
            for y in range(row0, height, row_step):
                cols = range(col0, width, col_step)
                if len(cols):
                    data += b"\0" + b"".join(pixels[y][x] for x in cols)
    return png_file(width, height, bit_depth, colour_type, 1 if interlace else 0, data)


def halves_pixels(width, height, left, right):
    return [[left if x < width // 2 else right for x in range(width)] for _ in range(height)]


# ------------------------------------------------------------- the files

def pictures():
    files = {}
    files["png_rgb.png"] = encoded(halves(96, 48), "PNG")
    # Palette with a transparent entry: the right half is transparent.
    palette = halves(40, 80, left=0, right=1, mode="P")
    palette.putpalette([255, 0, 0, 0, 0, 255])
    files["png_palette_transparent.png"] = encoded(palette, "PNG", transparency=1)
    files["png_grey_1bit.png"] = encoded(halves(64, 64, 0, 255, mode="1"), "PNG")
    # 16 bits a sample, RGBA; the blue half half transparent.
    files["png_rgba_16bit.png"] = png_of_pixels(
        halves_pixels(48, 24, struct.pack(">4H", 65535, 0, 0, 65535),
                      struct.pack(">4H", 0, 0, 65535, 32896)), 16, 6, False)
    files["png_interlaced.png"] = png_of_pixels(
        halves_pixels(50, 100, bytes(RED), bytes(BLUE)), 8, 2, True)
    # Alternating black and white columns: an average is grey, a sample black or white.
    stripes = Image.new("L", (200, 100))
    stripes.putdata([255 * (x % 2) for _ in range(100) for x in range(200)])
    files["png_stripes.png"] = encoded(stripes, "PNG")
    files["png_small.png"] = encoded(halves(16, 8), "PNG")
    files["png_8192_wide.png"] = encoded(halves(8192, 1), "PNG", optimize=True)
    files["png_8193_wide.png"] = encoded(halves(8193, 1), "PNG", optimize=True)
    # White, 1 bit a pixel: small as a file, 48 MiB as 32-bit pixels.
    files["png_8192x1536_1bit.png"] = png_file(8192, 1536, 1, 0, 0, (b"\0" + b"\xff" * 1024) * 1536)
    # A header claiming 60,000 × 60,000 pixels, with a little data after it.
    files["png_claims_60000.png"] = (
        png_file(60000, 60000, 8, 2, 0, b"\0" * 64)[:-12]
        + chunk(b"IEND", b""))

    files["jpeg_baseline.jpg"] = encoded(halves(120, 60), "JPEG", quality=90)
    files["jpeg_progressive.jpg"] = encoded(halves(60, 120), "JPEG", quality=90, progressive=True)
    files["jpeg_cmyk.jpg"] = encoded(
        halves(96, 48, (0, 255, 255, 0), (255, 255, 0, 0), mode="CMYK"), "JPEG", quality=90)
    files["jpeg_grey.jpg"] = encoded(halves(64, 32, 0, 255, mode="L"), "JPEG", quality=90)
    files["jpeg_8193_wide.jpg"] = encoded(Image.new("L", (8193, 8), 128), "JPEG", quality=50)

    first = halves(96, 48)
    second = Image.new("RGB", (96, 48), (0, 255, 0))
    files["gif_animated.gif"] = encoded(first, "GIF", save_all=True, append_images=[second],
                                        duration=100, loop=0)
    transparent = halves(40, 80, left=0, right=1, mode="P")
    transparent.putpalette([255, 0, 0, 0, 0, 255])
    files["gif_interlaced_transparent.gif"] = encoded(transparent, "GIF", transparency=1,
                                                      interlace=True)
    files["gif_8193_wide.gif"] = encoded(halves(8193, 1).convert("P"), "GIF")

    files["bmp_24bit.bmp"] = encoded(halves(24, 12), "BMP")

    files["webp_lossy.webp"] = encoded(halves(96, 48), "WEBP", quality=90)
    files["webp_lossless_alpha.webp"] = encoded(
        halves(40, 80, (255, 0, 0, 255), (0, 0, 255, 0), mode="RGBA"), "WEBP", lossless=True)

    files["truncated.png"] = files["png_rgb.png"][:-40]
    files["truncated.jpg"] = files["jpeg_baseline.jpg"][:len(files["jpeg_baseline.jpg"]) * 2 // 3]
    files["truncated.gif"] = files["gif_animated.gif"][:60]
    files["truncated.webp"] = files["webp_lossy.webp"][:-30]
    # One bit changed in the compressed rows: the chunk's checksum no longer holds.
    rgb = bytearray(files["png_rgb.png"])
    rgb[rgb.index(b"IDAT") + 10] ^= 0x10
    files["corrupt.png"] = bytes(rgb)
    # The signature of a JPEG, then no valid marker.
    files["corrupt.jpg"] = b"\xff\xd8\xff\xe0" + bytes(range(7, 250))
    files["text.png"] = b"This is not a picture, whatever its name says.\n"
    files["jpeg_named.png"] = files["jpeg_grey.jpg"]
    files["empty.png"] = b""
    return files


# The fuzz target's first byte chooses the box: 47 asks for 48 px.
SEEDS = ["png_palette_transparent.png", "png_rgba_16bit.png", "png_interlaced.png",
         "jpeg_progressive.jpg", "jpeg_cmyk.jpg", "gif_interlaced_transparent.gif",
         "bmp_24bit.bmp", "webp_lossy.webp", "webp_lossless_alpha.webp", "truncated.jpg"]


def main():
    files = pictures()
    for name, data in files.items():
        (HERE / name).write_bytes(data)
    CORPUS.mkdir(parents=True, exist_ok=True)
    for name in SEEDS:
        (CORPUS / name.replace(".", "_")).write_bytes(bytes([47]) + files[name])


if __name__ == "__main__":
    main()
