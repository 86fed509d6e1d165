"""Thumbnails of the size a streamer's real library has: photo-like pictures
(smooth colour regions, detail at every scale, noise) of 1,024 and 2,048 px,
square or not, as PNG and as JPEG, the same bytes on every run for the same
seed. The benchmark's dial phase and the demo's dial scene use them.

Pillow (Debian's python3-pil) draws and encodes them.
"""

import os
import random

from PIL import Image


def photo(seed: int, side) -> Image.Image:
    """A photo-like picture, ``side`` pixels square or ``(width, height)``:
    large soft regions of colour, smaller detail over them and fine grain,
    from ``seed``."""
    rng = random.Random(seed)
    size = (side, side) if isinstance(side, int) else tuple(side)

    def layer(cells: int, mode: str = "RGB", resample=Image.BICUBIC) -> Image.Image:
        channels = len(mode)
        return Image.frombytes(mode, (cells, cells), rng.randbytes(cells * cells * channels)).resize(size, resample)

    picture = Image.blend(layer(6), layer(48), 0.3)
    grain = layer(max(size) // 2, "L", Image.BILINEAR)
    return Image.blend(picture, Image.merge("RGB", [grain] * 3), 0.08)


def write_library(folder: str, files: list) -> dict:
    """Writes each ``(name, side, format)`` of ``files`` (``side`` as for
    ``photo``, format "PNG" or "JPEG") into ``folder`` and returns the path of
    each name."""
    os.makedirs(folder, exist_ok=True)
    paths = {}
    for seed, (name, side, file_format) in enumerate(files):
        path = os.path.join(folder, name)
        options = {"quality": 88} if file_format == "JPEG" else {}
        photo(seed + 1, side).save(path, file_format, **options)
        paths[name] = path
    return paths
