#!/usr/bin/python3
"""Writes the thumbnails of the benchmark's dial list into FOLDER: photo-like
pictures of the size a streamer's real library has, PNGs of 2,048 and
1,024 px and a few JPEGs, which the host driver shares out in turn among the
list's 200 entries (`--dial-library FOLDER`).

The pictures are the same bytes on every run. A stamp beside the folder
(FOLDER.stamp) names what wrote them; while it matches, the folder is left as
it is, so a second run does not draw them again.

usage: make_dial_library.py FOLDER
"""

import hashlib
import shutil
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "support"))

import photo_library  # noqa: E402

# (name, side in px, format): the driver takes them in name order.
LIBRARY = [
    ("photo-01-2048.png", 2048, "PNG"),
    ("photo-02-1024.png", 1024, "PNG"),
    ("photo-03-2048.jpg", 2048, "JPEG"),
    ("photo-04-2048.png", 2048, "PNG"),
    ("photo-05-1024.png", 1024, "PNG"),
    ("photo-06-1024.jpg", 1024, "JPEG"),
    ("photo-07-2048.png", 2048, "PNG"),
    ("photo-08-1024.png", 1024, "PNG"),
    ("photo-09-2048.jpg", 2048, "JPEG"),
    ("photo-10-2048.png", 2048, "PNG"),
    ("photo-11-1024.png", 1024, "PNG"),
    ("photo-12-1024.jpg", 1024, "JPEG"),
]


def stamp_text() -> str:
    """What wrote the pictures: the list above and the drawing code."""
    digest = hashlib.sha256()
    for source in (Path(__file__), Path(photo_library.__file__)):
        digest.update(source.read_bytes())
    return digest.hexdigest() + "\n"


def main() -> None:
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[-1])
    folder = Path(sys.argv[1])
    stamp = folder.with_name(folder.name + ".stamp")
    if stamp.is_file() and stamp.read_text() == stamp_text() and folder.is_dir():
        return
    shutil.rmtree(folder, ignore_errors=True)
    stamp.unlink(missing_ok=True)
    photo_library.write_library(str(folder), LIBRARY)
    stamp.write_text(stamp_text())


if __name__ == "__main__":
    main()
