"""The whole road, end to end: the real plug-in between the stand-in Stream
Deck application and the stand-in desktop application. Key presses arrive at
the desktop application as exact commands; its notifications change key
states and images and bring lists to the property inspectors.

The stand-in desktop application's command comes from ZORVANE_DESKTOP_CMD,
split like the plug-in's command; both run with the same environment, so that
they meet on the same desktop link.
"""

import base64
import json

import pytest

from conftest import (BROADCAST, BROADCAST_STATE, CALIBRATE, EMOTE, EMOTE_LIST, HANG_GUARD, IDLE, KEY_RELEASES, POSE,
                      POSE_STATE, QUICKSLOT, QUICKSLOT_STATE, REFRESH, UNDER_WINE, Messages, appear, send)
from desktop_standin import command_bytes
from streamdeck_host import StreamDeckHost

def test_every_key_press_arrives_as_its_exact_command(session, desktop):
    keys = KEY_RELEASES
    for index, (action, settings, _, _) in enumerate(keys):
        appear(session, action, f"key{index}", settings)
    for index, (action, _, _, _) in enumerate(keys):
        send(session, "keyDown", action, f"key{index}")
        send(session, "keyUp", action, f"key{index}", {"settings": {"value": 99}})

    received = desktop.wait_for_commands(len(keys))
    for (action, _, kind, data), command in zip(keys, received):
        assert command["kind"] == kind, action
        assert command_bytes(command) == data, action
        assert command["cbData"] == len(data)
        assert command["data"] == ("present" if data else "null")
        assert int(command["sender"], 16) != 0, "the plug-in names its notification window"
    assert len({command["sender"] for command in received}) == 1


def test_inspector_list_reaches_every_open_inspector_of_its_action(session, desktop):
    for context in ("e1", "e2", "closed"):
        appear(session, EMOTE, context)
    appear(session, POSE, "p")
    marks = Messages(session)
    send(session, "propertyInspectorDidAppear", EMOTE, "e1")
    send(session, "propertyInspectorDidAppear", EMOTE, "e2")
    send(session, "propertyInspectorDidAppear", POSE, "p")
    requests = desktop.wait_for_commands(3)
    assert [(c["kind"], c["cbData"], c["data"]) for c in requests] == [
        (0x80009, 0, "null"), (0x80009, 0, "null"), (0x8000B, 0, "null")]

    emotes = {"listType": "emote", "itemList": [{"name": "Wave"}, "Bow"], "imagePath": "C:\\emotes",
              "extra": {"kept": True}}
    assert desktop.notify_json(EMOTE_LIST, emotes) == 1
    lists = marks.wait(2)
    assert {m["context"] for m in lists} == {"e1", "e2"}
    for message in lists:
        assert message["event"] == "sendToPropertyInspector"
        assert message["action"] == EMOTE
        assert message["payload"] == emotes


def test_notifications_change_key_states_and_images(session, desktop, tmp_path):
    image = tmp_path / "slot5.png"
    image.write_bytes(b"\x89PNG\r\n\x1a\nslot five")
    appear(session, BROADCAST, "b1")
    appear(session, BROADCAST, "b2")
    appear(session, POSE, "pose2", {"value": 2})
    appear(session, POSE, "pose3", {"value": 3})
    marks = Messages(session)
    appear(session, QUICKSLOT, "q5", {"value": 5, "image": str(image)})
    shown = marks.wait(1)[0]
    expected_image = "data:image/png;base64," + base64.b64encode(image.read_bytes()).decode()
    assert shown == {"event": "setImage", "context": "q5", "payload": {"image": expected_image, "target": 0}}

    send(session, "keyUp", CALIBRATE, "c")  # the plug-in's first command tells the desktop where to answer
    desktop.wait_for_commands(1)

    assert desktop.notify_json(BROADCAST_STATE, {"value1": True}) == 1
    states = marks.wait(2)
    assert {(m["context"], m["payload"]["state"]) for m in states} == {("b1", 1), ("b2", 1)}
    assert all(m["event"] == "setState" for m in states)

    assert desktop.notify_json(POSE_STATE, {"value1": True, "value2": 2.0}) == 1
    assert marks.wait(1) == [{"event": "setState", "context": "pose2", "payload": {"state": 1}}]

    assert desktop.notify_json(QUICKSLOT_STATE, {"value1": "5", "value2": False}) == 1
    assert desktop.notify_json(QUICKSLOT_STATE, {"value1": "5", "value2": True}) == 1
    assert marks.wait(1) == [shown]


