"""The host driver against the real plug-in and against plug-ins of another
make that misbehave: a run passes only when every reply is right, and a
wrong, missing or late reply fails it with exit code 1 and a clear message,
with the plug-in process cleaned up.

ZORVANE_HOST_DRIVER is the driver (its bench command), ZORVANE_PLUGIN_CMD the real plug-in.
"""

import json
import os
import shutil
import subprocess
from pathlib import Path

import pytest

DRIVER = os.environ.get("ZORVANE_HOST_DRIVER", "")
PLUGIN = os.environ.get("ZORVANE_PLUGIN_CMD", "")
FAKE_PLUGIN = str(Path(__file__).with_name("fake_plugin.py"))
PICTURES = Path(__file__).resolve().parents[1] / "platform" / "pictures"

# Small counts: these runs check the driver, not the plug-in's speed.
QUICK = ["--sequential", "20", "--pipelined", "300", "--stalled", "300", "--stall-seconds", "0.5",
         "--presses", "20", "--turns", "50", "--idle-seconds", "0.2", "--hang-guard", "20"]
# The fake has no desktop link and no dials; its faults show up in the first burst of replies.
FAKE_QUICK = ["--sequential", "8", "--pipelined", "8", "--stalled", "8", "--stall-seconds", "0.2",
              "--presses", "0", "--turns", "0", "--idle-seconds", "0", "--image-mib", "none",
              "--hang-guard", "3"]
EVERY_FIGURE = {
    "startup_ms", "rss_after_registration_mib", "threads_after_registration", "idle_wakeups",
    "cpu_per_event_sequential_us", "cpu_per_event_pipelined_us", "pipelined_replies_per_s",
    "host_busy_during_burst_percent", "rss_after_burst_mib", "rss_stalled_mib",
    "keyup_latency_median_ms", "keyup_latency_p99_ms", "list_entry_shown_ms", "list_pictures_ms",
    "list_pictures_cpu_ms", "rss_after_list_mib", "hwm_list_pictures_mib", "cpu_per_turn_us",
    "bytes_per_turn", "rss_after_turns_mib", "rss_turns_stalled_mib", "hwm_session_mib", "exit_ms",
    "image_peak_multiple_1mib",
}
# Only the dial: a wrong picture shows up in the list's first frame.
DIAL_ONLY = ["--sequential", "0", "--pipelined", "0", "--stalled", "0", "--presses", "0",
             "--turns", "10", "--idle-seconds", "0", "--image-mib", "none", "--hang-guard", "20"]


@pytest.fixture(scope="module", autouse=True)
def programs():
    if not DRIVER or not PLUGIN:
        pytest.skip("ZORVANE_HOST_DRIVER and ZORVANE_PLUGIN_CMD name the driver and the plug-in")


def run(plugin, options, **env):
    return subprocess.run([DRIVER, "bench", plugin, *options], env={**os.environ, **env},
                          capture_output=True, text=True, timeout=120)


def dial_library(folder):
    """Three files shared by the dial's entries: a JPEG, which the dial shows
    first, a PNG, and a file that is refused and shows the action's own picture."""
    folder.mkdir()
    for name in ["corrupt.png", "jpeg_progressive.jpg", "png_interlaced.png"]:
        shutil.copy(PICTURES / name, folder / name)
    return str(folder)


def test_the_real_plugin_passes_and_every_figure_is_written(tmp_path):
    result = run(PLUGIN, QUICK + ["--image-mib", "1", "--json", str(tmp_path / "figures.json"),
                                  "--dial-library", dial_library(tmp_path / "library")])
    assert result.returncode == 0, result.stderr
    figures = json.loads((tmp_path / "figures.json").read_text())["figures"]
    assert set(figures) == EVERY_FIGURE
    for key, figure in figures.items():
        assert figure["value"] >= 0, key
        assert figure["label"] in result.stdout, key
    assert figures["threads_after_registration"]["value"] >= 1
    assert figures["image_peak_multiple_1mib"]["value"] > 1  # at least the Base64 text itself
    assert "replies read during the stall" in figures["rss_stalled_mib"]["note"]


def test_a_correct_plugin_of_another_make_passes():
    result = run(FAKE_PLUGIN, FAKE_QUICK[:-4] + ["--image-mib", "1", "--hang-guard", "20"])
    assert result.returncode == 0, result.stderr


@pytest.mark.parametrize("fault, skipped, message", [
    ("garble", [], "reply 3 of 8: the setImage of key BENCHKEY"),
    ("drop", [], "reply 3 of 8 did not arrive within 3000 ms"),
    ("swap", ["--sequential"], "(a reply lost, repeated or out of order)"),
    ("repeat", [], "(a reply lost, repeated or out of order)"),
    ("crash", [], "the connection to the plug-in ended with 6 replies still missing"),
    ("silent", [], "the plug-in did not register within 3000 ms"),
    ("linger", [], "the plug-in did not exit within 3000 ms"),
])
def test_a_faulty_plugin_fails_the_run_and_is_cleaned_up(tmp_path, fault, skipped, message):
    options = list(FAKE_QUICK)
    for name in skipped:
        options[options.index(name) + 1] = "0"
    pidfile = tmp_path / "pid"
    result = run(FAKE_PLUGIN, options, ZORVANE_FAKE_FAULT=fault, ZORVANE_FAKE_PIDFILE=str(pidfile))
    assert result.returncode == 1, result.stdout
    assert "bench: FAILED: " in result.stderr
    assert message in result.stderr
    assert not Path(f"/proc/{pidfile.read_text()}").exists()


@pytest.mark.parametrize("options, message", [
    (["--strip-pictures", "small-png"],
     "reply 1 of 1: the setFeedback of key BENCHDIAL differs from the expected text"),
    (["--dial-library", "/nonexistent"], "the dial library /nonexistent holds no files"),
])
def test_a_wrong_picture_or_no_library_fails_the_dial_phase(options, message):
    result = run(PLUGIN, DIAL_ONLY + options)
    assert result.returncode == 1, result.stdout
    assert message in result.stderr


def test_a_plugin_that_cannot_start_fails_the_run(tmp_path):
    result = run(str(tmp_path / "missing"), FAKE_QUICK)
    assert result.returncode == 1
    assert "cannot start the plug-in" in result.stderr


def test_a_plugin_that_ends_before_registering_fails_at_once():
    result = run("/bin/false", FAKE_QUICK[:-2] + ["--hang-guard", "60"])
    assert result.returncode == 1
    assert "the plug-in ended with exit code 1 before it registered" in result.stderr


def test_a_usage_mistake_is_told():
    result = run(PLUGIN, ["--pipelined", "many"])
    assert result.returncode == 2
    assert "bad option or value: --pipelined many" in result.stderr
