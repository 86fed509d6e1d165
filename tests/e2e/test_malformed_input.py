"""Input the plug-in cannot use is dropped without a word and without ending
the session: after it the plug-in still answers pings, still handles events,
has sent nothing back, and exits with 0 when the host closes.

Each case is a list of frames: str for a text frame, bytes for a binary one,
dict or list for a JSON text frame.
"""

import json

import pytest

PREFIX = "com.brimcove.zorvaneplugin."
POSE, EMOTE, CALIBRATE = PREFIX + "pose", PREFIX + "emote", PREFIX + "calibrate"


def event(name, action=POSE, context="CTX1", payload=None, **extra):
    message = {"event": name, "action": action, "context": context, "device": "DEV1", **extra}
    if payload is not None:
        message["payload"] = payload
    return message


def key_payload(settings=None, coordinates=None):
    payload = {"coordinates": {"column": 1, "row": 0} if coordinates is None else coordinates}
    if settings is not None:
        payload["settings"] = settings
    return payload


def appear(action=POSE, context="CTX1", settings=None, coordinates=None):
    return event("willAppear", action, context, key_payload(settings, coordinates))


def nested(depth, open_, close, inner):
    return open_ * depth + inner + close * depth


UNUSABLE_TEXT = {
    "unclosed-brace": ['{"event": "keyUp", "action": "' + POSE + '"'],
    "empty-text": [""],
    "blank-text": [" \n\t"],
    "null": ["null"],
    "array": [json.dumps([event("keyUp")])],
    "number": ["42"],
    "string": ['"keyUp"'],
    "true": ["true"],
    "single-quotes": ["{'event': 'keyUp', 'action': '" + POSE + "'}"],
    "nan-in-settings": ['{"event": "willAppear", "action": "' + POSE + '", "context": "C",'
                        ' "payload": {"settings": {"value": NaN}}}'],
    "empty-array-slot": ['{"event": "willAppear", "payload": {"coordinates": [1,,2]}}'],
    "arrays-1001-deep": [nested(1001, "[", "]", "")],
    "objects-1001-deep": [nested(1001, '{"payload":', "}", "{}")],
    "objects-5000-deep-in-an-event": ['{"event": "willAppear", "context": "C", "action": "' + POSE + '",'
                                      ' "payload": ' + nested(5000, '{"settings":', "}", "{}") + "}"],
    "unclosed-100000-deep": ["[" * 100000],
    "object-then-trailing-text": [json.dumps(event("deviceDidDisconnect")) + " trailing text {"],
    "comments-around-an-object": ['/* leading */ {"event": "keyDown"} // trailing'],
    "binary-frame": [json.dumps(event("keyUp")).encode()],
    "empty-binary-frame": [b""],
    "binary-garbage": [bytes(range(256))],
}

UNKNOWN_OR_MISTYPED_ENVELOPE = {
    "unknown-event": [event("titleParametersDidChange", payload={"title": "x"})],
    "event-in-other-case": [event("KeyUp")],
    "event-with-trailing-blank": [event("keyUp ")],
    "event-empty": [event("")],
    "event-a-number": [{"event": 3, "action": POSE, "context": "CTX1"}],
    "event-missing": [{"action": POSE, "context": "CTX1", "payload": {}}],
    "context-a-number": [appear(), event("keyUp", context=5)],
    "action-an-object": [event("keyUp", action={"id": POSE})],
    "payload-an-array": [event("willAppear", payload=[{"settings": {"value": 1}}])],
    "payload-a-string": [event("didReceiveSettings", payload="settings")],
    "device-info-a-string": [{"event": "deviceDidConnect", "device": "DEV1", "deviceInfo": "Stream Deck"}],
    "application-at-top-level": [{"event": "applicationDidTerminate", "application": "Zorvane.exe"}],
    "application-payload-an-array": [{"event": "applicationDidLaunch", "payload": ["Zorvane.exe"]}],
    "empty-context-and-action": [appear(action="", context=""), event("keyUp", action="", context="")],
}

