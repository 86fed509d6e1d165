"""Start-up inside an installed plug-in folder: whatever the language file of
the folder holds, the plug-in starts, registers and exits 0 on close.

The executable (the last word of the plug-in command) is copied into
<tmp>/com.brimcove.zorvaneplugin.sdPlugin/bin/, where start-up finds the
folder and reads "<language>.json" from it.
"""

import json
import shutil
from pathlib import Path

import pytest

from streamdeck_host import registration_text

FOLDER_NAME = "com.brimcove.zorvaneplugin.sdPlugin"


@pytest.fixture
def installed(tmp_path, plugin_cmd, make_host):
    """(plug-in folder, host whose plug-in command runs the copy in that folder)."""
    folder = tmp_path / FOLDER_NAME
    (folder / "bin").mkdir(parents=True)
    executable = Path(plugin_cmd[-1])
    copy = folder / "bin" / executable.name
    shutil.copy2(executable, copy)
    host = make_host(command=plugin_cmd[:-1] + [str(copy)], info=json.dumps({"application": {"language": "de"}}))
    return folder, host


def write(name, content):
    return lambda folder: (folder / name).write_text(content, encoding="utf-8")


LANGUAGE_FILES = {
    "usual-table": write("de.json", json.dumps({"Localization": {"Broadcast": "Senden", "Pose": "Haltung"}})),
    "table-with-comments": write("de.json", '// German\n{"Localization": {/* key */ "Pose": "Haltung"}}'),
    "no-file": lambda folder: None,
    "empty-file": write("de.json", ""),
    "not-json": write("de.json", "Localization = Senden"),
    "unclosed-object": write("de.json", '{"Localization": {"Pose": "Haltung"}'),
    "root-an-array": write("de.json", json.dumps([{"Localization": {}}])),
    "localization-an-array": write("de.json", json.dumps({"Localization": ["Senden"]})),
    "localization-missing": write("de.json", json.dumps({"Other": {}})),
    "nested-too-deep": write("de.json", '{"Localization":' * 1200 + "{}" + "}" * 1200),
    "unclosed-deep-array": write("de.json", "[" * 100000),
    "a-folder-by-that-name": lambda folder: (folder / "de.json").mkdir(),
    "invalid-utf-8": lambda folder: (folder / "de.json").write_bytes(b'{"Localization": {"Pose": "\xff\xfe"}}'),
}


@pytest.mark.parametrize("prepare", LANGUAGE_FILES.values(), ids=LANGUAGE_FILES.keys())
def test_any_language_file_lets_the_plugin_start_and_end_cleanly(installed, prepare):
    folder, host = installed
    prepare(folder)
    host.launch()
    registration = host.wait_for_registration()
    assert (registration.kind, registration.data) == ("text", registration_text(host.register_event, host.uuid))
    host.ping()
    host.close()
    assert host.wait_exit() == (0, b"", b"")
