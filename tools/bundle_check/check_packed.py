#!/usr/bin/env python3
"""Checks a packed plug-in file against the folder it was packed from.

The Stream Deck CLI packs the staged bundle folder into a zip archive whose
entries sit under the folder's name. Every staged file must be in the
archive byte for byte, and the archive must hold nothing else. On success it
prints the sizes of the executable, the manifest and the inspector page and
the number of files; on a difference it names the files and exits with 1.

usage: check_packed.py <packed-file> <stage-folder> <folder-name>
       (folder-name: the name the entries start with, UUID.sdPlugin)
"""

from __future__ import annotations

import hashlib
import os
import sys
import zipfile
from typing import Dict, List

USAGE = "usage: check_packed.py <packed-file> <stage-folder> <folder-name>"
SHOWN = ("zorvaneplugin.exe", "manifest.json", "inspector/index.html")


def staged_files(stage_dir: str) -> Dict[str, str]:
    """The files under stage_dir: archive-style relative name -> path."""
    files = {}
    for root, _, names in os.walk(stage_dir):
        for name in names:
            path = os.path.join(root, name)
            files[os.path.relpath(path, stage_dir).replace(os.sep, "/")] = path
    return files


def digest_of_file(path: str) -> bytes:
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).digest()


def differences(archive: zipfile.ZipFile, staged: Dict[str, str], folder: str) -> List[str]:
    """One line for every file that is missing, differs or is extra."""
    prefix = folder + "/"
    entries = {info.filename for info in archive.infolist() if not info.is_dir()}
    expected = {prefix + name: path for name, path in staged.items()}
    problems = []
    for name in sorted(expected.keys() - entries):
        problems.append("missing from the packed file: " + name)
    for name in sorted(entries - expected.keys()):
        problems.append("in the packed file but not in the bundle: " + name)
    for name in sorted(expected.keys() & entries):
        if hashlib.sha256(archive.read(name)).digest() != digest_of_file(expected[name]):
            problems.append(name + " in the packed file differs from the staged file")
    return problems


def main(argv: List[str]) -> int:
    if len(argv) != 4:
        print(USAGE, file=sys.stderr)
        return 2
    packed, stage_dir, folder = argv[1:]
    staged = staged_files(stage_dir)
    missing_shown = [name for name in SHOWN if name not in staged]
    if missing_shown:
        print("not in the staged bundle: " + ", ".join(missing_shown), file=sys.stderr)
        return 1
    try:
        archive = zipfile.ZipFile(packed)
    except (OSError, zipfile.BadZipFile) as error:
        print(f"cannot read {packed} as a zip archive: {error}", file=sys.stderr)
        return 1
    with archive:
        problems = differences(archive, staged, folder)
        if problems:
            print("\n".join(problems), file=sys.stderr)
            return 1
        for name in SHOWN:
            size = archive.getinfo(folder + "/" + name).file_size
            print(f"{size:>10}  {folder}/{name}")
    print(f"{len(staged)} files, all equal to the staged bundle")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
