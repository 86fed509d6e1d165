"""A picture of one dial's part of the touch strip, as a PNG file.

The part of the strip above one dial is 200 x 100 pixels, drawn here twice
as large. Laid out the way the built-in layouts $A1 and $B1 arrange it: the
"title" item small at the top, the "value" item below it in a 5 x 7 pixel
font with each font pixel 2 x 2 (1 x 1 when the text would not fit), light on
dark, and the "icon" item at the left in a square of 48 x 48 pixels. The icon
is a PNG, given as a data URL or as the path of a file in the plug-in's
bundle; it is scaled to fit the square, keeping its aspect ratio, centred in
it, and drawn over the strip's background where it is transparent. An icon
that cannot be read here (not 8-bit RGB or RGBA, interlaced, or no file of
the bundle) is drawn as an empty frame. Characters the font lacks are drawn
as a hollow box. $B1 also has the "indicator" item: a bar under the value,
filled from the left to the item's value (0 to 100; empty until one is set).
Only the standard library is used.
"""

import base64
import binascii
import struct
import zlib
from pathlib import Path
from typing import Optional

WIDTH, HEIGHT = 200, 100
BACKGROUND, TITLE, VALUE, FRAME = (0x14, 0x14, 0x18), (0xB8, 0xB8, 0xC0), (0xFF, 0xFF, 0xFF), (0x50, 0x50, 0x58)
BAR = (0x3C, 0x9A, 0xF0)  # the indicator's filled part
ZOOM = 2  # picture pixels per strip pixel
ICON_BOX = 48  # the icon's square, in strip pixels
DATA_URL = "data:image/png;base64,"
BUNDLE = Path(__file__).resolve().parents[2] / "com.brimcove.zorvaneplugin.sdPlugin"

