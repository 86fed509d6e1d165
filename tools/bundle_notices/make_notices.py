#!/usr/bin/env python3
"""Writes the notices of every third-party component inside a program.

What the program contains is read from its build, not from a list kept by
hand: the linker's map names the archives and objects the link took code
from (link_map.py), and the compile commands of the program's own objects,
run again with -M, name every header those objects were compiled from.
Every such file that is not the program's own belongs to a component:

- a file under a --prefix folder, to the library built there from a Debian
  source package, whose copyright file and changelog the prefix carries in
  share/doc/<source package>/ (scripts/build-jsoncpp-mingw.sh puts them there);
- any other file, to the Debian package that installed it (dpkg-query -S),
  whose copyright file is /usr/share/doc/<package>/copyright.

Components are grouped by Debian source package. Each gets a section with
its version, the files the program holds from it and its copyright file as
Debian ships it; the licence texts those files name under
/usr/share/common-licenses/ follow at the end. A file that belongs to no
component, or a package without a copyright file, stops the run with exit
code 1 and nothing written: no program leaves without its notices.

The text holds no path of the build folder and no time, so that one commit
gives the same notices in any folder.

usage: make_notices.py --map MAP --compile-commands JSON --source-dir DIR
                       [--prefix DIR]... --exe EXE --objdump OBJDUMP
                       --version VERSION --output FILE
"""

from __future__ import annotations

import argparse
import concurrent.futures
import json
import os
import re
import shlex
import subprocess
import sys
from dataclasses import dataclass, field
from typing import Dict, Iterable, List, NamedTuple, Optional, Set

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from link_map import LinkInput, is_own, read_link_inputs  # noqa: E402

PROGRAM = "zorvaneplugin"
COMMON_LICENSES = "/usr/share/common-licenses/"
LICENCE_REFERENCE = re.compile(re.escape(COMMON_LICENSES) + r"([A-Za-z0-9+_.-]*[A-Za-z0-9+_-])")
RULE = "=" * 76
THIN_RULE = "-" * 76


class NoticeError(Exception):
    """Something the program holds has no notice to go with it."""


class Origin(NamedTuple):
    """Where one file comes from: a Debian package, or a library built here."""

    source: str  # the Debian source package
    source_version: str
    installed_as: str  # the binary package and its version, or how it was built
    copyright_of: str  # whose copyright file it is
    copyright: str  # the copyright file's text


@dataclass
class Component:
    """One Debian source package and what the program holds from it."""

    source: str
    version: str
    installed_as: Set[str] = field(default_factory=set)
    copyrights: Dict[str, Set[str]] = field(default_factory=dict)  # text -> copyright_of
    linked: Set[str] = field(default_factory=set)  # file names of archives and objects
    headers: int = 0


def run(command: List[str], cwd: Optional[str] = None) -> str:
    result = subprocess.run(command, cwd=cwd, capture_output=True, text=True)
    if result.returncode != 0:
        raise NoticeError(f"{shlex.join(command)} failed: {result.stderr.strip()}")
    return result.stdout


# ---- the headers the program's own objects were compiled from


def arguments_of(entry: dict) -> List[str]:
    return entry.get("arguments") or shlex.split(entry["command"])


def object_of(entry: dict) -> Optional[str]:
    """The object file a compile command writes (-o), as an absolute path."""
    arguments = arguments_of(entry)
    if "-o" not in arguments[:-1]:
        return None
    return os.path.normpath(os.path.join(entry["directory"], arguments[arguments.index("-o") + 1]))


def compiles_of(link_input: LinkInput, entries: List[dict], build_dir: str) -> List[dict]:
    """The compile commands that made an object, or an archive's members taken in."""
    if not link_input.members:
        return [e for e in entries if object_of(e) == link_input.path]
    target = os.path.basename(link_input.path)[len("lib") : -len(".a")]
    target_dir = os.path.join(build_dir, "CMakeFiles", target + ".dir") + os.sep
    found = []
    for member in link_input.members:
        made = [e for e in entries if (object_of(e) or "").startswith(target_dir)
                and os.path.basename(object_of(e)) == member]
        if len(made) != 1:
            raise NoticeError(f"cannot tell which compile made {member} of {link_input.path}")
        found += made
    return found


def files_read_by(entry: dict) -> List[str]:
    """The files a compile reads, as the compiler itself lists them (-M)."""
    arguments = arguments_of(entry)
    at = arguments.index("-o")
    rule = run(arguments[:at] + arguments[at + 2 :] + ["-M"], cwd=entry["directory"])
    names = rule.replace("\\\n", " ").split(":", 1)[1]
    return [os.path.join(entry["directory"], name.replace("\\ ", " "))
            for name in re.split(r"(?<!\\)\s+", names.strip())]


