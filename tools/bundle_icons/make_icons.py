#!/usr/bin/env python3
"""Draws every icon and key image of the plug-in bundle.

The pictures are described as signed distance functions in a 100 x 100
design square (x to the right, y downwards, negative inside a shape) and
rasterised with one sample per pixel: a pixel's coverage is the distance at
its centre, measured in pixels, mapped onto 0..1. That gives smooth edges at
every size from one description, so the 20-pixel action icon and the
512-pixel plug-in icon are the same drawing.

Only the standard library is used; the PNG files (8-bit RGBA, filter 0 on
every row) are written by the tools' own writer, tools/support/png.py, so
the output depends only on these scripts and the zlib version.

usage: make_icons.py [images-folder]
       (default: the images folder of the bundle source)
"""

from __future__ import annotations

import math
import os
import sys
from typing import Callable, Dict, List, Sequence, Tuple

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from support.png import png_file, unfiltered_rows  # noqa: E402  (the tools' folder first)

Sdf = Callable[[float, float], float]
Rgba = Tuple[int, int, int, int]
Paint = Callable[[float, float], Rgba]

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DEFAULT_OUT = os.path.join(REPO, "com.brimcove.zorvaneplugin.sdPlugin", "images")

WHITE = (255, 255, 255, 255)


# --- shapes ------------------------------------------------------------------

def circle(cx: float, cy: float, r: float) -> Sdf:
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx: float, cy: float, r: float, width: float) -> Sdf:
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - width / 2


def arc(cx: float, cy: float, r: float, width: float, start: float, end: float) -> Sdf:
    """A stroke along the circle from angle start to end (degrees, clockwise
    on screen because y points down), with round caps."""
    a0, a1 = math.radians(start), math.radians(end)
    ends = [(cx + r * math.cos(a), cy + r * math.sin(a)) for a in (a0, a1)]

    def sdf(x: float, y: float) -> float:
        angle = math.atan2(y - cy, x - cx)
        # Bring the angle into [a0, a0 + 2 pi) before comparing with the span.
        while angle < a0:
            angle += 2 * math.pi
        while angle >= a0 + 2 * math.pi:
            angle -= 2 * math.pi
        if angle <= a1:
            d = abs(math.hypot(x - cx, y - cy) - r)
        else:
            d = min(math.hypot(x - ex, y - ey) for ex, ey in ends)
        return d - width / 2

    return sdf


def segment(x0: float, y0: float, x1: float, y1: float, width: float) -> Sdf:
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def sdf(x: float, y: float) -> float:
        t = ((x - x0) * dx + (y - y0) * dy) / length2
        t = max(0.0, min(1.0, t))
        return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) - width / 2

    return sdf


def polyline(points: Sequence[Tuple[float, float]], width: float) -> Sdf:
    return union(*[segment(*points[i], *points[i + 1], width) for i in range(len(points) - 1)])


def polygon(points: Sequence[Tuple[float, float]]) -> Sdf:
    """Exact distance to a simple polygon, negative inside (even-odd rule)."""
    pts = list(points)

    def sdf(x: float, y: float) -> float:
        best = float("inf")
        inside = False
        j = len(pts) - 1
        for i in range(len(pts)):
            xi, yi = pts[i]
            xj, yj = pts[j]
            ex, ey = xj - xi, yj - yi
            wx, wy = x - xi, y - yi
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            best = min(best, math.hypot(wx - ex * t, wy - ey * t))
            if (yi > y) != (yj > y) and x < xi + (y - yi) * ex / ey:
                inside = not inside
            j = i
        return -best if inside else best

    return sdf


def rounded_rect(x0: float, y0: float, x1: float, y1: float, r: float) -> Sdf:
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def sdf(x: float, y: float) -> float:
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r

    return sdf


def outline(shape: Sdf, width: float) -> Sdf:
    return lambda x, y: abs(shape(x, y)) - width / 2


def union(*shapes: Sdf) -> Sdf:
    return lambda x, y: min(s(x, y) for s in shapes)


def subtract(shape: Sdf, hole: Sdf) -> Sdf:
    return lambda x, y: max(shape(x, y), -hole(x, y))


def intersect(a: Sdf, b: Sdf) -> Sdf:
    return lambda x, y: max(a(x, y), b(x, y))


def placed(shape: Sdf, scale: float, dx: float, dy: float) -> Sdf:
    """The shape drawn at scale, its design square's corner moved to (dx, dy)."""
    return lambda x, y: scale * shape((x - dx) / scale, (y - dy) / scale)


# --- glyphs (white line art; w is the stroke width in design units) ----------