# Rows top to bottom, "#" lit; rows 7 and 8 are for descenders.
_FONT = {
    " ": "...../...../...../...../...../...../.....",
    "0": ".###./#...#/#..##/#.#.#/##..#/#...#/.###.",
    "1": "..#../.##../..#../..#../..#../..#../.###.",
    "2": ".###./#...#/....#/...#./..#../.#.../#####",
    "3": "#####/...#./..#../...#./....#/#...#/.###.",
    "4": "...#./..##./.#.#./#..#./#####/...#./...#.",
    "5": "#####/#..../####./....#/....#/#...#/.###.",
    "6": "..##./.#.../#..../####./#...#/#...#/.###.",
    "7": "#####/....#/...#./..#../.#.../.#.../.#...",
    "8": ".###./#...#/#...#/.###./#...#/#...#/.###.",
    "9": ".###./#...#/#...#/.####/....#/...#./.##..",
    "A": ".###./#...#/#...#/#####/#...#/#...#/#...#",
    "B": "####./#...#/#...#/####./#...#/#...#/####.",
    "C": ".###./#...#/#..../#..../#..../#...#/.###.",
    "D": "###../#..#./#...#/#...#/#...#/#..#./###..",
    "E": "#####/#..../#..../####./#..../#..../#####",
    "F": "#####/#..../#..../####./#..../#..../#....",
    "G": ".###./#...#/#..../#.###/#...#/#...#/.####",
    "H": "#...#/#...#/#...#/#####/#...#/#...#/#...#",
    "I": ".###./..#../..#../..#../..#../..#../.###.",
    "J": "..###/...#./...#./...#./...#./#..#./.##..",
    "K": "#...#/#..#./#.#../##.../#.#../#..#./#...#",
    "L": "#..../#..../#..../#..../#..../#..../#####",
    "M": "#...#/##.##/#.#.#/#.#.#/#...#/#...#/#...#",
    "N": "#...#/#...#/##..#/#.#.#/#..##/#...#/#...#",
    "O": ".###./#...#/#...#/#...#/#...#/#...#/.###.",
    "P": "####./#...#/#...#/####./#..../#..../#....",
    "Q": ".###./#...#/#...#/#...#/#.#.#/#..#./.##.#",
    "R": "####./#...#/#...#/####./#.#../#..#./#...#",
    "S": ".####/#..../#..../.###./....#/....#/####.",
    "T": "#####/..#../..#../..#../..#../..#../..#..",
    "U": "#...#/#...#/#...#/#...#/#...#/#...#/.###.",
    "V": "#...#/#...#/#...#/#...#/#...#/.#.#./..#..",
    "W": "#...#/#...#/#...#/#.#.#/#.#.#/#.#.#/.#.#.",
    "X": "#...#/#...#/.#.#./..#../.#.#./#...#/#...#",
    "Y": "#...#/#...#/#...#/.#.#./..#../..#../..#..",
    "Z": "#####/....#/...#./..#../.#.../#..../#####",
    "a": "...../...../.###./....#/.####/#...#/.####",
    "b": "#..../#..../#.##./##..#/#...#/#...#/####.",
    "c": "...../...../.###./#..../#..../#...#/.###.",
    "d": "....#/....#/.##.#/#..##/#...#/#...#/.####",
    "e": "...../...../.###./#...#/#####/#..../.###.",
    "f": "..##./.#..#/.#.../###../.#.../.#.../.#...",
    "g": "...../...../.####/#...#/#...#/.####/....#/.###.",
    "h": "#..../#..../#.##./##..#/#...#/#...#/#...#",
    "i": "..#../...../.##../..#../..#../..#../.###.",
    "j": "...#./...../..##./...#./...#./...#./#..#./.##..",
    "k": "#..../#..../#..#./#.#../##.../#.#../#..#.",
    "l": ".##../..#../..#../..#../..#../..#../.###.",
    "m": "...../...../##.#./#.#.#/#.#.#/#...#/#...#",
    "n": "...../...../#.##./##..#/#...#/#...#/#...#",
    "o": "...../...../.###./#...#/#...#/#...#/.###.",
    "p": "...../...../####./#...#/#...#/####./#..../#....",
    "q": "...../...../.####/#...#/#...#/.####/....#/....#",
    "r": "...../...../#.##./##..#/#..../#..../#....",
    "s": "...../...../.####/#..../.###./....#/####.",
    "t": ".#.../.#.../###../.#.../.#.../.#..#/..##.",
    "u": "...../...../#...#/#...#/#...#/#..##/.##.#",
    "v": "...../...../#...#/#...#/#...#/.#.#./..#..",
    "w": "...../...../#...#/#...#/#.#.#/#.#.#/.#.#.",
    "x": "...../...../#...#/.#.#./..#../.#.#./#...#",
    "y": "...../...../#...#/#...#/#...#/.####/....#/.###.",
    "z": "...../...../#####/...#./..#../.#.../#####",
    ".": "...../...../...../...../...../.##../.##..",
    ",": "...../...../...../...../.##../..#../.#...",
    "-": "...../...../...../#####/...../...../.....",
    "'": ".##../..#../.#.../...../...../...../.....",
    '"': ".#.#./.#.#./.#.#./...../...../...../.....",
    ":": "...../.##../.##../...../.##../.##../.....",
    "(": "...#./..#../.#.../.#.../.#.../..#../...#.",
    ")": ".#.../..#../...#./...#./...#./..#../.#...",
    "!": "..#../..#../..#../..#../...../...../..#..",
    "?": ".###./#...#/....#/...#./..#../...../..#..",
    "/": "...../....#/...#./..#../.#.../#..../.....",
    "_": "...../...../...../...../...../...../#####",
    "+": "...../..#../..#../#####/..#../..#../.....",
    "&": ".##../#..#./#.#../.#.../#.#.#/#..#./.##.#",
}
_MISSING = "#####/#...#/#...#/#...#/#...#/#...#/#####"