def third_party_headers(own: List[LinkInput], commands: List[dict], build_dir: str,
                        source_dir: str) -> Set[str]:
    """The headers of the own objects that are not in the source folder."""
    entries = []
    for link_input in own:
        made = compiles_of(link_input, commands, build_dir)
        # A compiled resource holds data only: it has no compile command with -o.
        if not made and not link_input.path.endswith(".res"):
            raise NoticeError(f"no compile command made {link_input.path}")
        entries += made
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        lists = list(pool.map(files_read_by, entries))
    ours = os.path.realpath(source_dir) + os.sep
    build = os.path.realpath(build_dir) + os.sep
    found = set()
    for path in (os.path.realpath(name) for names in lists for name in names):
        if not path.startswith(ours) or path.startswith(build):
            found.add(path)
    return found


# ---- where each file comes from


def prefix_origins(prefixes: Iterable[str]) -> Dict[str, Origin]:
    """Each --prefix folder (real path) -> the library built there."""
    origins = {}
    for prefix in prefixes:
        doc = os.path.join(prefix, "share", "doc")
        sources = sorted(os.listdir(doc)) if os.path.isdir(doc) else []
        if len(sources) != 1:
            raise NoticeError(f"{prefix} carries no single share/doc/<source package>/ folder")
        folder = os.path.join(doc, sources[0])
        with open(os.path.join(folder, "changelog.Debian"), encoding="utf-8") as f:
            heading = re.match(r"(\S+) \(([^)]+)\)", f.readline())
        if not heading:
            raise NoticeError(f"{folder}/changelog.Debian does not start with a version")
        with open(os.path.join(folder, "copyright"), encoding="utf-8") as f:
            text = f.read()
        source, version = heading.groups()
        built = "a static library built from it in the build folder"
        origins[os.path.realpath(prefix) + os.sep] = Origin(
            source, version, built, f"the source package {source}", text)
    return origins


def owning_packages(paths: List[str]) -> Dict[str, List[str]]:
    """path -> the Debian packages that installed it (dpkg-query -S)."""
    if not paths:
        return {}
    # dpkg-query fails when one path has no package, yet lists all the others.
    result = subprocess.run(["dpkg-query", "-S", *paths], capture_output=True, text=True)
    owners: Dict[str, List[str]] = {}
    for line in result.stdout.splitlines():
        packages, found, path = line.partition(": /")
        if found and not line.startswith("diversion by "):
            owners["/" + path] = [p.strip() for p in packages.split(",")]
    return owners


def package_origins(packages: Iterable[str]) -> Dict[str, Origin]:
    """package -> its source package, versions and copyright file."""
    packages = sorted(set(packages))
    if not packages:
        return {}
    fields = "${binary:Package}\t${Version}\t${source:Package}\t${source:Version}\n"
    origins = {}
    for line in run(["dpkg-query", "-W", "-f", fields, *packages]).splitlines():
        package, version, source, source_version = line.split("\t")
        name = package.split(":")[0]
        copyright_file = f"/usr/share/doc/{name}/copyright"
        if not os.path.isfile(copyright_file):
            raise NoticeError(f"the package {name} has no {copyright_file}")
        with open(copyright_file, encoding="utf-8") as f:
            text = f.read()
        origin = Origin(source, source_version, f"the package {name} {version}", name, text)
        origins[package] = origins[name] = origin
    return origins


def origins_of(files: Iterable[str], prefixes: Dict[str, Origin]) -> Dict[str, List[Origin]]:
    """Each file -> where it comes from; a file from nowhere known stops the run."""
    found: Dict[str, List[Origin]] = {}
    rest = []
    for path in files:
        real = os.path.realpath(path)
        prefix = next((p for p in prefixes if real.startswith(p)), None)
        if prefix:
            found[path] = [prefixes[prefix]]
        else:
            rest.append(path)
    owners = owning_packages(sorted(set(rest) | {os.path.realpath(p) for p in rest}))
    unowned = [p for p in rest if p not in owners and os.path.realpath(p) not in owners]
    if unowned:
        raise NoticeError("no Debian package and no --prefix holds " + ", ".join(sorted(unowned)))
    packages = package_origins(p for path in rest
                               for p in owners.get(path) or owners[os.path.realpath(path)])
    for path in rest:
        found[path] = [packages[p] for p in owners.get(path) or owners[os.path.realpath(path)]]
    return found


def components_of(linked: List[str], headers: Iterable[str], prefixes: Dict[str, Origin]):
    """The components, by source package, with what the program holds of each."""
    origins = origins_of(list(linked) + sorted(headers), prefixes)
    components: Dict[str, Component] = {}
    for path, path_origins in origins.items():
        for origin in path_origins:
            component = components.setdefault(
                origin.source, Component(origin.source, origin.source_version))
            component.installed_as.add(origin.installed_as)
            component.copyrights.setdefault(origin.copyright, set()).add(origin.copyright_of)
            if path in linked:
                component.linked.add(os.path.basename(path))
            else:
                component.headers += 1
    return components