def test_refresh_asks_again_for_every_open_list(session, desktop):
    for action, context in ((IDLE, "i"), (EMOTE, "e"), (BROADCAST, "b")):
        appear(session, action, context)
        send(session, "propertyInspectorDidAppear", action, context)
    desktop.wait_for_commands(2)
    for data in ("null", "empty", "nul"):
        assert desktop.notify(REFRESH, data=data) == 1
    assert desktop.notify_json(REFRESH, {}) == 1  # a refresh with a payload is ignored
    requests = desktop.wait_for_commands(2 + 3 * 2)
    assert [c["kind"] for c in requests[2:]] == [0x80009, 0x8000F] * 3


def test_application_did_terminate_resets_keys_and_inspectors(session):
    appear(session, BROADCAST, "b")
    appear(session, POSE, "p")
    appear(session, EMOTE, "e")
    send(session, "propertyInspectorDidAppear", EMOTE, "e")
    marks = Messages(session)
    send(session, "applicationDidTerminate", payload={"application": "Zorvane.exe"})
    messages = marks.wait(3)
    assert messages[0] == {"event": "sendToPropertyInspector", "action": EMOTE, "context": "e",
                           "payload": {"appDidClose": True}}
    assert {(m["event"], m["context"], m["payload"]["state"]) for m in messages[1:]} == {
        ("setState", "b", 0), ("setState", "p", 0)}


def test_notifications_from_anyone_but_the_desktop_window_are_refused(session, desktop):
    appear(session, BROADCAST, "b")
    send(session, "keyUp", CALIBRATE, "c")
    desktop.wait_for_commands(1)
    marks = Messages(session)
    assert desktop.notify_json(BROADCAST_STATE, {"value1": True}, sender="other") == 0
    assert desktop.notify_json(BROADCAST_STATE, {"value1": True}, sender="none") == 0
    if not UNDER_WINE:  # Wine cannot carry a WM_COPYDATA without its structure between processes
        assert desktop.notify(BROADCAST_STATE, data="none") == 0
    # Accepted, however unusable the payload: result 1, nothing changes.
    assert desktop.notify(BROADCAST_STATE, '{"value1":true}', data="nonul") == 1
    assert desktop.notify(0x170000, '{"value1":true}') == 1
    assert desktop.notify_json(BROADCAST_STATE, {"value1": False}) == 1
    assert marks.wait(1) == [{"event": "setState", "context": "b", "payload": {"state": 0}}]
    assert len(session.frames) == marks.seen


@pytest.mark.native_only("on Windows any window may name any handle; the kernel check is the POSIX link's")
def test_process_that_claims_the_desktop_handle_is_refused(session, desktop, make_desktop):
    appear(session, BROADCAST, "b")
    send(session, "keyUp", CALIBRATE, "c")
    plugin_window = desktop.wait_for_commands(1)[0]["sender"]
    impostor = make_desktop("--title", "IMPOSTOR")
    impostor.target(plugin_window)
    marks = Messages(session)
    assert impostor.notify_json(BROADCAST_STATE, {"value1": True}, sender=desktop.handle) == 0
    assert desktop.notify_json(BROADCAST_STATE, {"value1": False}) == 1
    assert marks.wait(1)[0]["payload"]["state"] == 0


def test_desktop_that_goes_away_and_returns_is_found_again(session, desktop):
    desktop.vanish()
    send(session, "keyUp", BROADCAST, "b")
    send(session, "keyUp", BROADCAST, "b")
    desktop.appear()
    send(session, "keyUp", CALIBRATE, "c")
    kinds = []
    while 0x80001 not in kinds:
        kinds = [c["kind"] for c in desktop.wait_for_commands(len(kinds) + 1)]
    # The presses made while it was away were dropped, unless the sender took
    # them after it had returned; either way none is sent twice or out of order.
    assert kinds[-1] == 0x80001
    assert kinds[:-1] in ([], [0x80000], [0x80000, 0x80000])
    session.close()
    assert session.wait_exit().code == 0


@pytest.mark.native_only("the folder of the POSIX desktop link")
def test_stream_deck_side_works_when_the_link_folder_is_not_private(plugin_cmd, plugin_env, tmp_path):
    runtime = tmp_path / "runtime"
    runtime.mkdir(mode=0o700)
    shared = runtime / "zorvane"
    shared.mkdir()
    shared.chmod(0o777)  # as another user would leave it: anyone may enter
    env = dict(plugin_env, XDG_RUNTIME_DIR=str(runtime))
    with StreamDeckHost(plugin_cmd, env=env, timeout=HANG_GUARD) as host:
        host.launch()
        assert json.loads(host.wait_for_registration().data)["event"] == host.register_event
        appear(host, BROADCAST, "b")
        send(host, "keyUp", BROADCAST, "b")  # the command is dropped, as with no desktop application
        host.ping()
        host.close()
        assert host.wait_exit() == (0, b"", b"")
    assert list(shared.iterdir()) == [], "nothing is made in a folder that others may enter"