class Canvas:
    def __init__(self, width: int, height: int, colour: tuple):
        self.width, self.height = width, height
        self.rows = [[colour] * width for _ in range(height)]

    def fill(self, x: int, y: int, w: int, h: int, colour: tuple) -> None:
        for row in self.rows[max(y, 0):max(min(y + h, self.height), 0)]:
            for column in range(max(x, 0), max(min(x + w, self.width), 0)):
                row[column] = colour

    def frame(self, x: int, y: int, w: int, h: int, colour: tuple) -> None:
        for left, top, width, height in ((x, y, w, 1), (x, y + h - 1, w, 1), (x, y, 1, h), (x + w - 1, y, 1, h)):
            self.fill(left, top, width, height, colour)

    def text(self, x: int, y: int, text: str, colour: tuple, scale: int) -> None:
        """``text`` with each font pixel ``scale`` x ``scale``; (x, y) is its top left."""
        for index, char in enumerate(text):
            rows = _FONT.get(char, _MISSING).split("/")
            for row_index, row in enumerate(rows):
                for column, lit in enumerate(row):
                    if lit == "#":
                        self.fill(x + (index * 6 + column) * scale, y + row_index * scale, scale, scale, colour)

    def image(self, x: int, y: int, box: int, pixels: list) -> None:
        """Draws ``pixels`` (rows of RGB tuples) scaled to fit the square of
        ``box`` pixels at (x, y), keeping their aspect ratio, centred in it."""
        height, width = len(pixels), len(pixels[0])
        shown_width, shown_height = fitted_size(width, height, box)
        left, top = x + (box - shown_width) // 2, y + (box - shown_height) // 2
        for row in range(shown_height):
            for column in range(shown_width):
                pixel = pixels[row * height // shown_height][column * width // shown_width]
                self.fill(left + column, top + row, 1, 1, pixel)

    def png(self) -> bytes:
        def chunk(tag: bytes, data: bytes) -> bytes:
            return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))

        header = struct.pack(">IIBBBBB", self.width * ZOOM, self.height * ZOOM, 8, 2, 0, 0, 0)  # 8-bit RGB
        lines = (b"\0" + b"".join(bytes(pixel) * ZOOM for pixel in row) for row in self.rows)
        raw = b"".join(line * ZOOM for line in lines)
        return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(
            b"IEND", b"")


def decode_png(data: bytes):
    """The rows of RGB pixels of an 8-bit RGB or RGBA PNG that is not
    interlaced; None for any other file."""
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        return None
    position, header, compressed = 8, None, b""
    while position + 8 <= len(data):
        length, tag = struct.unpack(">I4s", data[position:position + 8])
        body = data[position + 8:position + 8 + length]
        if tag == b"IHDR" and len(body) == 13:
            header = struct.unpack(">IIBBBBB", body)
        elif tag == b"IDAT":
            compressed += body
        position += 12 + length
    if header is None or header[2] != 8 or header[3] not in (2, 6) or header[6] != 0:
        return None
    width, height, channels = header[0], header[1], 3 if header[3] == 2 else 4
    try:
        raw = zlib.decompress(compressed)
    except zlib.error:
        return None
    stride = width * channels
    if width == 0 or len(raw) < height * (stride + 1):
        return None
    rows, previous = [], bytes(stride)
    for index in range(height):
        start = index * (stride + 1)
        row = _unfiltered(raw[start], bytearray(raw[start + 1:start + 1 + stride]), previous, channels)
        rows.append([_over_background(row[i:i + channels]) for i in range(0, stride, channels)])
        previous = row
    return rows


