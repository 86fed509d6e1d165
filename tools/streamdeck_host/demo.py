"""A narrated session between the stand-in Stream Deck application and the plug-in.

A pose key appears, gets new settings, has its property inspector opened and
closed, is pressed and released and disappears; then the Stream Deck
application closes the connection and the plug-in has to exit with code 0.
Every step waits until the plug-in has handled it (a ping answered after the
event) and tells what, if anything, the plug-in sent back.

Exit status: 0 when the plug-in registered as expected, survived the session
and exited with 0 in silence; 1 otherwise.
"""

import json
import sys

from .host import HostTimeout, StreamDeckHost, plugin_environment
from .styled import registration_text

POSE = "com.brimcove.zorvaneplugin.pose"
CONTEXT = "A1B2C3D4E5F60718293A4B5C6D7E8F90"
DEVICE = "DEVICE1"


def _key_event(event: str, payload=None) -> dict:
    message = {"event": event, "action": POSE, "context": CONTEXT, "device": DEVICE}
    if payload is not None:
        message["payload"] = payload
    return message


def _key_payload(settings: dict) -> dict:
    return {"settings": settings, "coordinates": {"column": 2, "row": 1}, "state": 0, "isInMultiAction": False}


SESSION = [
    ("a pose key appears at row 1, column 2, set to pose 3", _key_event("willAppear", _key_payload({"value": 3}))),
    ("its settings change to pose 5", _key_event("didReceiveSettings", _key_payload({"value": 5}))),
    ("the user opens the key's property inspector", _key_event("propertyInspectorDidAppear")),
    ("the user closes the property inspector", _key_event("propertyInspectorDidDisappear")),
    ("the key is pressed", _key_event("keyDown", _key_payload({"value": 5}))),
    ("the key is released", _key_event("keyUp", _key_payload({"value": 5}))),
    ("the key disappears from the device", _key_event("willDisappear", _key_payload({"value": 5}))),
]


def describe_reply(frame) -> str:
    """One frame from the plug-in, in plain words."""
    if frame.kind == "binary":
        return f"a binary frame of {len(frame.data)} bytes (the plug-in sends text only)"
    try:
        message = json.loads(frame.data)
    except ValueError:
        return f"a text frame that is not JSON ({len(frame.data)} characters)"
    if not isinstance(message, dict):
        return "a JSON text that is not an object"
    event, context = message.get("event"), message.get("context")
    payload = message.get("payload")
    payload = payload if isinstance(payload, dict) else {}
    if event == "setImage":
        image = payload.get("image", "")
        what = f"an image of {len(image)} characters" if image else "an empty image"
        return f"set the image of key {context} to {what}"
    if event == "setState":
        return f"set key {context} to state {payload.get('state')}"
    if event == "sendToPropertyInspector":
        members = ", ".join(sorted(payload)) or "no members"
        return f"sent the property inspector of key {context} a message with {members}"
    return f"sent an unexpected '{event}' message"


def run(plugin_cmd, timeout: float = 60.0, out=sys.stdout) -> int:
    def say(text: str = "") -> None:
        print(text, file=out, flush=True)

    with StreamDeckHost(plugin_cmd, env=plugin_environment(plugin_cmd), timeout=timeout) as host:
        say(f"Stream Deck stand-in listening on 127.0.0.1:{host.port}")
        try:
            host.launch()
        except OSError as error:
            say(f"FAILED: cannot start the plug-in: {error}")
            return 1
        say(
            f"Started {' '.join(host.plugin_cmd)} with port {host.port}, plug-in UUID {host.uuid},"
            f" registration event {host.register_event} and host information in English."
        )
        try:
            registration = host.wait_for_registration()
        except AssertionError as error:  # HostTimeout included
            say(f"FAILED: the plug-in never registered ({error}).")
            return 1
        say("The plug-in connected and registered with:")
        say(registration.data.rstrip("\n") if registration.kind == "text" else repr(registration.data))
        if registration.kind != "text" or registration.data != registration_text(host.register_event, host.uuid):
            say("FAILED: that is not the registration expected for this launch.")
            return 1

        seen = 1
        try:
            for step, message in SESSION:
                say(f"\nStream Deck: {step}.")
                host.send_json(message)
                host.ping()
                frames = host.frames
                for frame in frames[seen:]:
                    say(f"  The plug-in {describe_reply(frame)}.")
                if len(frames) == seen:
                    say("  The plug-in took it in silently and is still connected.")
                seen = len(frames)
        except AssertionError as error:  # HostTimeout included
            say(f"FAILED: the plug-in stopped taking events ({error}).")
            return 1

        say("\nStream Deck: the application closes the connection.")
        host.close()
        try:
            result = host.wait_exit()
        except HostTimeout:
            say("FAILED: the plug-in did not exit after the connection closed.")
            return 1
        say(f"The plug-in exited with code {result.code}.")
        if result.stdout or result.stderr:
            say("FAILED: the plug-in printed something, but it must stay silent:")
            say((result.stdout + result.stderr).decode(errors="replace"))
            return 1
        if result.code != 0:
            say("FAILED: the exit code should be 0.")
            return 1
        say("Demo finished: the plug-in behaved as expected.")
        return 0
