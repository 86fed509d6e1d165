"""A stand-in for the Stream Deck application.

It serves WebSocket connections on a free loopback port, starts the
plug-in the way the Stream Deck application does (four option/value pairs on
the command line), records every frame the plug-in sends, sends it events,
closes or drops the connection and waits for the plug-in to exit.

All networking runs on an asyncio event loop in a background thread; the
public methods are blocking calls with a timeout, so that pytest tests and
command-line tools can drive a session step by step.
"""

from __future__ import annotations

import asyncio
import json
import os
import tempfile
import threading
import time
from dataclasses import dataclass
from typing import Callable, Iterable, NamedTuple, Optional, Sequence, Union

import websockets

from .dials import Instances

DEFAULT_UUID = "9F1C3A2B7E6D4C5B8A0F1E2D3C4B5A69"
DEFAULT_REGISTER_EVENT = "registerPlugin"
DEFAULT_INFO = json.dumps(
    {
        "application": {"language": "en", "platform": "windows", "version": "6.4.0"},
        "plugin": {"uuid": "com.brimcove.zorvaneplugin", "version": "1.0"},
        "devicePixelRatio": 1,
        "devices": [
            {"id": "DEVICE1", "name": "Stream Deck", "size": {"columns": 5, "rows": 3}, "type": 0},
            {"id": "DEVICE2", "name": "Stream Deck +", "size": {"columns": 4, "rows": 2}, "type": 7},
        ],
    }
)


class HostTimeout(AssertionError):
    """A wait ran past its timeout: the plug-in hung or never did what was awaited."""


@dataclass(frozen=True)
class Frame:
    """One data frame received from the plug-in."""

    index: int  # position among all frames received by this host, from 0
    connection: int  # which accepted connection it came on, from 1
    kind: str  # "text" or "binary"
    data: Union[str, bytes]
    arrival: float  # time.monotonic() when the host received it


class PluginExit(NamedTuple):
    """How the plug-in process ended, with everything it printed."""

    code: int
    stdout: bytes
    stderr: bytes


def plugin_arguments(port: Union[int, str], uuid: str, register_event: str, info: str) -> list:
    """The launch arguments in the order the Stream Deck application uses."""
    return ["-port", str(port), "-pluginUUID", uuid, "-registerEvent", register_event, "-info", info]


