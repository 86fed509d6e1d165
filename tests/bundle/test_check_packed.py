"""The checks that scripts/package.sh runs on the packed plug-in file: it
passes a faithful archive of the staged folder and names every file that is
missing, changed or extra; with options, it holds the packed exe's version
resource to the manifest, the exe's link to the notices and the exe to
containing no path of the building machine. Also the rewriting of the
packed file that makes the same files give the same bytes."""

import json
import os
import subprocess
import sys
import zipfile

import pytest

TOOLS = os.path.join(
    os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "tools")
CHECKER = os.path.join(TOOLS, "bundle_check", "check_packed.py")
FIXED_ZIP = os.path.join(TOOLS, "bundle_pack", "fixed_zip.py")
WINDRES = "x86_64-w64-mingw32-windres"
FOLDER = "com.example.plugin.sdPlugin"
NOTICES = (b"Third-party software\n\nexample 1.0\n"
           b"Linked into zorvaneplugin.exe: crt2.o, libstdc++.a\n\nThe copyright file\n")
STAGED = {
    "zorvaneplugin.exe": b"MZ" + bytes(range(256)) * 4,
    "manifest.json": b'{"UUID": "com.example.plugin", "Version": "1.2.0.0"}\n',
    "THIRD-PARTY-NOTICES.txt": NOTICES,
    "inspector/index.html": b"<!doctype html>\n",
    "images/keys/pose@2x.png": b"\x89PNG pose",
}


def run_checker(*args):
    return subprocess.run([sys.executable, CHECKER, *args], capture_output=True, text=True)


def write_stage(stage_dir, files):
    for name, data in files.items():
        (stage_dir / name).parent.mkdir(parents=True, exist_ok=True)
        (stage_dir / name).write_bytes(data)
    return stage_dir


@pytest.fixture
def stage(tmp_path):
    return write_stage(tmp_path / FOLDER, STAGED)


def pack(tmp_path, files):
    packed = tmp_path / "plugin.streamDeckPlugin"
    with zipfile.ZipFile(packed, "w") as archive:
        archive.writestr(FOLDER + "/", b"")
        for name, data in files.items():
            archive.writestr(name, data)
    return packed


def archive_of(files):
    return {FOLDER + "/" + name: data for name, data in files.items()}


def test_a_faithful_archive_passes_and_shows_the_main_files(tmp_path, stage):
    result = run_checker(str(pack(tmp_path, archive_of(STAGED))), str(stage), FOLDER)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    exe_size = len(STAGED["zorvaneplugin.exe"])
    assert lines[0].split() == [str(exe_size), FOLDER + "/zorvaneplugin.exe"]
    assert [line.split()[1] for line in lines[1:4]] == [
        FOLDER + "/manifest.json", FOLDER + "/THIRD-PARTY-NOTICES.txt",
        FOLDER + "/inspector/index.html"]
    assert lines[4:] == ["5 files, all equal to the staged bundle"]


@pytest.mark.parametrize("change, message", [
    (lambda files: files.pop(FOLDER + "/zorvaneplugin.exe"),
     "missing from the packed file: " + FOLDER + "/zorvaneplugin.exe"),
    (lambda files: files.pop(FOLDER + "/THIRD-PARTY-NOTICES.txt"),
     "missing from the packed file: " + FOLDER + "/THIRD-PARTY-NOTICES.txt"),
    (lambda files: files.update({FOLDER + "/images/keys/pose@2x.png": b"\x89PNG posf"}),
     FOLDER + "/images/keys/pose@2x.png in the packed file differs from the staged file"),
    (lambda files: files.update({FOLDER + "/debug.log": b"left over"}),
     "in the packed file but not in the bundle: " + FOLDER + "/debug.log"),
    (lambda files: files.update({"manifest.json": b"{}"}),
     "in the packed file but not in the bundle: manifest.json"),
])
def test_each_difference_fails_the_check_by_name(tmp_path, stage, change, message):
    files = archive_of(STAGED)
    change(files)
    result = run_checker(str(pack(tmp_path, files)), str(stage), FOLDER)
    assert result.returncode == 1
    assert message in result.stderr.splitlines()
    assert "all equal" not in result.stdout


