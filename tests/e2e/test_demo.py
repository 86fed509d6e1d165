"""The narrated demo of tools/streamdeck_host: the real plug-in between the
stand-in Stream Deck application and the stand-in desktop application, whose
command comes from ZORVANE_DESKTOP_CMD (split like the plug-in's command)."""

import os
import re
import shlex
import subprocess
import sys
from pathlib import Path

import pytest

TOOLS = Path(__file__).resolve().parents[2] / "tools"
DESKTOP_CMD = os.environ.get("ZORVANE_DESKTOP_CMD", "")

# One phrase for each step of the session, in the order the steps come.
STEPS = [
    '"ZORVANEDESKTOP" has handle 0x',
    "starts the plug-in",
    'The plug-in connects and registers: event "registerPlugin", UUID ',
    "A broadcast key appears",
    "A pose key for pose 2 appears",
    'An emote key for "Wave" appears',
    'A quick-slot key for slot "5" appears',
    "the plug-in shows that image on the key (setImage,",
    "the desktop application receives: broadcast (kind 0x80000, no text).",
    'the desktop application receives: pose 2 (kind 0x80003, {"value1":2}).',
    "the desktop application receives: emote 'Wave' (kind 0x80008, {\"value1\":\"Wave\"}).",
    "the desktop application receives: quick slot '5' (kind 0x8000C, {\"value1\":\"5\"}).",
    "the desktop application receives: get emote list (kind 0x80009, no text).",
    "the plug-in passes it unchanged to the emote key's property inspector.",
    "the plug-in sets the broadcast key to state 1.",
    "the plug-in sets the pose key to state 1.",
    "the plug-in sends the quick-slot key its image again.",
    'A Change Avatar action appears on dial 0, its stored avatar "fox"; the strip shows [Change Avatar | fox]',
    "the desktop application receives: get avatar list (kind 0x80006, no text).",
    "and their thumbnails (fox.png, a 2048x2048 px PNG; owl.png, a 1024x1024 px PNG; cat.jpg, a 1536x1024 px JPEG)",
    "the strip names it: [Change Avatar | Fox Ember | 0 %] and a 48x48 px icon (",
    "characters of PNG data URL), fox.png fitted to it",
    'The dial turns one step clockwise; the plug-in stores "owl" labelled "Owl Nightwatch" (setSettings)'
    " and the strip shows [Change Avatar | Owl Nightwatch | 50 %] and a 48x48 px icon (",
    "characters of PNG data URL), owl.png fitted to it",
    'past the last avatar to the first; the plug-in stores "fox" labelled "Fox Ember" (setSettings)'
    " and the strip shows [Change Avatar | Fox Ember | 0 %] and a 48x48 px icon (",
    "characters of PNG data URL), fox.png fitted to it",
    'from the first avatar to the last; the plug-in stores "cat" labelled "Cat Whiskers" (setSettings)'
    " and the strip shows [Change Avatar | Cat Whiskers | 100 %] and a 48x32 px icon (",
    "characters of PNG data URL), cat.jpg fitted to it",
    "The dial is pushed and released; the desktop application receives: change avatar 'cat'"
    ' (kind 0x80004, {"value1":"cat"}).',
    "The desktop application quits (exit code 0).",
    '{"appDidClose": true} and sets the broadcast and pose keys back to state 0.',
    "the plug-in exits with code 0, silently.",
    "Demo finished: every step had the expected effect.",
]


@pytest.fixture
def desktop_cmd():
    if not DESKTOP_CMD:
        pytest.skip("ZORVANE_DESKTOP_CMD is not set, so there is no stand-in desktop application")
    return DESKTOP_CMD


def run_demo(plugin_cmd, desktop_cmd, env, hang_guard):
    return subprocess.run(
        [sys.executable, str(TOOLS / "streamdeck_host"), "demo", "--timeout", str(hang_guard),
         "--desktop", desktop_cmd, "--", *plugin_cmd],
        env=env,
        stdin=subprocess.DEVNULL,
        capture_output=True,
        text=True,
        timeout=hang_guard * 10,
    )


def test_demo_goes_through_every_step_and_ends_with_a_clean_exit(plugin_cmd, desktop_cmd, plugin_env, hang_guard):
    demo = run_demo(plugin_cmd, desktop_cmd, plugin_env, hang_guard)
    assert (demo.returncode, demo.stderr) == (0, ""), demo.stdout
    assert "FAILED" not in demo.stdout
    position = 0
    for phrase in STEPS:
        found = demo.stdout.find(phrase, position)
        assert found >= 0, f"{phrase!r} missing (or out of order) in:\n{demo.stdout}"
        position = found + len(phrase)
    numbered = re.findall(r"^ ?\d+\. ", demo.stdout, re.MULTILINE)
    assert len(numbered) == 25, demo.stdout


def test_demo_fails_with_a_plain_message_when_the_desktop_application_cannot_start(
        plugin_cmd, plugin_env, hang_guard, tmp_path):
    missing = shlex.quote(str(tmp_path / "no-such-desktop-application"))
    demo = run_demo(plugin_cmd, missing, plugin_env, hang_guard)
    assert demo.returncode == 1
    assert "FAILED: the desktop application could not be started" in demo.stdout
    assert "Demo finished" not in demo.stdout
