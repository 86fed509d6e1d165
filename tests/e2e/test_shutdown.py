"""The session ends, and the plug-in exits with 0, however the connection ends
or fails, and when it is told to terminate; it never reconnects."""

import signal
import socket
from pathlib import Path

import pytest

from streamdeck_host import plugin_arguments

END_OF_SESSION = {
    "close-normal": lambda h: h.close(1000),
    "close-going-away": lambda h: h.close(1001, "Stream Deck quits"),
    "close-application-code": lambda h: h.close(4000, "bye"),
    "connection-dropped": lambda h: h.drop(),
}


@pytest.mark.parametrize("end", END_OF_SESSION.values(), ids=END_OF_SESSION.keys())
def test_exits_0_when_the_host_ends_the_connection(session, end):
    end(session)
    assert session.wait_exit() == (0, b"", b"")
    assert session.connection_count == 1


def unused_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def test_exits_0_when_nothing_listens_on_the_port(host):
    host.launch(plugin_arguments(unused_port(), host.uuid, host.register_event, host.info))
    assert host.wait_exit() == (0, b"", b"")
    assert host.connection_count == 0


def test_exits_0_when_the_opening_handshake_is_refused(host):
    with socket.socket() as listener:
        listener.bind(("127.0.0.1", 0))
        listener.listen(1)
        listener.settimeout(host.timeout)
        host.launch(plugin_arguments(listener.getsockname()[1], host.uuid, host.register_event, host.info))
        peer, _ = listener.accept()
        with peer:
            peer.settimeout(host.timeout)
            request = b""
            while b"\r\n\r\n" not in request:
                chunk = peer.recv(4096)
                assert chunk, f"the plug-in closed before finishing its request: {request!r}"
                request += chunk
            peer.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
        assert request.startswith(b"GET / HTTP/1.1\r\n")
        assert host.wait_exit() == (0, b"", b"")
        listener.setblocking(False)
        with pytest.raises(BlockingIOError):
            listener.accept()  # no second attempt is waiting


# Ports the WebSocket library refuses as part of an address. The ones made from
# the host's own port would reach the host if the port were cut to 16 bits.
REFUSED_PORTS = {
    "70000": lambda h: "70000",
    "minus-5": lambda h: "-5",
    "host-port-plus-65536": lambda h: str(h.port + 65536),
    "host-port-minus-65536": lambda h: str(h.port - 65536),
}


@pytest.mark.parametrize("port", REFUSED_PORTS.values(), ids=REFUSED_PORTS.keys())
def test_exits_0_when_the_port_is_refused_as_an_address(host, port):
    host.launch(plugin_arguments(port(host), host.uuid, host.register_event, host.info))
    assert host.wait_exit() == (0, b"", b"")
    assert host.connection_count == 0


KEY_RELEASE = {
    "event": "keyUp",
    "action": "com.brimcove.zorvaneplugin.broadcast",
    "context": "BROADCAST1",
    "device": "DEV1",
    "payload": {"settings": {}, "coordinates": {"column": 0, "row": 0}},
}


@pytest.mark.parametrize("releases", [1, 50])
def test_exits_0_when_closed_right_after_key_presses(session, releases):
    # Each release queues a command for the desktop application, which is not
    # running: the plug-in must end cleanly while it may still be sending.
    for _ in range(releases):
        session.send_json(KEY_RELEASE)
    session.close()
    assert session.wait_exit() == (0, b"", b"")


def own_sockets(folder: Path, pid: int) -> list:
    """The endpoints in the desktop link's folder whose handle names process ``pid``."""
    return [path for path in folder.glob("window-*") if int(path.name[len("window-"):], 16) >> 16 == pid]


@pytest.mark.native_only("termination signals and socket files belong to the POSIX build")
@pytest.mark.parametrize("signum", [signal.SIGTERM, signal.SIGINT], ids=["SIGTERM", "SIGINT"])
def test_exits_0_and_removes_its_socket_when_told_to_terminate(session, plugin_env, signum):
    folder = Path(plugin_env["XDG_RUNTIME_DIR"]) / "zorvane"
    endpoints = own_sockets(folder, session.pid)
    assert len(endpoints) == 1 and endpoints[0].is_socket()
    session.send_signal(signum)
    assert session.wait_exit() == (0, b"", b"")
    assert own_sockets(folder, session.pid) == []
    assert session.connection_count == 1
