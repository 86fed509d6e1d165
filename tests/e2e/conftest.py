"""Fixtures for the end-to-end tests of the plug-in process.

The plug-in command comes from ZORVANE_PLUGIN_CMD, split like a shell would
split it, e.g. "build/zorvaneplugin" or "wine build-win/zorvaneplugin.exe".
Every test drives one real plug-in process through the stand-in Stream Deck
application in tools/streamdeck_host.

ZORVANE_E2E_TIMEOUT (seconds, default 60) bounds every wait. It only guards
against hangs: Wine takes seconds to start a process, and no test depends on
how fast anything happens.
"""

import json
import os
import shlex
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))

from desktop_standin import DesktopStandIn  # noqa: E402
from streamdeck_host import StreamDeckHost, plugin_environment, runs_under_wine  # noqa: E402

PLUGIN_CMD = shlex.split(os.environ.get("ZORVANE_PLUGIN_CMD", ""))
DESKTOP_CMD = shlex.split(os.environ.get("ZORVANE_DESKTOP_CMD", ""))
UNDER_WINE = runs_under_wine(PLUGIN_CMD)
HANG_GUARD = float(os.environ.get("ZORVANE_E2E_TIMEOUT", "60"))

PREFIX = "com.brimcove.zorvaneplugin."
BROADCAST, CALIBRATE, SPECIAL, POSE = (PREFIX + a for a in ("broadcast", "calibrate", "specialaction", "pose"))
EMOTE, QUICKSLOT, AVATAR, BACKGROUND, IDLE = (
    PREFIX + a for a in ("emote", "quickslot", "changeavatar", "changebackground", "idle"))

# Kind codes of the desktop application's notifications.
REFRESH, BROADCAST_STATE, POSE_STATE = 0x160000, 0x160001, 0x160002
EMOTE_LIST, QUICKSLOT_STATE = 0x160005, 0x160009


def value1(value):
    return (json.dumps({"value1": value}, separators=(",", ":")) + "\n").encode() + b"\0"


# What a key release sends for each action: (action, stored settings, kind of
# the command, its exact bytes).
KEY_RELEASES = [
    (BROADCAST, {"value": 5}, 0x80000, b""),
    (CALIBRATE, {}, 0x80001, b""),
    (SPECIAL, {"value": 7}, 0x80002, value1(7)),
    (POSE, {"value": 3.9}, 0x80003, value1(3)),
    (AVATAR, {"value": "Fox \"Ember\""}, 0x80004, b'{"value1":"Fox \\"Ember\\""}\n\0'),
    (BACKGROUND, {"value": "C:\\bg\\beach.png"}, 0x80005, b'{"value1":"C:\\\\bg\\\\beach.png"}\n\0'),
    (EMOTE, {"value": 12}, 0x80008, value1("12")),
    (QUICKSLOT, {"value": "Slot 1"}, 0x8000C, value1("Slot 1")),
    (IDLE, {"value": -1}, 0x8000E, value1(-1)),
]


def pytest_configure(config):
    config.addinivalue_line("markers", "native_only(reason): the case does not carry over to the Wine run")


def pytest_collection_modifyitems(config, items):
    for item in items:
        marker = item.get_closest_marker("native_only")
        if UNDER_WINE and marker is not None:
            item.add_marker(pytest.mark.skip(reason=marker.args[0] if marker.args else "native build only"))


@pytest.fixture(scope="session")
def plugin_cmd():
    if not PLUGIN_CMD:
        pytest.skip("ZORVANE_PLUGIN_CMD is not set, so there is no plug-in to test")
    return PLUGIN_CMD


@pytest.fixture(scope="session")
def hang_guard():
    """Seconds after which a wait counts as a hang."""
    return HANG_GUARD


@pytest.fixture(scope="session")
def plugin_env(plugin_cmd, tmp_path_factory):
    env = plugin_environment(plugin_cmd)
    # On POSIX the desktop link lives under XDG_RUNTIME_DIR: a folder of our
    # own keeps the plug-ins under test away from any desktop application
    # (real or stand-in) running on this machine.
    runtime_dir = tmp_path_factory.mktemp("runtime")
    runtime_dir.chmod(0o700)
    env["XDG_RUNTIME_DIR"] = str(runtime_dir)
    return env


@pytest.fixture
def make_host(plugin_cmd, plugin_env):
    """Makes started stand-in Stream Deck applications: ``command`` replaces
    the plug-in command, other keyword arguments go to StreamDeckHost. Each is
    stopped, and a plug-in still running under it killed, when the test ends."""
    hosts = []

    def make(command=None, **options):
        stand_in = StreamDeckHost(command or plugin_cmd, env=plugin_env, timeout=HANG_GUARD, **options)
        hosts.append(stand_in)
        stand_in.start()
        return stand_in

    yield make
    for stand_in in hosts:
        stand_in.stop()


@pytest.fixture
def host(make_host):
    """A started stand-in Stream Deck application; the plug-in is not launched yet."""
    return make_host()


@pytest.fixture
def session(host):
    """The plug-in launched with the usual arguments and registered."""
    host.launch()
    host.wait_for_registration()
    return host


# The stand-in desktop application, whose command comes from
# ZORVANE_DESKTOP_CMD (split like the plug-in's command); it runs with the
# plug-in's environment, so that the two meet on the same desktop link.
@pytest.fixture
def make_desktop(plugin_env):
    if not DESKTOP_CMD:
        pytest.skip("ZORVANE_DESKTOP_CMD is not set, so there is no stand-in desktop application")
    started = []

    def make(*arguments):
        stand_in = DesktopStandIn(DESKTOP_CMD + list(arguments), env=plugin_env, timeout=HANG_GUARD)
        started.append(stand_in)
        stand_in.start()
        return stand_in

    yield make
    for stand_in in started:
        stand_in.stop()


@pytest.fixture
def desktop(make_desktop):
    return make_desktop()


def send(host, event, action="", context="", payload=None):
    message = {"event": event, "action": action, "context": context, "device": "DEV1"}
    if payload is not None:
        message["payload"] = payload
    host.send_json(message)


def appear(host, action, context, settings=None):
    send(host, "willAppear", action, context,
         {"coordinates": {"column": 0, "row": 0}, "settings": settings or {}})


class Messages:
    """The plug-in's messages to the Stream Deck application after a mark."""

    def __init__(self, host):
        self.host = host
        self.seen = len(host.frames)

    def wait(self, count):
        frames = self.host.wait_for_frames(self.seen + count)
        taken = [json.loads(frame.data) for frame in frames[self.seen:self.seen + count]]
        self.seen += count
        return taken