def glyph_broadcast(w: float) -> Sdf:
    return union(
        circle(50, 50, w * 1.1),
        arc(50, 50, 22, w, -45, 45), arc(50, 50, 22, w, 135, 225),
        arc(50, 50, 38, w, -45, 45), arc(50, 50, 38, w, 135, 225),
    )


def glyph_calibrate(w: float) -> Sdf:
    return union(
        ring(50, 50, 29, w),
        segment(50, 6, 50, 30, w), segment(50, 70, 50, 94, w),
        segment(6, 50, 30, 50, w), segment(70, 50, 94, 50, w),
        circle(50, 50, w * 0.7),
    )


def star_points(cx: float, cy: float, outer: float, inner: float, tips: int):
    points = []
    for k in range(tips * 2):
        r = outer if k % 2 == 0 else inner
        a = -math.pi / 2 + k * math.pi / tips
        points.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return points


def glyph_specialaction(w: float) -> Sdf:
    return union(
        polygon(star_points(44, 54, 36, 15, 5)),
        polygon(star_points(80, 18, 14, 4, 4)),
    )


def glyph_pose(w: float) -> Sdf:
    return union(
        circle(50, 17, 11),
        segment(50, 33, 50, 62, w),
        polyline([(24, 20), (50, 42), (76, 20)], w),
        polyline([(32, 92), (50, 62), (68, 92)], w),
    )


def glyph_emote(w: float) -> Sdf:
    return union(
        ring(50, 50, 40, w),
        circle(36, 40, w * 0.75), circle(64, 40, w * 0.75),
        arc(50, 50, 23, w, 25, 155),
    )


def glyph_quickslot(w: float) -> Sdf:
    return polygon([(60, 4), (22, 56), (45, 56), (38, 96), (78, 40), (55, 40), (66, 4)])


def glyph_changeavatar(w: float) -> Sdf:
    shoulders = intersect(circle(50, 102, 40), lambda x, y: y - 92)
    return union(circle(50, 34, 19), shoulders)


def glyph_changebackground(w: float) -> Sdf:
    return union(
        outline(rounded_rect(8, 16, 92, 84, 9), w),
        polygon([(16, 77), (39, 44), (54, 62), (64, 51), (84, 77)]),
        circle(68, 34, 8),
    )


def glyph_idle(w: float) -> Sdf:
    moon = subtract(circle(44, 54, 36), circle(64, 40, 29))
    z = polyline([(64, 10), (86, 10), (64, 34), (86, 34)], w * 0.7)
    return union(moon, z)


def glyph_logo(w: float) -> Sdf:
    return union(
        polyline([(25, 27), (75, 27), (25, 73), (75, 73)], w),
        circle(82, 18, w * 0.55),
    )


GLYPHS: Dict[str, Callable[[float], Sdf]] = {
    "broadcast": glyph_broadcast,
    "calibrate": glyph_calibrate,
    "specialaction": glyph_specialaction,
    "pose": glyph_pose,
    "emote": glyph_emote,
    "quickslot": glyph_quickslot,
    "changeavatar": glyph_changeavatar,
    "changebackground": glyph_changebackground,
    "idle": glyph_idle,
}

# Key background per action: (top colour, bottom colour) of a vertical gradient.
KEY_COLOURS: Dict[str, Tuple[Tuple[int, int, int], Tuple[int, int, int]]] = {
    "broadcast": ((70, 74, 86), (38, 40, 48)),       # state 0: off
    "broadcast-on": ((229, 57, 53), (142, 22, 22)),  # state 1: on air
    "calibrate": ((41, 121, 255), (21, 62, 150)),
    "specialaction": ((255, 160, 0), (190, 84, 0)),
    "pose": ((70, 74, 86), (38, 40, 48)),            # state 0: pose not active
    "pose-on": ((0, 191, 165), (0, 105, 92)),        # state 1: pose active
    "emote": ((255, 202, 40), (214, 120, 0)),
    "quickslot": ((171, 71, 188), (94, 31, 120)),
    "changeavatar": ((38, 166, 154), (0, 95, 90)),
    "changebackground": ((92, 107, 192), (40, 53, 147)),
    "idle": ((84, 110, 122), (38, 50, 56)),
}


# --- raster and PNG ----------------------------------------------------------

def solid(colour: Rgba) -> Paint:
    return lambda x, y: colour


def vertical_gradient(top: Tuple[int, int, int], bottom: Tuple[int, int, int]) -> Paint:
    def paint(x: float, y: float) -> Rgba:
        t = max(0.0, min(1.0, y / 100))
        return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)) + (255,)

    return paint


