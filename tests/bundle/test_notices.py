"""The notices that the Windows build writes beside zorvaneplugin.exe
(tools/bundle_notices/make_notices.py), made here from a small build of the
host's own: a link map that names a Debian package's object, an archive of
the program's own and a program object whose compile reads a Debian
package's header. Every such file is given its package's notice, the same
text from any build folder; a file that no package installed stops it."""

import json
import os
import subprocess
import sys

import pytest

MAKE_NOTICES = os.path.join(
    os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
    "tools", "bundle_notices", "make_notices.py")
# A file of the C library's development package, in every build of the host.
DEBIAN_OBJECT = "/usr/lib/x86_64-linux-gnu/crt1.o"

LINK_MAP = """\
Archive member included to satisfy reference by file (symbol)

libzorvane_app.a(plugin_app.cpp.obj)
                              CMakeFiles/zorvaneplugin.dir/main.cpp.obj (GetPluginApp())
{archive_member}
Memory Configuration

LOAD {debian_object}
LOAD CMakeFiles/zorvaneplugin.dir/main.cpp.obj
LOAD libzorvane_app.a
{archive_load}LOAD dll stuff
"""


def make_build(root, header_dir=None, archive=None):
    """A source folder and a build folder whose link and compiles used
    crt1.o, <vector> and, when given, a header of header_dir and an archive."""
    source = root / "source"
    build = source / "build"
    (build / "CMakeFiles").mkdir(parents=True)
    include = f'#include "{header_dir}/third.h"\n' if header_dir else ""
    (source / "main.cpp").write_text(include + "#include <vector>\nint main() { return 0; }\n")
    (source / "plugin_app.cpp").write_text("#include <string>\n")
    commands = [
        {"directory": str(build), "file": str(source / name),
         "command": f"g++ -std=c++17 -o {obj} -c {source / name}"}
        for name, obj in [("main.cpp", "CMakeFiles/zorvaneplugin.dir/main.cpp.obj"),
                          ("plugin_app.cpp", "CMakeFiles/zorvane_app.dir/plugin_app.cpp.obj")]]
    (build / "compile_commands.json").write_text(json.dumps(commands))
    member = f"{archive}(third.o)\n    libzorvane_app.a(plugin_app.cpp.obj) (third)\n"
    (build / "zorvaneplugin.map").write_text(LINK_MAP.format(
        archive_member=member if archive else "", debian_object=DEBIAN_OBJECT,
        archive_load=f"LOAD {archive}\n" if archive else ""))
    return source, build


def make_notices(source, build):
    output = build / "bundle" / "THIRD-PARTY-NOTICES.txt"
    result = subprocess.run(
        [sys.executable, MAKE_NOTICES, "--map", str(build / "zorvaneplugin.map"),
         "--compile-commands", str(build / "compile_commands.json"), "--source-dir", str(source),
         "--exe", DEBIAN_OBJECT, "--objdump", "objdump", "--version", "1.2.0.0",
         "--output", str(output)], capture_output=True, text=True)
    return result, output


def package_of(path):
    found = subprocess.run(["dpkg-query", "-S", path], capture_output=True, text=True, check=True)
    return found.stdout.split(":")[0]


def test_every_used_file_gets_its_package_notice_the_same_from_any_folder(tmp_path):
    texts = []
    for folder in ("one", "two/deeper"):
        result, output = make_notices(*make_build(tmp_path / folder))
        assert (result.returncode, result.stderr) == (0, "")
        texts.append(output.read_text())
    assert texts[0] == texts[1]
    text = texts[0]
    assert str(tmp_path) not in text
    libc = package_of(DEBIAN_OBJECT)
    with open(f"/usr/share/doc/{libc}/copyright", encoding="utf-8") as f:
        assert f.read().rstrip("\n") in text
    assert "Linked into zorvaneplugin.exe: crt1.o\n" in text
    # <vector> is the C++ library's: a section of its own, counting the headers.
    vector = package_of(os.path.realpath("/usr/include/c++/12/vector"))
    assert f"the package {vector} " in text
    assert "Compiled into zorvaneplugin.exe: " in text
    # The licence texts that the copyright files name follow at the end.
    assert "\nLicence texts\n" in text and "GNU LESSER GENERAL PUBLIC LICENSE" in text


@pytest.mark.parametrize("what", ["archive", "header"])
def test_a_file_that_no_package_installed_stops_the_notices(tmp_path, what):
    third_party = tmp_path / "third-party"
    third_party.mkdir()
    (third_party / "third.h").write_text("inline int third() { return 3; }\n")
    (third_party / "libthird.a").write_bytes(b"!<arch>\n")
    if what == "archive":
        source, build = make_build(tmp_path, archive=third_party / "libthird.a")
    else:
        source, build = make_build(tmp_path, header_dir=third_party)
    result, output = make_notices(source, build)
    assert result.returncode == 1
    assert result.stderr.startswith("make_notices.py: no Debian package and no --prefix holds ")
    assert str(third_party / ("libthird.a" if what == "archive" else "third.h")) in result.stderr
    assert not output.exists()
