"""What a program's link used, read from the GNU linker's map file (-Map).

The map lists every file the linker loaded ("LOAD <path>") and, at its top,
every archive member it took in ("<archive>(<member>)"). An object file that
was loaded is in the program whole; an archive is in it through the members
taken in, and not at all when none was. Paths in the map are as the linker was
given them, relative to the folder it ran in: the build folder.

The program's own inputs are its object files (CMakeFiles/<program>.dir/) and
the archives of the product's layers (libzorvane_*.a) in the build folder;
every other input is third-party.
"""

from __future__ import annotations

import os
import re
from typing import Dict, List, NamedTuple, Tuple

ARCHIVE_MEMBER = re.compile(r"^(\S+)\(([^()\s]+)\)(?:\s|$)")
# Names that the linker lists as loaded but that are none of the files.
LINKER_OWN = {"dll stuff", "linker stubs"}
OWN_ARCHIVE = re.compile(r"libzorvane_\w+\.a")


class LinkInput(NamedTuple):
    path: str  # absolute, normalised
    members: Tuple[str, ...]  # for an archive, the members taken in; () for an object


def read_link_inputs(map_text: str, build_dir: str) -> List[LinkInput]:
    """Every file that put code or data into the program, in the order loaded."""
    members: Dict[str, List[str]] = {}
    loaded: List[str] = []
    in_members = False
    for line in map_text.splitlines():
        if line.startswith("Archive member included"):
            in_members = True
            continue
        if in_members and line and not line[0].isspace():
            found = ARCHIVE_MEMBER.match(line)
            if found:
                archive = absolute(found.group(1), build_dir)
                members.setdefault(archive, []).append(found.group(2))
            else:
                in_members = False
        if line.startswith("LOAD "):
            name = line[len("LOAD ") :].strip()
            if name not in LINKER_OWN:
                loaded.append(absolute(name, build_dir))
    inputs = []
    for path in dict.fromkeys(loaded):
        if path.endswith(".a"):
            if path in members:
                inputs.append(LinkInput(path, tuple(members[path])))
        else:
            inputs.append(LinkInput(path, ()))
    return inputs


def absolute(path: str, build_dir: str) -> str:
    return os.path.normpath(os.path.join(build_dir, path))


def is_own(path: str, build_dir: str, program: str) -> bool:
    """Whether a link input is the program's own code rather than third-party."""
    relative = os.path.relpath(path, build_dir)
    if relative.startswith(os.path.join("CMakeFiles", program + ".dir") + os.sep):
        return True
    return OWN_ARCHIVE.fullmatch(relative) is not None