def test_unusable_input_fails_with_a_message_not_a_traceback(tmp_path, stage):
    not_zip = tmp_path / "not-a-zip"
    not_zip.write_bytes(b"plain text")
    packed = pack(tmp_path, archive_of(STAGED))
    without_exe = tmp_path / "without-exe"
    without_exe.mkdir()
    (without_exe / "manifest.json").write_bytes(STAGED["manifest.json"])
    cases = [
        ([str(not_zip), str(stage), FOLDER], 1, "as a zip archive"),
        ([str(tmp_path / "absent.zip"), str(stage), FOLDER], 1, "as a zip archive"),
        ([str(packed), str(without_exe), FOLDER], 1, "not in the staged bundle: "
         "zorvaneplugin.exe, THIRD-PARTY-NOTICES.txt, inspector/index.html"),
        ([str(packed)], 2, "usage: check_packed.py"),
        ([str(packed), str(stage), FOLDER, "--windres"], 2, "usage: check_packed.py"),
    ]
    for args, code, message in cases:
        result = run_checker(*args)
        assert (result.returncode, "Traceback" in result.stderr) == (code, False), args
        assert message in result.stderr, args
        assert result.stdout == "", args


# ---- the packed exe


VERSION_RC = """\
#include <winver.h>
VS_VERSION_INFO VERSIONINFO
FILEVERSION {numbers}
PRODUCTVERSION {numbers}
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "FileVersion", "{text}"
      VALUE "ProductVersion", "{text}"
      VALUE "Comments", "built in /srv/build/zorvane"
    END
  END
END
"""


def make_exe(folder, version="1.2.0.0", stamped=False):
    """A small PE file linked by the MinGW toolchain, with a version resource
    of the given version (none for None)."""
    folder.mkdir(parents=True, exist_ok=True)
    objects = [str(folder / "empty.o")]
    subprocess.run(["x86_64-w64-mingw32-as", "-o", objects[0], "/dev/null"], check=True)
    if version:
        rc = folder / "version.rc"
        rc.write_text(VERSION_RC.format(numbers=version.replace(".", ","), text=version))
        objects.append(str(folder / "version.o"))
        subprocess.run([WINDRES, str(rc), "-O", "coff", "-o", objects[1]], check=True)
    exe = folder / "zorvaneplugin.exe"
    stamp = "--insert-timestamp" if stamped else "--no-insert-timestamp"
    subprocess.run(["x86_64-w64-mingw32-ld", "--entry=0", stamp, "-o", str(exe), *objects],
                   check=True)
    return exe.read_bytes()


LINK_MAP = """\
Archive member included to satisfy reference by file (symbol)

{third_party}(string-inst.o)
                              libzorvane_app.a(plugin_app.cpp.obj) (std::string)
libzorvane_app.a(plugin_app.cpp.obj)
                              CMakeFiles/zorvaneplugin.dir/app/main.cpp.obj (GetPluginApp())

Memory Configuration

LOAD /usr/x86_64-w64-mingw32/lib/crt2.o
LOAD CMakeFiles/zorvaneplugin.dir/app/main.cpp.obj
LOAD CMakeFiles/zorvaneplugin.dir/version.rc.res
LOAD libzorvane_app.a
LOAD {third_party}
LOAD /usr/x86_64-w64-mingw32/lib/libuuid.a
LOAD dll stuff
"""


