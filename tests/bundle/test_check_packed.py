"""The check that scripts/package.sh runs on the packed plug-in file: it
passes a faithful archive of the staged folder and names every file that is
missing, changed or extra."""

import os
import subprocess
import sys
import zipfile

import pytest

CHECKER = os.path.join(
    os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
    "tools", "bundle_check", "check_packed.py")
FOLDER = "com.example.plugin.sdPlugin"
STAGED = {
    "zorvaneplugin.exe": b"MZ" + bytes(range(256)) * 4,
    "manifest.json": b'{"UUID": "com.example.plugin"}\n',
    "inspector/index.html": b"<!doctype html>\n",
    "images/keys/pose@2x.png": b"\x89PNG pose",
}


def run_checker(*args):
    return subprocess.run([sys.executable, CHECKER, *args], capture_output=True, text=True)


@pytest.fixture
def stage(tmp_path):
    stage_dir = tmp_path / FOLDER
    for name, data in STAGED.items():
        (stage_dir / name).parent.mkdir(parents=True, exist_ok=True)
        (stage_dir / name).write_bytes(data)
    return stage_dir


def pack(tmp_path, files):
    packed = tmp_path / "plugin.streamDeckPlugin"
    with zipfile.ZipFile(packed, "w") as archive:
        archive.writestr(FOLDER + "/", b"")
        for name, data in files.items():
            archive.writestr(name, data)
    return packed


def archive_of_stage():
    return {FOLDER + "/" + name: data for name, data in STAGED.items()}


def test_a_faithful_archive_passes_and_shows_the_main_files(tmp_path, stage):
    result = run_checker(str(pack(tmp_path, archive_of_stage())), str(stage), FOLDER)
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    exe_size = len(STAGED["zorvaneplugin.exe"])
    assert lines[0].split() == [str(exe_size), FOLDER + "/zorvaneplugin.exe"]
    assert [line.split()[1] for line in lines[1:3]] == [
        FOLDER + "/manifest.json", FOLDER + "/inspector/index.html"]
    assert lines[3] == "4 files, all equal to the staged bundle"


@pytest.mark.parametrize("change, message", [
    (lambda files: files.pop(FOLDER + "/zorvaneplugin.exe"),
     "missing from the packed file: " + FOLDER + "/zorvaneplugin.exe"),
    (lambda files: files.update({FOLDER + "/images/keys/pose@2x.png": b"\x89PNG posf"}),
     FOLDER + "/images/keys/pose@2x.png in the packed file differs from the staged file"),
    (lambda files: files.update({FOLDER + "/debug.log": b"left over"}),
     "in the packed file but not in the bundle: " + FOLDER + "/debug.log"),
    (lambda files: files.update({"manifest.json": b"{}"}),
     "in the packed file but not in the bundle: manifest.json"),
])
def test_each_difference_fails_the_check_by_name(tmp_path, stage, change, message):
    files = archive_of_stage()
    change(files)
    result = run_checker(str(pack(tmp_path, files)), str(stage), FOLDER)
    assert result.returncode == 1
    assert message in result.stderr.splitlines()
    assert "all equal" not in result.stdout


def test_unusable_input_fails_with_a_message_not_a_traceback(tmp_path, stage):
    not_zip = tmp_path / "not-a-zip"
    not_zip.write_bytes(b"plain text")
    packed = pack(tmp_path, archive_of_stage())
    without_exe = tmp_path / "without-exe"
    without_exe.mkdir()
    (without_exe / "manifest.json").write_bytes(STAGED["manifest.json"])
    cases = [
        ([str(not_zip), str(stage), FOLDER], 1, "as a zip archive"),
        ([str(tmp_path / "absent.zip"), str(stage), FOLDER], 1, "as a zip archive"),
        ([str(packed), str(without_exe), FOLDER], 1,
         "not in the staged bundle: zorvaneplugin.exe, inspector/index.html"),
        ([str(packed)], 2, "usage: check_packed.py"),
    ]
    for args, code, message in cases:
        result = run_checker(*args)
        assert (result.returncode, "Traceback" in result.stderr) == (code, False), args
        assert message in result.stderr, args
        assert result.stdout == "", args
