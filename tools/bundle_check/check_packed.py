#!/usr/bin/env python3
"""Checks a packed plug-in file against the folder it was packed from.

The Stream Deck CLI packs the staged bundle folder into a zip archive whose
entries sit under the folder's name. Every staged file must be in the
archive byte for byte, and the archive must hold nothing else; the
executable, the manifest, the notices and the inspector page must be among
them. With options, the packed executable is checked as well:

  --windres WINDRES   its version resource, read back with the toolchain's
                      resource compiler, gives the manifest's "Version" as
                      file and product version, in numbers and in text; its
                      header carries no link time
  --link-map MAP      every third-party archive and object that its link
                      used (the linker's map, see tools/bundle_notices/)
                      is named on a "Linked into" line of the notices
  --not-in-exe TEXT   it holds TEXT (a path of the building machine) neither
                      in UTF-8 nor in UTF-16; may be given more than once

On success it prints the sizes of the executable, the manifest, the notices
and the inspector page and the number of files, then one line for each check
made; on a difference it names each one and exits with 1.

usage: check_packed.py <packed-file> <stage-folder> <folder-name> [options]
       (folder-name: the name the entries start with, UUID.sdPlugin)
"""

from __future__ import annotations

import argparse
import hashlib
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile
from typing import Dict, List, Optional

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "bundle_notices"))
from link_map import is_own, read_link_inputs  # noqa: E402

USAGE = "usage: check_packed.py <packed-file> <stage-folder> <folder-name> [options]"
EXE = "zorvaneplugin.exe"
NOTICES = "THIRD-PARTY-NOTICES.txt"
SHOWN = (EXE, "manifest.json", NOTICES, "inspector/index.html")
LINKED_LINE = re.compile(r"^Linked into " + re.escape(EXE) + r": (.*)$", re.MULTILINE)


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


def version_resource(exe: bytes, windres: str) -> Optional[str]:
    """The exe's version resource as resource script text, or None without one."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, EXE)
        with open(path, "wb") as f:
            f.write(exe)
        result = subprocess.run([windres, "-i", path, "-O", "rc"], capture_output=True, text=True)
    if result.returncode != 0 or "VERSIONINFO" not in result.stdout:
        return None
    return result.stdout


def link_time(exe: bytes) -> Optional[int]:
    """The time stamp in the exe's file header, or None if it is no PE file."""
    if len(exe) < 0x40 or exe[:2] != b"MZ":
        return None
    header = struct.unpack_from("<I", exe, 0x3C)[0]
    if exe[header : header + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<I", exe, header + 8)[0]


def version_problems(exe: bytes, manifest: bytes, windres: str) -> List[str]:
    version = json.loads(manifest).get("Version")
    script = version_resource(exe, windres)
    if script is None:
        return [f"{EXE} has no version resource"]
    numbers = r"^\s*{} (\d+), (\d+), (\d+), (\d+)$"
    text = r'VALUE "{}", L?"([^"]*)"'
    found = {
        "FILEVERSION": re.search(numbers.format("FILEVERSION"), script, re.M),
        "PRODUCTVERSION": re.search(numbers.format("PRODUCTVERSION"), script, re.M),
        "FileVersion": re.search(text.format("FileVersion"), script),
        "ProductVersion": re.search(text.format("ProductVersion"), script),
    }
    problems = []
    for name, match in found.items():
        given = ".".join(match.groups()) if match else None
        if given != version:
            problems.append(f"{EXE}'s {name} is {given}, the manifest's Version {version}")
    stamp = link_time(exe)
    if stamp != 0:
        problems.append(f"{EXE}'s file header carries a link time ({stamp})")
    return problems


def notice_problems(notices: str, link_map: str) -> List[str]:
    """One line for every third-party link input that has no notice."""
    build_dir = os.path.dirname(os.path.abspath(link_map))
    with open(link_map, encoding="utf-8") as f:
        inputs = read_link_inputs(f.read(), build_dir)
    named = {n.strip() for line in LINKED_LINE.findall(notices) for n in line.split(",")}
    program = EXE[: -len(".exe")]
    return [f"{EXE} links {os.path.basename(i.path)} ({i.path}), which has no notice in {NOTICES}"
            for i in inputs
            if not is_own(i.path, build_dir, program) and os.path.basename(i.path) not in named]


def path_problems(exe: bytes, texts: List[str]) -> List[str]:
    return [f'{EXE} holds "{text}"' for text in texts
            if text.encode() in exe or text.encode("utf-16-le") in exe]


def exe_checks(archive: zipfile.ZipFile, folder: str, options: argparse.Namespace):
    """(problems, lines to print on success) of the checks the options ask for."""
    exe = archive.read(f"{folder}/{EXE}")
    problems, done = [], []
    if options.windres:
        manifest = archive.read(f"{folder}/manifest.json")
        problems += version_problems(exe, manifest, options.windres)
        done.append(f"version {json.loads(manifest).get('Version')} in the manifest and "
                    f"in {EXE}'s version resource, which has no link time")
    if options.link_map:
        notices = archive.read(f"{folder}/{NOTICES}").decode("utf-8")
        problems += notice_problems(notices, options.link_map)
        done.append(f"every third-party file that {EXE}'s link used has its notice in {NOTICES}")
    if options.not_in_exe:
        problems += path_problems(exe, options.not_in_exe)
        done.append(f"{EXE} holds none of: " + ", ".join(options.not_in_exe))
    return problems, done


class ArgumentParser(argparse.ArgumentParser):
    """Reports a wrong command line to its caller instead of exiting."""

    def error(self, message):
        raise ValueError(message)


def parse_arguments(argv: List[str]) -> argparse.Namespace:
    parser = ArgumentParser(add_help=False)
    parser.add_argument("packed")
    parser.add_argument("stage_dir")
    parser.add_argument("folder")
    parser.add_argument("--windres")
    parser.add_argument("--link-map")
    parser.add_argument("--not-in-exe", action="append", default=[])
    return parser.parse_args(argv)


def main(argv: List[str]) -> int:
    try:
        options = parse_arguments(argv[1:])
    except ValueError as error:
        print(f"{USAGE}\n{error}", file=sys.stderr)
        return 2
    staged = staged_files(options.stage_dir)
    missing_shown = [name for name in SHOWN if name not in staged]
    if missing_shown:
        print("not in the staged bundle: " + ", ".join(missing_shown), file=sys.stderr)
        return 1
    try:
        archive = zipfile.ZipFile(options.packed)
    except (OSError, zipfile.BadZipFile) as error:
        print(f"cannot read {options.packed} as a zip archive: {error}", file=sys.stderr)
        return 1
    with archive:
        problems = differences(archive, staged, options.folder)
        if not problems:
            more, done = exe_checks(archive, options.folder, options)
            problems += more
        if problems:
            print("\n".join(problems), file=sys.stderr)
            return 1
        for name in SHOWN:
            size = archive.getinfo(options.folder + "/" + name).file_size
            print(f"{size:>10}  {options.folder}/{name}")
    print(f"{len(staged)} files, all equal to the staged bundle")
    for line in done:
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
