"""Drives the stand-in desktop application (desktop_standin.cpp) from Python:
starts it, reads the JSON line it prints for every message it receives, and
sends it commands. The stand-in runs natively or under Wine, like the plug-in.
"""

from __future__ import annotations

import json
import subprocess
import tempfile
import threading
from typing import Callable, Optional, Sequence


class StandInError(AssertionError):
    """The stand-in did not do what was awaited before the timeout."""


class DesktopStandIn:
    def __init__(self, command: Sequence[str], env: Optional[dict] = None, timeout: float = 60.0):
        self.command = list(command)
        self.env = env
        self.timeout = timeout
        self.handle: Optional[str] = None
        self._events: list = []
        self._consumed = 0
        self._changed = threading.Condition()
        self._process: Optional[subprocess.Popen] = None
        self._stderr = None
        self._reader: Optional[threading.Thread] = None

    def __enter__(self) -> "DesktopStandIn":
        self.start()
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def start(self) -> None:
        # Its error output is kept for the message of a failed wait.
        self._stderr = tempfile.TemporaryFile()
        self._process = subprocess.Popen(
            self.command, env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=self._stderr, text=True, bufsize=1)
        self._reader = threading.Thread(target=self._read, name="desktop-stand-in", daemon=True)
        self._reader.start()
        self.handle = self._next(lambda e: e["event"] in ("ready", "error"), "ready")["handle"]

    def stop(self) -> Optional[int]:
        """Asks the stand-in to quit and returns its exit code."""
        if self._process is None:
            return None
        try:
            self._process.stdin.write("quit\n")
            self._process.stdin.close()
        except (BrokenPipeError, ValueError):
            pass  # it has gone already
        try:
            code = self._process.wait(self.timeout)
        except subprocess.TimeoutExpired:
            self._process.kill()
            code = self._process.wait()
        self._reader.join(self.timeout)
        self._process = None
        self._stderr.close()
        return code

    # --------------------------------------------------------------- commands

    def notify(self, kind: int, payload: str = "", data: str = "nul", sender: str = "self") -> int:
        """Sends one notification to the last sender; returns the receiver's result."""
        self._send(f"notify {kind:#x} {data} {sender} {payload}".rstrip())
        return self._next(lambda e: e["event"] in ("notified", "error"), "notified")["result"]

    def notify_json(self, kind: int, document, **options) -> int:
        return self.notify(kind, json.dumps(document, separators=(",", ":")), **options)

    def target(self, handle: str) -> None:
        self._send(f"target {handle}")

    def vanish(self) -> None:
        self._send("vanish")
        self._next(lambda e: e["event"] == "vanished", "vanished")

    def appear(self) -> None:
        self._send("appear")
        self.handle = self._next(lambda e: e["event"] in ("ready", "error"), "ready")["handle"]

    # ------------------------------------------------------------ observation

    def wait_for_commands(self, count: int) -> list:
        """Waits until the stand-in has received ``count`` commands in all; returns them all."""
        with self._changed:
            if not self._changed.wait_for(lambda: len(self.commands_seen()) >= count, self.timeout):
                raise StandInError(f"{count} command(s) awaited, {len(self.commands_seen())} received"
                                   + self._state())
            return self.commands_seen()

    def commands_seen(self) -> list:
        with self._changed:
            return [e for e in self._events if e["event"] == "command"]

    # --------------------------------------------------------------- internals

    def _send(self, line: str) -> None:
        self._process.stdin.write(line + "\n")
        self._process.stdin.flush()

    def _next(self, predicate: Callable[[dict], bool], what: str) -> dict:
        """The next not yet consumed event that matches, in order of arrival."""
        with self._changed:
            def find():
                for index in range(self._consumed, len(self._events)):
                    if predicate(self._events[index]):
                        return index
                return None
            if not self._changed.wait_for(lambda: find() is not None, self.timeout):
                raise StandInError(f"the stand-in desktop application sent no '{what}'" + self._state())
            index = find()
            self._consumed = index + 1
            event = self._events[index]
        if event["event"] == "error":
            raise StandInError(event["reason"])
        return event

    def _state(self) -> str:
        """Whether the stand-in still runs (or its exit code), and its error output."""
        code = self._process.poll()
        self._stderr.seek(0)
        errors = self._stderr.read().decode(errors="replace")
        return (" (it is still running" if code is None else f" (it exited with code {code}") + (
            f"; its error output: {errors!r})" if errors else "; no error output)")

    def _read(self) -> None:
        for line in self._process.stdout:
            try:
                event = json.loads(line)
            except ValueError:
                continue  # not one of ours (a runtime's own message)
            with self._changed:
                self._events.append(event)
                self._changed.notify_all()


def command_bytes(event: dict) -> bytes:
    """The exact bytes of a received command, its counted NUL included."""
    return bytes.fromhex(event.get("bytes", ""))


def command_value(event: dict):
    """The value a received command carries: the "value1" of its JSON text
    (the text ends in the counted NUL), or None for a command without text.
    Raises ValueError when the bytes are not in that form."""
    data = command_bytes(event)
    if not data:
        return None
    if not data.endswith(b"\0"):
        raise ValueError(f"the command text does not end with its NUL: {data!r}")
    document = json.loads(data[:-1].decode("utf-8"))
    if not isinstance(document, dict) or set(document) != {"value1"}:
        raise ValueError(f"the command text is not an object with only \"value1\": {data!r}")
    return document["value1"]
