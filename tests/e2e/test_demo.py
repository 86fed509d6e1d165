"""The narrated demo session of tools/streamdeck_host runs to its end."""

import subprocess
import sys
from pathlib import Path

TOOLS = Path(__file__).resolve().parents[2] / "tools"


def test_demo_session_ends_with_a_clean_exit(plugin_cmd, plugin_env, hang_guard):
    demo = subprocess.run(
        [sys.executable, str(TOOLS / "streamdeck_host"), "demo", "--timeout", str(hang_guard), "--", *plugin_cmd],
        env=plugin_env,
        stdin=subprocess.DEVNULL,
        capture_output=True,
        text=True,
        timeout=hang_guard * 10,
    )
    assert (demo.returncode, demo.stderr) == (0, ""), demo.stdout
    assert '   "event" : "registerPlugin",\n' in demo.stdout
    assert demo.stdout.endswith("The plug-in exited with code 0.\nDemo finished: the plug-in behaved as expected.\n")
