"""Dials and their touch strip, as the Stream Deck application sees them.

An action placed on a dial of a Stream Deck+ is an encoder instance. The
Stream Deck application tells the plug-in about it with the events built
here (willAppear, willDisappear and didReceiveSettings carry "controller":
"Encoder"; dialDown, dialUp, dialRotate and touchTap are the dial's own), and
keeps what the plug-in answers: the strip's layout items that setFeedback
fills in (items not named keep what they showed) and the settings that
setSettings stores for the instance. ``Instances`` replays the plug-in's
frames to that state, ``strip_text`` draws one strip as a line of text, and
``encoder_layout`` names the layout the strip is drawn in.
"""

from __future__ import annotations

import json
from pathlib import Path
from typing import Iterable, Optional

from .strip_picture import png_size

KEYPAD, ENCODER = "Keypad", "Encoder"
MANIFEST = Path(__file__).resolve().parents[2] / "com.brimcove.zorvaneplugin.sdPlugin" / "manifest.json"
DEVICE = "DEVICE2"  # the Stream Deck + of the stand-in's -info, four dials under its strip


def event(name: str, action: str, context: str, payload: Optional[dict] = None, device: str = DEVICE) -> dict:
    """One event from the Stream Deck application to the plug-in."""
    message = {"event": name, "action": action, "context": context, "device": device}
    if payload is not None:
        message["payload"] = payload
    return message


def instance_event(name: str, action: str, context: str, settings: dict, controller: Optional[str] = ENCODER,
                   column: int = 0, row: int = 0) -> dict:
    """willAppear, willDisappear or didReceiveSettings; ``controller`` None
    leaves it out, as older Stream Deck applications do for keys."""
    payload = {"coordinates": {"column": column, "row": row}, "settings": settings, "isInMultiAction": False}
    if controller is not None:
        payload["controller"] = controller
    if controller != ENCODER:
        payload["state"] = 0
    return event(name, action, context, payload)


def encoder_layout(action: str, manifest: Path = MANIFEST) -> str:
    """The layout that the plug-in's manifest gives the action's dial, as the
    Stream Deck application reads it when the action appears on a dial."""
    with open(manifest, encoding="utf-8") as file:
        actions = json.load(file)["Actions"]
    return next(entry["Encoder"]["layout"] for entry in actions if entry["UUID"] == action)


def dial_payload(settings: dict, column: int = 0) -> dict:
    return {"controller": ENCODER, "coordinates": {"column": column, "row": 0}, "settings": settings}


def dial_press(name: str, action: str, context: str, settings: dict, column: int = 0) -> dict:
    """dialDown or dialUp."""
    return event(name, action, context, dial_payload(settings, column))


def dial_rotate(action: str, context: str, settings: dict, ticks, pressed: bool = False, column: int = 0) -> dict:
    """A turn by ``ticks`` steps, positive clockwise."""
    return event(action=action, context=context, name="dialRotate",
                 payload=dict(dial_payload(settings, column), ticks=ticks, pressed=pressed))


def touch_tap(action: str, context: str, settings: dict, tap_pos=(100, 50), hold: bool = False,
              column: int = 0) -> dict:
    """A tap on the dial's part of the touch strip."""
    return event(action=action, context=context, name="touchTap",
                 payload=dict(dial_payload(settings, column), tapPos=list(tap_pos), hold=hold))


class Instances:
    """What the Stream Deck application keeps for each instance from the
    plug-in's frames: the strip's layout items and the stored settings."""

    def __init__(self) -> None:
        self.strips: dict = {}  # context -> {layout item: what it shows}
        self.settings: dict = {}  # context -> the settings object last stored

    @classmethod
    def from_frames(cls, frames: Iterable) -> "Instances":
        instances = cls()
        for frame in frames:
            if frame.kind == "text":
                instances.take(frame.data)
        return instances

    def take(self, text: str) -> Optional[str]:
        """Applies one frame of the plug-in; for setFeedback and setSettings
        returns a line saying what changed, for anything else None."""
        try:
            message = json.loads(text)
        except ValueError:
            return None
        if not isinstance(message, dict) or not isinstance(message.get("context"), str):
            return None
        context, payload = message["context"], message.get("payload")
        if message.get("event") == "setFeedback" and isinstance(payload, dict):
            self.strips.setdefault(context, {}).update(payload)
            return f"strip of {context}: {strip_text(self.strips[context])}"
        if message.get("event") == "setSettings" and isinstance(payload, dict):
            self.settings[context] = payload
            return f"settings of {context} stored: {json.dumps(payload, sort_keys=True)}"
        return None


def strip_text(items: dict) -> str:
    """One strip of the built-in layout $A1 or $B1 as a line: [title | value],
    [title | value | indicator %] once an indicator is set, and the icon when
    there is one: a data URL's picture size and length, or the file it names."""
    title, value = items.get("title", ""), items.get("value", "")
    indicator = f" | {_shown(items['indicator'])} %" if "indicator" in items else ""
    text = f"[{_shown(title)} | {_shown(value)}{indicator}]"
    icon = items.get("icon")
    if isinstance(icon, str) and icon.startswith("data:"):
        size = png_size(icon)
        picture = f"a {size[0]}x{size[1]} px icon" if size else "an icon"
        text += f" and {picture} ({len(icon)} characters of PNG data URL)"
    elif isinstance(icon, str) and icon:
        text += f" and the icon {icon}"
    return text


def _shown(item) -> str:
    return item if isinstance(item, str) else json.dumps(item)
