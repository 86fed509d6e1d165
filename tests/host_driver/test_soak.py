"""The host driver's soak command against the real plug-in, and against the real plug-in
wrapped so that it misbehaves in the ways a soak must catch: output on its
standard error (a sanitizer's report), a bad exit code, a run too short to
judge its memory.

ZORVANE_HOST_DRIVER is the driver (its soak command), ZORVANE_PLUGIN_CMD the real plug-in.
"""

import os
import subprocess

import pytest

DRIVER = os.environ.get("ZORVANE_HOST_DRIVER", "")
PLUGIN = os.environ.get("ZORVANE_PLUGIN_CMD", "")
# Short windows: these runs check the driver, not the plug-in's memory.
SHORT = ["--seconds", "6", "--warm-up", "1", "--window", "2", "--hang-guard", "20",
         "--events-per-ms", "0.5", "--notifications-per-ms", "0.5"]


@pytest.fixture(scope="module", autouse=True)
def programs():
    if not DRIVER or not PLUGIN:
        pytest.skip("ZORVANE_HOST_DRIVER and ZORVANE_PLUGIN_CMD name the driver and the plug-in")


def run(plugin, options):
    return subprocess.run([DRIVER, "soak", plugin, *options], capture_output=True, text=True,
                          timeout=120)


def wrapped(tmp_path, before, after=""):
    """The real plug-in behind a shell script that does `before` and `after`."""
    script = tmp_path / "plugin.sh"
    script.write_text(f'#!/bin/sh\n{before}\n"{PLUGIN}" "$@"\nstatus=$?\n{after}\nexit $status\n')
    script.chmod(0o755)
    return str(script)


def test_the_real_plugin_passes_and_the_table_is_printed():
    result = run(PLUGIN, SHORT)
    assert result.returncode == 0, result.stderr
    for label in ("Stream Deck events sent", "key release commands delivered, in order",
                  "desktop notifications sent, all accepted", "VmRSS after warm-up",
                  "VmRSS at the end"):
        assert label in result.stdout
    assert "FAILED" not in result.stderr


def test_anything_the_plugin_writes_fails_the_run(tmp_path):
    report = "==4242==ERROR: AddressSanitizer: heap-use-after-free"
    result = run(wrapped(tmp_path, f"echo '{report}' >&2"), SHORT)
    assert result.returncode == 1
    assert "soak: FAILED: the plug-in wrote" in result.stderr
    assert report in result.stderr


def test_a_plugin_that_exits_badly_after_the_close_fails_the_run(tmp_path):
    result = run(wrapped(tmp_path, "", "status=66"), SHORT)
    assert result.returncode == 1
    assert "the plug-in ended with exit code 66 after the host closed the connection" in \
        result.stderr


def test_a_run_too_short_to_judge_memory_fails(tmp_path):
    result = run(PLUGIN, ["--seconds", "3", "--warm-up", "1", "--window", "2"])
    assert result.returncode == 1
    assert "resident memory is not flat: not judged" in result.stderr


def test_a_usage_mistake_is_told():
    result = run(PLUGIN, ["--seconds", "soon"])
    assert result.returncode == 2
    assert "bad option or value: --seconds soon" in result.stderr