# ---- the text


def licence_texts(copyrights: Iterable[str]) -> Dict[str, List[str]]:
    """The common licence files named in the copyright texts: file -> names used."""
    named: Dict[str, List[str]] = {}
    for text in copyrights:
        for name in LICENCE_REFERENCE.findall(text):
            path = os.path.realpath(COMMON_LICENSES + name)
            if not os.path.isfile(path):
                raise NoticeError(f"a copyright file names {path}, which is missing")
            if name not in named.setdefault(path, []):
                named[path].append(name)
    return named


def system_libraries(objdump: str, exe: str) -> List[str]:
    names = re.findall(r"DLL Name: (\S+)", run([objdump, "-p", exe]))
    return sorted(set(names), key=str.lower)


def heading(version: str, dlls: List[str], components: Dict[str, Component]) -> List[str]:
    lines = [
        f"Third-party software in the Zorvane plug-in for Stream Deck, version {version}",
        "",
        f"{PROGRAM}.exe, the plug-in's program, is linked statically: besides",
        "Brimcove's own code it holds parts of the components below. Each section",
        "names a component by the Debian source package it was built from, says",
        "what of it went into the program and gives the package's copyright",
        "file, with the component's copyright notices and licence terms. The",
        "licence texts that those files name by a path under",
        f'{COMMON_LICENSES} follow at the end, under "Licence texts".',
        "",
        "At run time the program also uses parts of Windows itself, which are",
        "not part of this plug-in and need no notice here: the libraries",
        "  " + ", ".join(dlls),
        "and the components it creates through them, such as the Windows",
        "Imaging Component, which decodes the thumbnails shown on a dial's strip.",
        "",
        "Components:",
    ]
    return lines + [f"  {c.source} {c.version}" for c in sorted_components(components)]


def sorted_components(components: Dict[str, Component]) -> List[Component]:
    return [components[source] for source in sorted(components)]


def section(component: Component) -> List[str]:
    lines = ["", RULE, f"{component.source} {component.version}", THIN_RULE,
             f"Built from the Debian source package {component.source} {component.version}, used",
             "here as " + " and ".join(sorted(component.installed_as)) + "."]
    if component.linked:
        lines.append(f"Linked into {PROGRAM}.exe: " + ", ".join(sorted(component.linked)))
    if component.headers:
        lines.append(f"Compiled into {PROGRAM}.exe: {component.headers} header files")
    # Packages of one source often ship the same copyright file: it is given once.
    for text, owners in sorted(component.copyrights.items(), key=lambda item: sorted(item[1])):
        whose = " and ".join(sorted(owners))
        lines += ["", f"The copyright file of {whose}:", "", text.rstrip("\n")]
    return lines


def licence_section(path: str, names: List[str]) -> List[str]:
    with open(path, encoding="utf-8") as f:
        text = f.read()
    called = " and ".join(COMMON_LICENSES + n for n in sorted(names))
    return ["", THIN_RULE, f"{os.path.basename(path)} (named above as {called})", THIN_RULE, "",
            text.rstrip("\n")]


def notices(version: str, dlls: List[str], components: Dict[str, Component]) -> str:
    lines = heading(version, dlls, components)
    for component in sorted_components(components):
        lines += section(component)
    texts = licence_texts(t for c in components.values() for t in c.copyrights)
    lines += ["", RULE, "Licence texts", RULE]
    for path in sorted(texts):
        lines += licence_section(path, texts[path])
    return "\n".join(lines) + "\n"


def parse_arguments(argv: List[str]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    for name in ("--map", "--compile-commands", "--source-dir", "--exe", "--objdump",
                 "--version", "--output"):
        parser.add_argument(name, required=True)
    parser.add_argument("--prefix", action="append", default=[])
    return parser.parse_args(argv)


def main(argv: List[str]) -> int:
    options = parse_arguments(argv)
    build_dir = os.path.dirname(os.path.abspath(options.map))
    try:
        with open(options.map, encoding="utf-8") as f:
            inputs = read_link_inputs(f.read(), build_dir)
        with open(options.compile_commands, encoding="utf-8") as f:
            commands = json.load(f)
        own = [i for i in inputs if is_own(i.path, build_dir, PROGRAM)]
        linked = [i.path for i in inputs if i not in own]
        headers = third_party_headers(own, commands, build_dir, options.source_dir)
        components = components_of(linked, headers, prefix_origins(options.prefix))
        text = notices(options.version, system_libraries(options.objdump, options.exe), components)
    except (NoticeError, OSError) as error:
        print(f"make_notices.py: {error}", file=sys.stderr)
        return 1
    os.makedirs(os.path.dirname(os.path.abspath(options.output)), exist_ok=True)
    with open(options.output, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