class StreamDeckHost:
    """One stand-in Stream Deck application serving one plug-in process.

    Use as a context manager: entering starts the server (``port`` is then
    known), ``launch`` starts the plug-in, leaving kills a plug-in that is
    still running and stops the server.
    """

    def __init__(
        self,
        plugin_cmd: Sequence[str],
        *,
        uuid: str = DEFAULT_UUID,
        register_event: str = DEFAULT_REGISTER_EVENT,
        info: str = DEFAULT_INFO,
        env: Optional[dict] = None,
        cwd: Optional[str] = None,
        timeout: float = 60.0,
    ):
        if not plugin_cmd:
            raise ValueError("the plug-in command is empty")
        self.plugin_cmd = list(plugin_cmd)
        self.uuid = uuid
        self.register_event = register_event
        self.info = info
        self.env = env
        self.cwd = cwd
        self.timeout = timeout

        self.port: Optional[int] = None
        self.argv: Optional[list] = None
        self._frames: list = []
        self._request_paths: list = []  # HTTP path of each accepted connection
        self._connections = 0
        self._open_connections = 0
        self._ws = None
        self._server = None
        self._process = None
        self._stdout = self._stderr = None
        self._exit_task = None
        self._exit: Optional[PluginExit] = None
        self._changed: Optional[asyncio.Condition] = None
        self._reading: Optional[asyncio.Event] = None  # cleared while the host stops reading
        self._sending: list = []  # background sends started by send_texts_in_background
        self._loop = asyncio.new_event_loop()
        self._thread = threading.Thread(target=self._loop.run_forever, name="streamdeck-host", daemon=True)
        self._started = False

    # ----------------------------------------------------------------- set-up

    def __enter__(self) -> "StreamDeckHost":
        self.start()
        return self

    def __exit__(self, *exc) -> None:
        self.stop()

    def start(self) -> None:
        """Starts the loop thread and the WebSocket server on 127.0.0.1."""
        if self._started:
            return
        self._thread.start()
        self._started = True
        self._call(self._start_server())

    def stop(self) -> None:
        """Kills the plug-in if it still runs, stops the server and the loop thread."""
        if not self._started:
            return
        try:
            self._call(self._shutdown())
        finally:
            self._loop.call_soon_threadsafe(self._loop.stop)
            self._thread.join()
            self._loop.close()
            self._started = False

    def default_arguments(self) -> list:
        return plugin_arguments(self.port, self.uuid, self.register_event, self.info)

    def launch(self, args: Optional[Iterable[str]] = None) -> None:
        """Starts the plug-in with ``args`` (default: the usual four pairs for this host)."""
        argv = list(args) if args is not None else self.default_arguments()
        self.argv = argv
        self._call(self._launch(argv))

    # ------------------------------------------------------------ observation

    @property
    def frames(self) -> list:
        """A copy of every frame received so far, in arrival order."""
        return self._call(self._snapshot(lambda: list(self._frames)))

    @property
    def instances(self) -> Instances:
        """The strips and stored settings that the plug-in's setFeedback and
        setSettings frames so far leave behind, as the Stream Deck application keeps them."""
        return Instances.from_frames(self.frames)

    @property
    def connection_count(self) -> int:
        return self._call(self._snapshot(lambda: self._connections))

    @property
    def request_paths(self) -> list:
        """The HTTP request path of each connection the plug-in opened."""
        return self._call(self._snapshot(lambda: list(self._request_paths)))

    @property
    def plugin_pid(self) -> Optional[int]:
        """The process id of the launched plug-in command."""
        return self._call(self._snapshot(lambda: None if self._process is None else self._process.pid))

    @property
    def running(self) -> bool:
        """True while the plug-in process has been launched and not yet ended."""
        return self._call(self._snapshot(lambda: self._process is not None and self._exit is None))

    def wait_for_frames(self, count: int = 1, timeout: Optional[float] = None) -> list:
        """Waits until at least ``count`` frames have arrived; returns all of them."""
        self._wait_until(lambda: len(self._frames) >= count, f"{count} frame(s) from the plug-in", timeout)
        return self.frames

    def wait_for_registration(self, timeout: Optional[float] = None) -> Frame:
        """Waits for the plug-in's first frame and returns it."""
        return self.wait_for_frames(1, timeout)[0]

    def wait_connected(self, timeout: Optional[float] = None) -> None:
        self._wait_until(lambda: self._open_connections > 0, "connection from the plug-in", timeout)

    def wait_exit(self, timeout: Optional[float] = None) -> PluginExit:
        """Waits for the plug-in process to end; returns its exit code and output."""
        return self._call(self._wait_exit(self._timeout(timeout)))

    # ---------------------------------------------------------------- actions

    def send_text(self, text: str) -> None:
        """Sends one text frame to the plug-in."""
        self._call(self._send(text))

    def send_json(self, message) -> None:
        """Sends a JSON document as one text frame."""
        self.send_text(json.dumps(message))

    def send_texts_in_background(self, texts: Iterable[str]) -> None:
        """Starts sending text frames, in order, and returns at once: a plug-in
        that stops reading would otherwise hold the caller."""
        self._call(self._start_sending(list(texts)))

    def wait_sent(self, timeout: Optional[float] = None) -> None:
        """Waits until every background send has been handed to the connection."""
        self._call(self._await_sending(self._timeout(timeout)))

    def stop_reading(self) -> None:
        """Stops taking frames from the connection, as a host that hangs does:
        what the plug-in sends then piles up in the sockets' buffers."""
        self._call(self._set_reading(False))

    def resume_reading(self) -> None:
        self._call(self._set_reading(True))

    def send_binary(self, data: bytes) -> None:
        """Sends one binary frame to the plug-in."""
        self._call(self._send(bytes(data)))

    def ping(self, timeout: Optional[float] = None) -> None:
        """Pings the plug-in and waits for the pong.

        The plug-in's WebSocket library reads frames in order and answers a
        ping only after it has handled every frame sent before it, so a pong
        proves that the earlier frames were consumed and the session is alive.
        """
        self._call(self._ping(self._timeout(timeout)))

    def close(self, code: int = 1000, reason: str = "") -> None:
        """Closes the connection with the WebSocket closing handshake."""
        self._call(self._close(code, reason))

    def drop(self) -> None:
        """Drops the TCP connection without a closing handshake."""
        self._call(self._drop())

    @property
    def pid(self) -> int:
        """The process id of the launched plug-in (of Wine's loader under Wine)."""
        return self._call(self._snapshot(lambda: self._process.pid))

    def send_signal(self, signum: int) -> None:
        """Sends a signal to the plug-in process, as a service manager or a terminal would."""
        self._call(self._snapshot(lambda: self._process.send_signal(signum)))

    # -------------------------------------------------------- loop-side parts

    def _timeout(self, timeout: Optional[float]) -> float:
        return self.timeout if timeout is None else timeout

    def _call(self, coro):
        if not self._started:
            coro.close()
            raise RuntimeError("the host is not started")
        return asyncio.run_coroutine_threadsafe(coro, self._loop).result()

    def _wait_until(self, predicate: Callable[[], bool], what: str, timeout: Optional[float]) -> None:
        self._call(self._await_state(predicate, what, self._timeout(timeout)))

    async def _snapshot(self, read):
        return read()

    async def _notify(self) -> None:
        async with self._changed:
            self._changed.notify_all()

    async def _await_state(self, predicate, what: str, timeout: float) -> None:
        """Waits until ``predicate`` holds; fails at once if the plug-in ends first."""
        async with self._changed:
            try:
                await asyncio.wait_for(self._changed.wait_for(lambda: predicate() or self._exit is not None), timeout)
            except asyncio.TimeoutError:
                raise HostTimeout(f"no {what} within {timeout} s") from None
            if not predicate():
                raise AssertionError(f"the plug-in ended with {self._exit} before sending {what}")

    async def _start_server(self) -> None:
        self._changed = asyncio.Condition()
        self._reading = asyncio.Event()
        self._reading.set()
        self._server = await websockets.serve(
            self._serve,
            "127.0.0.1",
            0,
            max_size=None,
            ping_interval=None,
            compression=None,
        )
        self.port = self._server.sockets[0].getsockname()[1]

    async def _serve(self, ws) -> None:
        self._connections += 1
        self._open_connections += 1
        connection = self._connections
        self._ws = ws
        self._request_paths.append(ws.path)
        await self._notify()
        try:
            while True:
                await self._reading.wait()
                message = await ws.recv()
                kind = "text" if isinstance(message, str) else "binary"
                self._frames.append(Frame(len(self._frames), connection, kind, message, time.monotonic()))
                await self._notify()
        except websockets.ConnectionClosed:
            pass  # an end without closing handshake ends the session all the same
        finally:
            self._open_connections -= 1
            await self._notify()

    async def _launch(self, argv: list) -> None:
        if self._process is not None:
            raise RuntimeError("the plug-in has already been launched by this host")
        # Files rather than pipes: helper processes of Wine outlive the plug-in
        # and keep its output handles open, so the end of a pipe would come
        # long after the plug-in itself has ended.
        self._stdout, self._stderr = tempfile.TemporaryFile(), tempfile.TemporaryFile()
        self._process = await asyncio.create_subprocess_exec(
            *self.plugin_cmd,
            *argv,
            stdin=asyncio.subprocess.DEVNULL,
            stdout=self._stdout,
            stderr=self._stderr,
            env=None if self.env is None else dict(self.env),
            cwd=self.cwd,
        )
        self._exit_task = asyncio.ensure_future(self._collect_exit())

    async def _collect_exit(self) -> None:
        code = await self._process.wait()
        output = []
        for stream in (self._stdout, self._stderr):
            stream.seek(0)
            output.append(stream.read())
            stream.close()
        self._exit = PluginExit(code, *output)
        await self._notify()

    async def _wait_exit(self, timeout: float) -> PluginExit:
        if self._exit_task is None:
            raise RuntimeError("the plug-in was not launched")
        try:
            await asyncio.wait_for(asyncio.shield(self._exit_task), timeout)
        except asyncio.TimeoutError:
            raise HostTimeout(f"the plug-in did not exit within {timeout} s") from None
        return self._exit

    def _open_socket(self):
        if self._ws is None or self._open_connections == 0:
            raise AssertionError("the plug-in is not connected")
        return self._ws

    async def _send(self, message) -> None:
        await self._open_socket().send(message)

    async def _start_sending(self, texts: list) -> None:
        socket = self._open_socket()

        async def send_all():
            for text in texts:
                await socket.send(text)

        self._sending.append(asyncio.ensure_future(send_all()))

    async def _await_sending(self, timeout: float) -> None:
        try:
            await asyncio.wait_for(asyncio.gather(*self._sending), timeout)
        except asyncio.TimeoutError:
            raise HostTimeout(f"background sends not done within {timeout} s") from None

    async def _set_reading(self, reading: bool) -> None:
        if reading:
            self._reading.set()
        else:
            self._reading.clear()

    async def _ping(self, timeout: float) -> None:
        socket = self._open_socket()
        try:
            pong = await socket.ping()
            await asyncio.wait_for(pong, timeout)
        except asyncio.TimeoutError:
            raise HostTimeout(f"no pong from the plug-in within {timeout} s") from None
        except websockets.ConnectionClosed:
            raise AssertionError("the connection ended while waiting for the pong") from None

    async def _close(self, code: int, reason: str) -> None:
        await self._open_socket().close(code, reason)

    async def _drop(self) -> None:
        self._open_socket().transport.abort()

    async def _shutdown(self) -> None:
        for task in self._sending:
            task.cancel()
        if self._reading is not None:
            self._reading.set()  # a stopped reader must see its connection end
        if self._process is not None and self._exit is None:
            try:
                self._process.kill()
            except ProcessLookupError:
                pass  # it ended on its own in the meantime
        if self._exit_task is not None:
            await self._exit_task
        if self._server is not None:
            self._server.close()
            await self._server.wait_closed()


def plugin_environment(plugin_cmd: Sequence[str], base: Optional[dict] = None) -> dict:
    """The environment for the plug-in: ``base`` (default: ours), silenced for Wine.

    Wine prints its own diagnostics on stderr unless WINEDEBUG switches them
    off; the plug-in itself prints nothing.
    """
    env = dict(os.environ if base is None else base)
    if runs_under_wine(plugin_cmd):
        env.setdefault("WINEDEBUG", "-all")
    return env


def runs_under_wine(plugin_cmd: Sequence[str]) -> bool:
    """True for a Windows plug-in: started by Wine or by a wrapper around it."""
    if not plugin_cmd:
        return False
    return os.path.basename(plugin_cmd[0]) in ("wine", "wine64") or any(
        part.lower().endswith(".exe") for part in plugin_cmd
    )
