"""Fixtures for the end-to-end tests of the plug-in process.

The plug-in command comes from ZORVANE_PLUGIN_CMD, split like a shell would
split it, e.g. "build/zorvaneplugin" or "wine build-win/zorvaneplugin.exe".
Every test drives one real plug-in process through the stand-in Stream Deck
application in tools/streamdeck_host.

ZORVANE_E2E_TIMEOUT (seconds, default 60) bounds every wait. It only guards
against hangs: Wine takes seconds to start a process, and no test depends on
how fast anything happens.
"""

import os
import shlex
import subprocess
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))

from streamdeck_host import StreamDeckHost, plugin_environment, runs_under_wine  # noqa: E402

PLUGIN_CMD = shlex.split(os.environ.get("ZORVANE_PLUGIN_CMD", ""))
UNDER_WINE = runs_under_wine(PLUGIN_CMD)
HANG_GUARD = float(os.environ.get("ZORVANE_E2E_TIMEOUT", "60"))


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
    if UNDER_WINE:
        # The first Wine process in a new prefix announces that it created the
        # prefix on stderr. Start the plug-in once without arguments (it exits
        # with 1 at once) so that no test sees that announcement.
        subprocess.run(
            plugin_cmd,
            env=env,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            timeout=HANG_GUARD * 3,
        )
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
