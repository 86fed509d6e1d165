"""Stand-in Stream Deck application for driving the plug-in process."""

from .dials import ENCODER, KEYPAD, Instances, dial_press, dial_rotate, event, instance_event, strip_text, touch_tap
from .host import (
    DEFAULT_INFO,
    DEFAULT_REGISTER_EVENT,
    DEFAULT_UUID,
    Frame,
    HostTimeout,
    PluginExit,
    StreamDeckHost,
    plugin_arguments,
    plugin_environment,
    runs_under_wine,
)
from .styled import registration_text, styled_string

__all__ = [
    "DEFAULT_INFO",
    "ENCODER",
    "KEYPAD",
    "Instances",
    "dial_press",
    "dial_rotate",
    "event",
    "instance_event",
    "strip_text",
    "touch_tap",
    "DEFAULT_REGISTER_EVENT",
    "DEFAULT_UUID",
    "Frame",
    "HostTimeout",
    "PluginExit",
    "StreamDeckHost",
    "plugin_arguments",
    "plugin_environment",
    "registration_text",
    "runs_under_wine",
    "styled_string",
]