WRONG_TYPED_KEY_DATA = {
    "coordinates-a-string": [appear(coordinates="1,2")],
    "coordinates-an-array": [appear(coordinates=[0, 1])],
    "row-a-string": [appear(coordinates={"row": "one", "column": 0})],
    "column-out-of-range": [appear(coordinates={"row": 0, "column": 1e12})],
    "settings-an-array": [appear(settings=[{"value": 3}])],
    "settings-a-string": [appear(settings="value=3")],
    "image-an-object": [appear(settings={"image": {"path": "key.png"}})],
    "image-an-array": [appear(settings={"image": ["key.png"]})],
    "settings-for-a-key-never-seen": [event("didReceiveSettings", context="NEVER", payload={"settings": {"value": 1}})],
    "settings-turn-into-an-array": [appear(), event("didReceiveSettings", payload={"settings": []})],
    "settings-turn-into-a-number": [appear(), event("didReceiveSettings", payload={"settings": 7})],
    "pose-value-a-string": [appear(settings={"value": "three"}), event("keyUp")],
    "pose-value-an-object": [appear(settings={"value": {"pose": 3}}), event("keyUp")],
    "pose-value-out-of-range": [appear(settings={"value": 4294967296}), event("keyUp")],
    "emote-value-an-array": [appear(EMOTE, settings={"value": ["wave"]}), event("keyUp", EMOTE)],
    "key-up-for-a-key-never-seen": [event("keyUp", context="NEVER")],
    "key-up-of-another-plugin": [event("keyUp", action="com.example.other.action")],
    "inspector-closes-for-a-key-never-seen": [event("propertyInspectorDidDisappear", context="NEVER")],
    "inspector-closes-more-often-than-opened": [
        appear(), event("propertyInspectorDidAppear"),
        event("propertyInspectorDidDisappear"), event("propertyInspectorDidDisappear"),
    ],
    "key-disappears-twice": [appear(), event("willDisappear"), event("willDisappear")],
    "key-appears-twice": [appear(), appear(settings={"value": "x"})],
    "send-to-plugin-with-odd-payload": [event("sendToPlugin", payload={"value": [None, {"a": []}]})],
}

CASES = {**UNUSABLE_TEXT, **UNKNOWN_OR_MISTYPED_ENVELOPE, **WRONG_TYPED_KEY_DATA}

# Well-formed events that go through every operation on the plug-in's record of
# keys and send nothing back (a calibrate key has no image and no list).
FOLLOW_UP = [
    appear(CALIBRATE, "FOLLOW"),
    event("propertyInspectorDidAppear", CALIBRATE, "FOLLOW"),
    event("didReceiveSettings", CALIBRATE, "FOLLOW", key_payload({"value": 1})),
    event("propertyInspectorDidDisappear", CALIBRATE, "FOLLOW"),
    event("willDisappear", CALIBRATE, "FOLLOW", key_payload()),
]


def send(host, frames):
    for frame in frames:
        if isinstance(frame, bytes):
            host.send_binary(frame)
        elif isinstance(frame, str):
            host.send_text(frame)
        else:
            host.send_json(frame)


def assert_alive_and_silent(host):
    host.ping()
    assert host.running
    send(host, FOLLOW_UP)
    host.ping()
    assert host.running
    assert [frame.index for frame in host.frames] == [0], "the plug-in answered input it should drop"
    host.close()
    assert host.wait_exit() == (0, b"", b"")
    assert host.connection_count == 1


@pytest.mark.parametrize("frames", CASES.values(), ids=CASES.keys())
def test_unusable_input_is_dropped_and_the_session_goes_on(session, frames):
    send(session, frames)
    assert_alive_and_silent(session)


# Keys the cases may leave stored; forgotten between cases so that no later
# case (an applicationDidTerminate) has stored keys to answer for.
FORGET = [event("willDisappear", action, context) for action in (POSE, EMOTE) for context in ("CTX1", "NEVER")]


def test_all_unusable_input_in_one_session(session):
    for frames in CASES.values():
        send(session, frames)
        send(session, FORGET)
    assert_alive_and_silent(session)
