"""Faults inside one event or notification lose only that one: the plug-in
runs out of memory for a key image (an address-space limit makes a 256 MiB
image fail to load) on the session worker and on the main thread, and goes
on with the next event and the next notification."""

import os
import shutil

import pytest

from conftest import CALIBRATE, QUICKSLOT, QUICKSLOT_STATE, Messages, appear, send

ADDRESS_SPACE_LIMIT = 300 << 20
SANITIZED = os.environ.get("ZORVANE_SANITIZED") == "1"


@pytest.mark.native_only("an address-space limit is a Linux process limit")
def test_out_of_memory_loses_only_the_event_or_notification(make_host, make_desktop, plugin_cmd, tmp_path):
    if SANITIZED:
        pytest.skip("sanitizers reserve far more address space than the limit allows")
    if shutil.which("prlimit") is None:
        pytest.skip("prlimit (util-linux) is not installed")
    huge = tmp_path / "huge.png"
    with open(huge, "wb") as image:
        image.truncate(256 << 20)  # sparse: no disk space, but a 256 MiB image
    small = tmp_path / "small.png"
    small.write_bytes(b"\x89PNG small")
    host = make_host(command=["prlimit", f"--as={ADDRESS_SPACE_LIMIT}", "--"] + plugin_cmd)
    host.launch()
    host.wait_for_registration()
    desktop = make_desktop()
    marks = Messages(host)

    appear(host, QUICKSLOT, "huge", {"value": 5, "image": str(huge)})  # fails on the session worker
    appear(host, QUICKSLOT, "small", {"value": 6, "image": str(small)})
    assert marks.wait(1)[0]["context"] == "small"

    send(host, "keyUp", CALIBRATE, "c")  # tells the desktop where to answer
    desktop.wait_for_commands(1)
    assert desktop.notify_json(QUICKSLOT_STATE, {"value1": "5", "value2": True}) == 1  # fails on the main thread
    assert desktop.notify_json(QUICKSLOT_STATE, {"value1": "6", "value2": True}) == 1
    assert marks.wait(1)[0]["context"] == "small"

    host.close()
    assert host.wait_exit() == (0, b"", b"")
