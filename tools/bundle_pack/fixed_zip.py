#!/usr/bin/env python3
"""Rewrites a packed plug-in file so that the same files give the same bytes.

The Stream Deck CLI's `pack` writes each entry with the time of packing (in
the DOS time and again in extra timestamp fields) and in the order its
folder walk met the files, which differs from folder to folder. This keeps
every entry's name, bytes and attributes, and rewrites the archive with the
entries in name order, each dated SOURCE_DATE_EPOCH (UTC) and without extra
fields, compressed at one fixed level. The file keeps its mode, and is
replaced only when the whole archive is written.

usage: SOURCE_DATE_EPOCH=<seconds> fixed_zip.py <packed-file>
"""

from __future__ import annotations

import os
import sys
import tempfile
import time
import zipfile
from typing import List

USAGE = "usage: SOURCE_DATE_EPOCH=<seconds> fixed_zip.py <packed-file>"
# A zip archive cannot date an entry before 1980.
EARLIEST = (1980, 1, 1, 0, 0, 0)


def entry_time(epoch: int):
    return max(EARLIEST, tuple(time.gmtime(epoch)[:6]))


def rewrite(packed: str, epoch: int) -> None:
    folder = os.path.dirname(os.path.abspath(packed))
    with zipfile.ZipFile(packed) as source:
        handle, temporary = tempfile.mkstemp(dir=folder, suffix=".zip")
        try:
            with os.fdopen(handle, "wb") as out, zipfile.ZipFile(out, "w") as target:
                for entry in sorted(source.infolist(), key=lambda e: e.filename):
                    fixed = zipfile.ZipInfo(entry.filename, entry_time(epoch))
                    fixed.compress_type = zipfile.ZIP_DEFLATED
                    fixed.create_system = 3
                    fixed.external_attr = entry.external_attr
                    target.writestr(fixed, source.read(entry), compresslevel=9)
            os.chmod(temporary, os.stat(packed).st_mode)
            os.replace(temporary, packed)
        except BaseException:
            os.unlink(temporary)
            raise


def main(argv: List[str]) -> int:
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if len(argv) != 2 or not epoch.isdigit():
        print(USAGE, file=sys.stderr)
        return 2
    try:
        rewrite(argv[1], int(epoch))
    except (OSError, zipfile.BadZipFile) as error:
        print(f"cannot rewrite {argv[1]}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