def _over_background(pixel) -> tuple:
    """An RGB or RGBA pixel as it shows on the strip's background."""
    alpha = pixel[3] if len(pixel) == 4 else 255
    return tuple((value * alpha + back * (255 - alpha)) // 255 for value, back in zip(pixel[:3], BACKGROUND))


def _unfiltered(kind: int, row: bytearray, previous: bytes, step: int) -> bytearray:
    for i in range(len(row)):
        left = row[i - step] if i >= step else 0
        up, corner = previous[i], previous[i - step] if i >= step else 0
        if kind == 1:
            row[i] = (row[i] + left) & 0xFF
        elif kind == 2:
            row[i] = (row[i] + up) & 0xFF
        elif kind == 3:
            row[i] = (row[i] + (left + up) // 2) & 0xFF
        elif kind == 4:
            guess = left + up - corner
            nearest = min((abs(guess - left), 0, left), (abs(guess - up), 1, up), (abs(guess - corner), 2, corner))
            row[i] = (row[i] + nearest[2]) & 0xFF
    return row


def fitted_size(width: int, height: int, box: int) -> tuple:
    """``width`` x ``height`` scaled so that the longer side is ``box``."""
    longer = max(width, height)
    return max(1, (width * box + longer // 2) // longer), max(1, (height * box + longer // 2) // longer)


def icon_png(icon: str) -> Optional[bytes]:
    """The PNG file of an "icon" item: the bytes of a "data:image/png;base64,"
    URL, or the file that a path names in the plug-in's bundle; None when it
    is neither."""
    if icon.startswith(DATA_URL):
        try:
            return base64.b64decode(icon[len(DATA_URL):], validate=True)
        except binascii.Error:
            return None
    path = (BUNDLE / icon).resolve()
    if BUNDLE not in path.parents or not path.is_file():
        return None
    return path.read_bytes()


def png_size(icon: str) -> Optional[tuple]:
    """The width and height of an icon's PNG, from its header; None when
    the icon is no PNG."""
    png = icon_png(icon)
    if png is None or len(png) < 24 or not png.startswith(b"\x89PNG\r\n\x1a\n") or png[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", png[16:24])


def icon_pixels(icon: str):
    """The pixels of an icon's PNG; None when unreadable."""
    png = icon_png(icon)
    return decode_png(png) if png is not None else None


def text_width(text: str, scale: int) -> int:
    return (len(text) * 6 - 1) * scale


def fitted(text: str, width: int, scale: int) -> str:
    """``text`` cut to ``width`` pixels, with "..." where it was cut."""
    if text_width(text, scale) <= width:
        return text
    most = (width // scale + 1) // 6
    return text[:max(most - 3, 0)] + "..."


def indicator_value(item) -> int:
    """An "indicator" item's value, 0 to 100: a number, or an object with a
    numeric "value"; 0 for anything else."""
    if isinstance(item, dict):
        item = item.get("value")
    if isinstance(item, bool) or not isinstance(item, (int, float)):
        return 0
    return int(min(max(item, 0), 100))


def strip_png(items: dict, layout: str = "$A1") -> bytes:
    """One dial's part of the strip showing the layout items ``items`` in the
    built-in ``layout``: "$A1", or "$B1" with its indicator."""
    canvas = Canvas(WIDTH, HEIGHT, BACKGROUND)
    title, value = (items.get(name, "") for name in ("title", "value"))
    title, value = (text if isinstance(text, str) else str(text) for text in (title, value))
    left = 8
    if isinstance(items.get("icon"), str) and items["icon"]:
        pixels = icon_pixels(items["icon"])
        if pixels:
            canvas.image(8, 36, ICON_BOX, pixels)
        else:
            canvas.frame(8, 36, ICON_BOX, ICON_BOX, FRAME)
        left = 64
    line = fitted(title, WIDTH - 16, 1)
    canvas.text((WIDTH - text_width(line, 1)) // 2, 12, line, TITLE, 1)
    space = WIDTH - left - 8
    scale = 2 if text_width(value, 2) <= space else 1
    line = fitted(value, space, scale)
    with_bar = layout == "$B1"
    top = (50 if with_bar else 60) - 7 * scale // 2
    canvas.text(left + (space - text_width(line, scale)) // 2 if left == 8 else left, top, line, VALUE, scale)
    if with_bar:
        canvas.frame(left, 70, space, 12, FRAME)
        canvas.fill(left + 1, 71, (space - 2) * indicator_value(items.get("indicator")) // 100, 10, BAR)
    return canvas.png()
