"""A picture of one dial's part of the touch strip, as a PNG file.

The part of the strip above one dial is 200 x 100 pixels. Drawn here the way
the built-in layout $A1 arranges it: the "title" item at the top, the
"value" item below it, in a 5 x 7 pixel font (each font pixel drawn 2 x 2),
light on dark. An "icon" item is marked by a frame where the layout puts it.
Characters the font lacks are drawn as a hollow box. Only the standard
library is used.
"""

import struct
import zlib

WIDTH, HEIGHT = 200, 100
BACKGROUND, TITLE, VALUE, FRAME = (0x14, 0x14, 0x18), (0xB8, 0xB8, 0xC0), (0xFF, 0xFF, 0xFF), (0x50, 0x50, 0x58)
SCALE = 2  # screen pixels per font pixel
ADVANCE = 6 * SCALE  # five columns and one of space

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

    def text(self, x: int, y: int, text: str, colour: tuple) -> None:
        for index, char in enumerate(text):
            rows = _FONT.get(char, _MISSING).split("/")
            for row_index, row in enumerate(rows):
                for column, lit in enumerate(row):
                    if lit == "#":
                        self.fill(x + index * ADVANCE + column * SCALE, y + row_index * SCALE, SCALE, SCALE, colour)

    def png(self) -> bytes:
        def chunk(tag: bytes, data: bytes) -> bytes:
            return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)  # 8-bit RGB
        raw = b"".join(b"\0" + b"".join(bytes(pixel) for pixel in row) for row in self.rows)
        return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(
            b"IEND", b"")


def fitted(text: str, width: int) -> str:
    """``text`` cut to ``width`` pixels, with "..." where it was cut."""
    most = width // ADVANCE
    return text if len(text) <= most else text[:most - 3] + "..."


def strip_png(items: dict) -> bytes:
    """One dial's part of the strip showing the layout items ``items``."""
    canvas = Canvas(WIDTH, HEIGHT, BACKGROUND)
    left = 8
    if isinstance(items.get("icon"), str) and items["icon"]:
        canvas.frame(8, 34, 48, 48, FRAME)
        left = 64
    for text, top, colour in ((items.get("title", ""), 10, TITLE), (items.get("value", ""), 52, VALUE)):
        line = fitted(text if isinstance(text, str) else str(text), WIDTH - left - 8)
        canvas.text(left if left > 8 else (WIDTH - len(line) * ADVANCE + SCALE) // 2, top, line, colour)
    return canvas.png()