def render(size: int, layers: List[Tuple[Sdf, Paint]]) -> bytes:
    """Composites the layers front over back; returns raw RGBA rows."""
    units_per_pixel = 100 / size
    out = bytearray()
    for py in range(size):
        y = (py + 0.5) * units_per_pixel
        for px in range(size):
            x = (px + 0.5) * units_per_pixel
            r = g = b = a = 0.0
            for shape, paint in layers:
                coverage = 0.5 - shape(x, y) / units_per_pixel
                if coverage <= 0:
                    continue
                sr, sg, sb, sa = paint(x, y)
                src_a = min(coverage, 1.0) * sa / 255
                out_a = src_a + a * (1 - src_a)
                r = (sr * src_a + r * a * (1 - src_a)) / out_a
                g = (sg * src_a + g * a * (1 - src_a)) / out_a
                b = (sb * src_a + b * a * (1 - src_a)) / out_a
                a = out_a
            if a == 0:
                out += b"\0\0\0\0"
            else:
                out += bytes((round(r), round(g), round(b), round(a * 255)))
    return bytes(out)


# --- the bundle's pictures ---------------------------------------------------

def write_pair(out_dir: str, name: str, size: int, layers: List[Tuple[Sdf, Paint]]) -> None:
    """Writes name.png at size and name@2x.png at twice the size."""
    os.makedirs(out_dir, exist_ok=True)
    for scale, suffix in ((1, ""), (2, "@2x")):
        pixels = size * scale
        with open(os.path.join(out_dir, f"{name}{suffix}.png"), "wb") as f:
            f.write(png_file(pixels, pixels, 4, unfiltered_rows(render(pixels, layers), pixels * 4)))


def key_layers(name: str, glyph: str, dim: bool) -> List[Tuple[Sdf, Paint]]:
    top, bottom = KEY_COLOURS[name]
    mark = (176, 180, 190, 255) if dim else WHITE
    return [
        (lambda x, y: -1.0, vertical_gradient(top, bottom)),
        (placed(GLYPHS[glyph](9), 0.56, 22, 22), solid(mark)),
    ]


# The dial's canvas around an encoder icon's disc.
DIAL_BACKGROUND = (30, 32, 38, 255)


def encoder_layers(name: str) -> List[Tuple[Sdf, Paint]]:
    """The picture of an action on a dial: the white glyph on a disc in the
    colours of its lit key, on a dark square (opaque, as key images are; the
    Stream Deck application shows it in the round canvas of the dial)."""
    lit = f"{name}-on" if f"{name}-on" in KEY_COLOURS else name
    top, bottom = KEY_COLOURS[lit]
    return [
        (lambda x, y: -1.0, solid(DIAL_BACKGROUND)),
        (circle(50, 50, 44), vertical_gradient(top, bottom)),
        (placed(GLYPHS[name](9), 0.5, 25, 25), solid(WHITE)),
    ]


def make_all(out_dir: str) -> None:
    # Plug-in icon (store and plug-in list): white mark on a coloured tile.
    write_pair(os.path.join(out_dir, "plugin"), "icon", 256, [
        (rounded_rect(2, 2, 98, 98, 20), vertical_gradient((0, 184, 212), (63, 61, 178))),
        (placed(glyph_logo(11), 0.8, 10, 10), solid(WHITE)),
    ])
    # Category icon (action list): white on transparent.
    write_pair(os.path.join(out_dir, "plugin"), "category", 28, [
        (glyph_logo(13), solid(WHITE)),
    ])
    for name, glyph in GLYPHS.items():
        # Action icon (action list): white on transparent.
        write_pair(os.path.join(out_dir, "actions"), name, 20, [(glyph(11), solid(WHITE))])
        # Key image of the first state.
        write_pair(os.path.join(out_dir, "keys"), name, 72,
                   key_layers(name, name, dim=name in ("broadcast", "pose")))
    for name in ("broadcast", "pose"):
        # Key image of the second state (on).
        write_pair(os.path.join(out_dir, "keys"), f"{name}-on", 72,
                   key_layers(f"{name}-on", name, dim=False))
    for name in GLYPHS:
        # Encoder icon (the action on a dial).
        write_pair(os.path.join(out_dir, "encoders"), name, 72, encoder_layers(name))


def main(argv: List[str]) -> int:
    if len(argv) > 2:
        print(__doc__.strip().splitlines()[-2], file=sys.stderr)
        return 2
    make_all(argv[1] if len(argv) == 2 else DEFAULT_OUT)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