def test_the_exe_checks_pass_a_faithful_exe_and_name_each_fault(tmp_path):
    good = make_exe(tmp_path / "good")
    manifest = json.loads(STAGED["manifest.json"])
    newer = json.dumps(dict(manifest, Version="1.3.0.0")).encode()
    link_map = tmp_path / "build" / "zorvaneplugin.map"
    link_map.parent.mkdir()
    link_map.write_text(LINK_MAP.format(third_party="/usr/lib/gcc/x86_64-w64-mingw32/libstdc++.a"))
    other_map = tmp_path / "other" / "zorvaneplugin.map"
    other_map.parent.mkdir()
    other_map.write_text(LINK_MAP.format(third_party="third-party/lib/libfoo.a"))
    checks = ["--windres", WINDRES, "--link-map", str(link_map), "--not-in-exe", "/home/builder"]
    cases = [
        ("faithful", {}, checks, []),
        ("another version", {"manifest.json": newer}, checks, [
            "zorvaneplugin.exe's FILEVERSION is 1.2.0.0, the manifest's Version 1.3.0.0",
            "zorvaneplugin.exe's PRODUCTVERSION is 1.2.0.0, the manifest's Version 1.3.0.0",
            "zorvaneplugin.exe's FileVersion is 1.2.0.0, the manifest's Version 1.3.0.0",
            "zorvaneplugin.exe's ProductVersion is 1.2.0.0, the manifest's Version 1.3.0.0"]),
        ("no version resource", {"zorvaneplugin.exe": make_exe(tmp_path / "bare", None)}, checks,
         ["zorvaneplugin.exe has no version resource"]),
        ("link time", {"zorvaneplugin.exe": make_exe(tmp_path / "stamped", stamped=True)}, checks,
         ["zorvaneplugin.exe's file header carries a link time"]),
        ("a library without notice", {}, ["--link-map", str(other_map)], [
            f"zorvaneplugin.exe links libfoo.a ({other_map.parent}/third-party/lib/libfoo.a), "
            "which has no notice in THIRD-PARTY-NOTICES.txt"]),
        ("a path in UTF-16", {}, ["--not-in-exe", "/srv/build"],
         ['zorvaneplugin.exe holds "/srv/build"']),
        ("a path in UTF-8", {"zorvaneplugin.exe": good + b"/home/builder/zorvane/app/main.cpp"},
         ["--not-in-exe", "/srv/other", "--not-in-exe", "/home/builder"],
         ['zorvaneplugin.exe holds "/home/builder"']),
    ]
    for name, changed, options, problems in cases:
        files = {**STAGED, "zorvaneplugin.exe": good, **changed}
        stage = write_stage(tmp_path / name / FOLDER, files)
        result = run_checker(str(pack(tmp_path / name, archive_of(files))), str(stage), FOLDER,
                             *options)
        assert "Traceback" not in result.stderr, name
        if not problems:
            assert result.returncode == 0, result.stderr
            assert result.stdout.splitlines()[-3:] == [
                "version 1.2.0.0 in the manifest and in zorvaneplugin.exe's version resource, "
                "which has no link time",
                "every third-party file that zorvaneplugin.exe's link used has its notice in "
                "THIRD-PARTY-NOTICES.txt",
                "zorvaneplugin.exe holds none of: /home/builder"], name
            continue
        assert result.returncode == 1, name
        found = result.stderr.splitlines()
        assert len(found) == len(problems), (name, found)
        for line, problem in zip(found, problems):
            assert line.startswith(problem), (name, line)


# ---- the same files give the same bytes


def test_the_rewritten_packed_file_depends_on_the_files_only(tmp_path):
    files = {FOLDER + "/manifest.json": b"{}", FOLDER + "/a/b.png": b"\x89PNG" * 99,
             FOLDER + "/THIRD-PARTY-NOTICES.txt": b"notices"}
    packed = []
    for index, (order, when) in enumerate([(sorted(files), (2026, 12, 10, 7, 0, 0)),
                                           (sorted(files, reverse=True), (2027, 1, 1, 0, 0, 2))]):
        path = tmp_path / f"{index}.streamDeckPlugin"
        with zipfile.ZipFile(path, "w") as archive:
            for name in order:
                entry = zipfile.ZipInfo(name, when)
                entry.extra = b"UT\x05\x00\x01" + bytes([index]) * 4
                entry.external_attr = 0o644 << 16
                archive.writestr(entry, files[name], zipfile.ZIP_DEFLATED)
        environment = dict(os.environ, SOURCE_DATE_EPOCH="1796886593")
        subprocess.run([sys.executable, FIXED_ZIP, str(path)], check=True, env=environment)
        packed.append(path.read_bytes())
    assert packed[0] == packed[1]
    with zipfile.ZipFile(tmp_path / "0.streamDeckPlugin") as archive:
        entries = archive.infolist()
        assert [e.filename for e in entries] == sorted(files)
        for entry in entries:
            assert (entry.date_time, entry.extra, entry.external_attr) == (
                (2026, 12, 10, 7, 9, 52), b"", 0o644 << 16)
            assert archive.read(entry) == files[entry.filename]
