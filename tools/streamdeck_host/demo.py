"""A narrated session of the whole system: the real plug-in between the
stand-in Stream Deck application and the stand-in Zorvane desktop application.

Keys appear on the Stream Deck, are pressed, and their presses arrive at the
desktop application as commands; a property inspector opens and receives the
list that the desktop application answers with; the desktop application
reports changes and the keys follow; a Change Avatar action on a dial names
its avatar on the touch strip beside the avatar's thumbnail (photo-sized
files, PNG and JPEG, that the plug-in fits to the strip), turning goes
through the desktop application's avatars and pushing applies the one
shown; the desktop application quits and the keys go back to their first
state; the Stream Deck application closes the connection and the plug-in
exits.

Every step waits (with a hang guard, never a fixed sleep) for the effect it
expects, checks it, and prints one line saying what happened. Messages from
the plug-in are counted exactly: after the expected ones have arrived, a ping
to the plug-in comes back only once it has sent everything that the step
caused, so a message too many is caught as well as one missing. A picture
on the strip is looked at: it must have the size its thumbnail fits to and
show that thumbnail, averaged down.

Both stand-ins run with the same environment, with a private XDG_RUNTIME_DIR
of the demo's own, so that the plug-in and the stand-in desktop application
meet on one desktop link that nothing else on the machine shares.

Exit status: 0 when every step had its expected effect and the plug-in
exited with 0 in silence; 1 otherwise, after a line starting with "FAILED:"
that says what was missing.
"""

import base64
import io
import json
import os
import sys
import tempfile
from contextlib import ExitStack
from dataclasses import dataclass

from PIL import Image

from desktop_standin import DesktopStandIn, command_value
from support.photo_library import write_library
from support.png import png_file

from .dials import dial_press, dial_rotate, encoder_layout, instance_event, strip_text
from .host import StreamDeckHost, plugin_environment, runs_under_wine
from .strip_picture import png_size, strip_png
from .styled import registration_text

PREFIX = "com.brimcove.zorvaneplugin."
BROADCAST, POSE, EMOTE, QUICKSLOT, AVATAR = (
    PREFIX + a for a in ("broadcast", "pose", "emote", "quickslot", "changeavatar"))
DEVICE = "DEVICE1"

# Kind codes of the commands the plug-in sends to the desktop application.
COMMAND_NAMES = {
    0x80000: "broadcast",
    0x80001: "calibrate",
    0x80002: "special action",
    0x80003: "pose",
    0x80004: "change avatar",
    0x80005: "change background",
    0x80006: "get avatar list",
    0x80007: "get background list",
    0x80008: "emote",
    0x80009: "get emote list",
    0x8000A: "get special action list",
    0x8000B: "get pose list",
    0x8000C: "quick slot",
    0x8000D: "get quick-slot list",
    0x8000E: "idle",
    0x8000F: "get idle list",
}
COMMAND_KINDS = {name: kind for kind, name in COMMAND_NAMES.items()}

# Kind codes of the desktop application's notifications used here.
BROADCAST_STATE, POSE_STATE, AVATAR_LIST, EMOTE_LIST, QUICKSLOT_STATE = (
    0x160001, 0x160002, 0x160003, 0x160005, 0x160009)

EMOTE_LIST_DOCUMENT = {
    "listType": "emote",
    "itemList": [{"name": "Wave"}, {"name": "Bow"}, {"name": "Cheer"}],
    "imagePath": "C:\\Zorvane\\emotes",
}

# The desktop application's avatars: value, name, and the thumbnail as a
# streamer's library has it: its file, its sides in pixels (one for a square)
# and its format.
AVATARS = [("fox", "Fox Ember", ("fox.png", 2048, "PNG")), ("owl", "Owl Nightwatch", ("owl.png", 1024, "PNG")),
           ("cat", "Cat Whiskers", ("cat.jpg", (1536, 1024), "JPEG"))]
AVATAR_NAMES = {value: name for value, name, _ in AVATARS}
AVATAR_THUMBNAILS = {value: thumbnail for value, _, thumbnail in AVATARS}
# Where each avatar stands in the list, as the strip's indicator shows it: 0 at the first, 100 at the last.
AVATAR_INDICATORS = {value: 100 * index // (len(AVATARS) - 1) for index, (value, _, _) in enumerate(AVATARS)}
# Each thumbnail as the plug-in fits it into the strip's 48 x 48 px picture, keeping its aspect ratio.
FITTED_SIZES = {"fox": (48, 48), "owl": (48, 48), "cat": (48, 32)}
# What the strip shows beside an entry whose picture is not made yet: the action's own picture in the bundle.
OWN_PICTURE = "images/encoders/changeavatar.png"
# How far, on average over its samples (0 to 255), a picture on the strip may be from its thumbnail averaged
# down to that size: decoders differ by a few levels (a JPEG most), another photo is tens of levels away.
PICTURE_TOLERANCE = 6


@dataclass(frozen=True)
class Key:
    name: str  # how the narration calls it
    action: str
    context: str
    column: int
    settings: dict


class DemoFailed(Exception):
    """An expected effect did not happen; the message says which."""


def describe_command(kind: int, value) -> str:
    """A command in plain words: its kind's name and its value, e.g. emote 'Wave'."""
    if not isinstance(kind, int):
        return "a message without a kind code"
    name = COMMAND_NAMES.get(kind, f"unknown command {kind:#x}")
    if value is None:
        return name
    if isinstance(value, str):
        return f"{name} '{value}'"
    return f"{name} {json.dumps(value)}"


def png_image(width: int, height: int, rgb: tuple) -> bytes:
    """A PNG file of one colour."""
    return png_file(width, height, 3, (b"\0" + bytes(rgb) * width) * height)


def session_environment(plugin_cmd, desktop_cmd, runtime_dir: str) -> dict:
    """One environment for both programs, with the demo's own runtime folder."""
    env = plugin_environment(plugin_cmd)
    if runs_under_wine(desktop_cmd):
        env.setdefault("WINEDEBUG", "-all")
    env["XDG_RUNTIME_DIR"] = runtime_dir
    return env


class Demo:
    """The scripted session; ``run`` goes through it step by step."""

    def __init__(self, host: StreamDeckHost, desktop: DesktopStandIn, image_path: str, say, strip_picture=None,
                 thumbnails=None):
        self.host = host
        self.strip_picture = strip_picture  # where to draw the dial's strip after its last turn
        self.desktop = desktop
        self.image_path = image_path
        self.say = say
        self.steps = 0
        self.frames_seen = 0  # the plug-in's messages already accounted for
        self.commands_seen = 0  # the desktop application's commands already accounted for
        self.image_url = data_url(image_path)
        thumbnails = thumbnails or {}  # avatar value -> its thumbnail file
        self.avatar_list = {
            "listType": "avatar",
            "imagePath": os.path.dirname(image_path),
            "itemList": [{"name": name, "id": value, "thumbnail": thumbnails[value]} for value, name, _ in AVATARS],
        }
        # What each avatar's picture on the strip should look like: its thumbnail averaged down to the fitted size.
        self.expected_pictures = {value: averaged_down(path, FITTED_SIZES[value]) for value, path in thumbnails.items()}
        self.broadcast = Key("broadcast key", BROADCAST, "KEYBROADCAST0000", 0, {})
        self.pose = Key("pose key", POSE, "KEYPOSE000000002", 1, {"value": 2})
        self.emote = Key("emote key", EMOTE, "KEYEMOTE00000000", 2, {"value": "Wave"})
        self.quickslot = Key("quick-slot key", QUICKSLOT, "KEYQUICKSLOT0005", 3, {"value": "5", "image": image_path})
        self.avatar_dial = Key("Change Avatar dial", AVATAR, "DIALAVATAR000000", 0, {"value": "fox"})

    # ------------------------------------------------------------------ steps

    def run(self) -> None:
        self.step(f'The desktop application is running; its window "ZORVANEDESKTOP" has handle {self.desktop.handle}.')
        self.start_plugin()
        self.keys_appear()
        self.keys_are_pressed()
        self.inspector_opens()
        self.desktop_reports_changes()
        self.dial_scene()
        self.desktop_quits()
        self.connection_closes()

    def start_plugin(self) -> None:
        host = self.host
        try:
            host.launch()
        except OSError as error:
            raise DemoFailed(f"the plug-in could not be started: {error}") from None
        self.step(
            f"The Stream Deck application listens on 127.0.0.1:{host.port} and starts the plug-in"
            f" ({' '.join(host.plugin_cmd)}) with -port, -pluginUUID, -registerEvent and -info."
        )
        try:
            registration = host.wait_for_registration()
        except AssertionError as error:
            raise DemoFailed(f"the plug-in never registered ({error})") from None
        expected = registration_text(host.register_event, host.uuid)
        if registration.kind != "text" or registration.data != expected:
            raise DemoFailed(f"the plug-in's first message is not its registration: {registration.data!r}")
        self.frames_seen = 1
        self.step(f'The plug-in connects and registers: event "{host.register_event}", UUID {host.uuid}.')

    def keys_appear(self) -> None:
        for key, article, what in (
            (self.broadcast, "A", "broadcast key"),
            (self.pose, "A", "pose key for pose 2"),
            (self.emote, "An", 'emote key for "Wave"'),
        ):
            self.send_key_event("willAppear", key)
            self.expect_messages([], f"silence after the {key.name} appeared")
            self.step(
                f"{article} {what} appears at column {key.column}, row 0;"
                " the plug-in sends nothing back (the key keeps its first state)."
            )
        key = self.quickslot
        self.send_key_event("willAppear", key)
        self.expect_messages([self.image_message()], "the quick-slot key getting the image its settings name")
        self.step(
            f'A quick-slot key for slot "5" appears at column {key.column}, row 0, its settings naming'
            f" the image {self.image_path}; the plug-in shows that image on the key"
            f" (setImage, {len(self.image_url)} characters of PNG data URL)."
        )

    def keys_are_pressed(self) -> None:
        for key, kind, value in (
            (self.broadcast, COMMAND_KINDS["broadcast"], None),
            (self.pose, COMMAND_KINDS["pose"], 2),
            (self.emote, COMMAND_KINDS["emote"], "Wave"),
            (self.quickslot, COMMAND_KINDS["quick slot"], "5"),
        ):
            self.send_key_event("keyDown", key)
            self.send_key_event("keyUp", key)
            received = self.expect_command(kind, value, f"the {key.name} press")
            self.expect_messages([], f"silence towards the Stream Deck after the {key.name} press")
            self.step(f"The {key.name} is pressed and released; the desktop application receives: {received}.")

    def inspector_opens(self) -> None:
        key = self.emote
        self.send_key_event("propertyInspectorDidAppear", key, payload=False)
        received = self.expect_command(
            COMMAND_KINDS["get emote list"], None, "the emote key's property inspector opening")
        self.expect_messages([], "silence towards the Stream Deck after the property inspector opened")
        self.step(f"The user opens the emote key's property inspector; the desktop application receives: {received}.")

        self.notify(EMOTE_LIST, EMOTE_LIST_DOCUMENT, "emote list")
        self.expect_messages(
            [{"event": "sendToPropertyInspector", "action": EMOTE, "context": key.context,
              "payload": EMOTE_LIST_DOCUMENT}],
            "the emote list reaching the emote key's property inspector",
        )
        names = ", ".join(item["name"] for item in EMOTE_LIST_DOCUMENT["itemList"])
        self.step(
            f"The desktop application answers with its emote list ({names});"
            " the plug-in passes it unchanged to the emote key's property inspector."
        )

    def desktop_reports_changes(self) -> None:
        self.notify(BROADCAST_STATE, {"value1": True}, "broadcast state")
        self.expect_messages([self.state_message(self.broadcast, 1)], "the broadcast key switching to state 1")
        self.step("The desktop application reports that it broadcasts; the plug-in sets the broadcast key to state 1.")

        self.notify(POSE_STATE, {"value1": True, "value2": 2}, "pose state")
        self.expect_messages([self.state_message(self.pose, 1)], "the pose key switching to state 1")
        self.step("The desktop application reports pose 2 active; the plug-in sets the pose key to state 1.")

        self.notify(QUICKSLOT_STATE, {"value1": "5", "value2": True}, "quick-slot state")
        self.expect_messages([self.image_message()], "the quick-slot key getting its image again")
        self.step(
            'The desktop application reports quick slot "5"; the plug-in sends the quick-slot key its image again.')

    def dial_scene(self) -> None:
        self.dial_appears()
        self.dial_turns()
        self.dial_is_pushed()

    def dial_appears(self) -> None:
        dial = self.avatar_dial
        self.host.send_json(instance_event("willAppear", dial.action, dial.context, dial.settings, column=dial.column))
        self.expect_messages([self.feedback(title="Change Avatar", value="fox")],
                             "the Change Avatar dial's strip naming the action and the stored avatar")
        received = self.expect_command(COMMAND_KINDS["get avatar list"], None, "the Change Avatar dial appearing")
        self.step(
            f'A Change Avatar action appears on dial {dial.column}, its stored avatar "fox"; the strip shows'
            f" {self.strip()} and the desktop application receives: {received}."
        )

        self.notify(AVATAR_LIST, self.avatar_list, "avatar list")
        shown = self.expect_entry([], "fox", "the strip naming the stored avatar beside its thumbnail")
        names = ", ".join(AVATAR_NAMES.values())
        thumbnails = "; ".join(describe_thumbnail(value) for value in AVATAR_NAMES)
        self.step(f"The desktop application answers with its avatar list ({names}) and their thumbnails"
                  f" ({thumbnails}); the strip names it: {shown}.")

    def dial_turns(self) -> None:
        dial = self.avatar_dial
        for ticks, avatar, how in ((1, "owl", "one step clockwise"),
                                   (2, "fox", "two steps clockwise, past the last avatar to the first"),
                                   (-1, "cat", "one step back, from the first avatar to the last")):
            settings = self.host.instances.settings.get(dial.context, dial.settings)
            self.host.send_json(dial_rotate(dial.action, dial.context, settings, ticks, column=dial.column))
            shown = self.expect_entry(
                [{"event": "setSettings", "context": dial.context,
                  "payload": {"value": avatar, "label": AVATAR_NAMES[avatar]}}],
                avatar, f'the dial storing "{avatar}" and its strip naming it')
            self.step(f'The dial turns {how}; the plug-in stores "{avatar}" labelled "{AVATAR_NAMES[avatar]}"'
                      f" (setSettings) and the strip shows {shown}.")

        if self.strip_picture:
            with open(self.strip_picture, "wb") as picture:
                picture.write(strip_png(self.host.instances.strips[dial.context], encoder_layout(dial.action)))
            self.say(f"    (the strip drawn into {self.strip_picture})")

    def dial_is_pushed(self) -> None:
        dial = self.avatar_dial
        settings = self.host.instances.settings.get(dial.context, dial.settings)
        self.host.send_json(dial_press("dialDown", dial.action, dial.context, settings, dial.column))
        self.host.send_json(dial_press("dialUp", dial.action, dial.context, settings, dial.column))
        # The turns sent no command: the push's is the next one.
        received = self.expect_command(COMMAND_KINDS["change avatar"], "cat", "the dial's push")
        self.expect_messages([], "silence towards the Stream Deck after the dial's push")
        self.step(f"The dial is pushed and released; the desktop application receives: {received}.")

    def desktop_quits(self) -> None:
        code = self.desktop.stop()
        if code != 0:
            raise DemoFailed(f"the stand-in desktop application ended with code {code} instead of 0")
        self.step("The desktop application quits (exit code 0).")

        self.host.send_json({"event": "applicationDidTerminate", "payload": {"application": "Zorvane.exe"}})
        self.expect_messages(
            [
                {"event": "sendToPropertyInspector", "action": EMOTE, "context": self.emote.context,
                 "payload": {"appDidClose": True}},
                self.state_message(self.broadcast, 0),
                self.state_message(self.pose, 0),
            ],
            "the property inspector told and the broadcast and pose keys reset after applicationDidTerminate",
        )
        self.step(
            "The Stream Deck application reports that the desktop application terminated; the plug-in tells"
            ' the open property inspector {"appDidClose": true} and sets the broadcast and pose keys back to state 0.'
        )

    def connection_closes(self) -> None:
        self.host.close()
        try:
            result = self.host.wait_exit()
        except AssertionError:
            raise DemoFailed("the plug-in did not exit after the connection closed") from None
        if result.stdout or result.stderr:
            printed = (result.stdout + result.stderr).decode(errors="replace")
            raise DemoFailed(f"the plug-in printed something, but it must stay silent:\n{printed}")
        if result.code != 0:
            raise DemoFailed(f"the plug-in exited with code {result.code} instead of 0")
        self.step("The Stream Deck application closes the connection; the plug-in exits with code 0, silently.")

    # ---------------------------------------------------------------- helpers

    def step(self, text: str) -> None:
        self.steps += 1
        self.say(f"{self.steps:2}. {text}")

    def send_key_event(self, event: str, key: Key, payload: bool = True) -> None:
        message = {"event": event, "action": key.action, "context": key.context, "device": DEVICE}
        if payload:
            message["payload"] = {
                "settings": key.settings,
                "coordinates": {"column": key.column, "row": 0},
                "state": 0,
                "isInMultiAction": False,
            }
        self.host.send_json(message)

    def image_message(self) -> dict:
        return {"event": "setImage", "context": self.quickslot.context,
                "payload": {"image": self.image_url, "target": 0}}

    def feedback(self, **items) -> dict:
        return {"event": "setFeedback", "context": self.avatar_dial.context, "payload": items}

    def strip(self) -> str:
        """The dial's strip as the Stream Deck application now shows it."""
        return strip_text(self.host.instances.strips.get(self.avatar_dial.context, {}))

    @staticmethod
    def state_message(key: Key, state: int) -> dict:
        return {"event": "setState", "context": key.context, "payload": {"state": state}}

    def expect_messages(self, expected: list, what: str) -> None:
        """Waits for as many messages from the plug-in as expected, makes sure
        no other came with them, and compares them, in any order."""
        received = self.take_messages(len(expected), what)
        if sorted(map(_canonical, received)) != sorted(map(_canonical, expected)):
            raise DemoFailed(
                f"expected {what}, that is {_listing(expected)} from the plug-in, but it sent {_listing(received)}"
            )

    def expect_entry(self, before: list, avatar: str, what: str) -> str:
        """Waits for the messages ``before``, in order, then for the strip
        naming ``avatar`` beside its thumbnail's picture. While the plug-in
        has not made that picture yet, the strip first shows the action's own
        picture and the entry comes again once it is made. Returns the strip
        in words, with the action's own picture when it came first."""
        entry = {"value": AVATAR_NAMES[avatar], "indicator": AVATAR_INDICATORS[avatar]}
        waiting = self.feedback(**entry, icon=OWN_PICTURE)
        shown = self.feedback(**entry, icon=f"<{picture_of(avatar)}>")
        received = self.take_messages(len(before) + 1, what)
        first = ""
        if _in_order(received) != _in_order(before + [shown]):
            if _in_order(received) == _in_order(before + [waiting]):
                received.extend(self.take_messages(1, f"{what}, once its picture is made"))
            if _in_order(received) != _in_order(before + [waiting, shown]):
                raise DemoFailed(
                    f"expected {what}, that is {_listing(before + [shown])} from the plug-in, perhaps with"
                    f" {_listing([waiting])} before the last while its picture is made,"
                    f" but it sent {_listing(received)}")
            first = f"; until the plug-in had made that picture, the icon was the action's own, {OWN_PICTURE}"
        return f"{self.strip()}, {AVATAR_THUMBNAILS[avatar][0]} fitted to it{first}"

    def take_messages(self, count: int, what: str) -> list:
        """Waits for ``count`` more messages from the plug-in and returns
        them with every other that came before a ping's answer; a thumbnail's
        picture on the strip in words, once looked at."""
        seen = self.frames_seen
        try:
            self.host.wait_for_frames(seen + count)
            self.host.ping()  # answered only after everything sent before it
        except AssertionError as error:
            raise DemoFailed(f"waited in vain for {what} ({error})") from None
        frames = self.host.frames[seen:]
        self.frames_seen = seen + len(frames)
        received = []
        for frame in frames:
            try:
                received.append(json.loads(frame.data) if frame.kind == "text" else frame.data)
            except ValueError:
                received.append(frame.data)
        return [self.picture_in_words(message) for message in received]

    def picture_in_words(self, message):
        """A setFeedback whose icon is a data URL, with the icon in words: the
        picture of the avatar that the strip names when it is that avatar's
        thumbnail fitted to the strip, else what is wrong with it."""
        if not isinstance(message, dict) or message.get("event") != "setFeedback":
            return message
        payload = message.get("payload")
        icon = payload.get("icon") if isinstance(payload, dict) else None
        if not isinstance(icon, str) or not icon.startswith("data:"):
            return message
        avatar = next((value for value, name in AVATAR_NAMES.items() if name == payload.get("value")), None)
        described = dict(payload, icon=self.looked_at(icon, avatar))
        return dict(message, payload=described)

    def looked_at(self, icon: str, avatar) -> str:
        """A data URL icon beside ``avatar`` (None: no avatar of the list) in words."""
        size = png_size(icon)
        if size is None:
            return f"<not a PNG data URL: {_abridged(icon, 40)}>"
        if avatar is None:
            return f"<a {size[0]}x{size[1]} px picture beside no avatar of the list>"
        if size != FITTED_SIZES[avatar]:
            return f"<a {size[0]}x{size[1]} px picture instead of {picture_of(avatar)}>"
        distance = picture_distance(icon, self.expected_pictures[avatar])
        if distance is None:
            return f"<a {size[0]}x{size[1]} px PNG that does not decode>"
        if distance > PICTURE_TOLERANCE:
            return f"<a picture {distance:.1f} levels away on average from {picture_of(avatar)}>"
        return f"<{picture_of(avatar)}>"

    def expect_command(self, kind: int, value, what: str) -> str:
        """Waits for the desktop application's next command and checks it; returns it in plain words."""
        try:
            commands = self.desktop.wait_for_commands(self.commands_seen + 1)
        except AssertionError:
            raise DemoFailed(f"the desktop application received no command for {what}") from None
        command = commands[self.commands_seen]
        self.commands_seen += 1
        try:
            received = (command.get("kind"), command_value(command))
        except ValueError as error:
            raise DemoFailed(f"the command for {what} is malformed: {error}") from None
        if received != (kind, value):
            raise DemoFailed(
                f"the desktop application should have received {describe_command(kind, value)} for {what},"
                f" but received {describe_command(*received)}"
            )
        text = command_value_text(command)
        return f"{describe_command(kind, value)} (kind 0x{kind:X}, {text or 'no text'})"

    def notify(self, kind: int, document: dict, what: str) -> None:
        try:
            result = self.desktop.notify_json(kind, document)
        except AssertionError as error:
            raise DemoFailed(f"the desktop application could not send its {what} notification ({error})") from None
        if result != 1:
            raise DemoFailed(f"the plug-in refused the {what} notification (result {result})")


def data_url(png_path: str) -> str:
    with open(png_path, "rb") as image:
        return "data:image/png;base64," + base64.b64encode(image.read()).decode("ascii")


def describe_thumbnail(avatar: str) -> str:
    """E.g. "cat.jpg, a 1536x1024 px JPEG"."""
    name, side, file_format = AVATAR_THUMBNAILS[avatar]
    sides = f"{side}x{side}" if isinstance(side, int) else "x".join(map(str, side))
    return f"{name}, a {sides} px {file_format}"


def picture_of(avatar: str) -> str:
    """How the narration and the comparisons name the avatar's picture on the strip."""
    width, height = FITTED_SIZES[avatar]
    return f"the picture of {AVATAR_THUMBNAILS[avatar][0]}, {width}x{height} px"


def averaged_down(path: str, size: tuple) -> Image.Image:
    """The picture in ``path`` shrunk to ``size``, each pixel the average of those it covers."""
    with Image.open(path) as picture:
        return picture.convert("RGB").resize(size, Image.BOX)


def picture_distance(icon: str, expected: Image.Image):
    """How far the PNG of a data URL is from ``expected``, of the same size:
    the mean absolute difference of their samples, 0 to 255; None when the
    PNG does not decode."""
    try:
        with Image.open(io.BytesIO(base64.b64decode(icon.split(",", 1)[1]))) as picture:
            samples = picture.convert("RGB").tobytes()
    except (OSError, ValueError):
        return None
    wanted = expected.tobytes()
    return sum(abs(a - b) for a, b in zip(samples, wanted)) / len(wanted)


def command_value_text(command: dict) -> str:
    """The command's JSON text as sent, without its line feed and NUL."""
    return bytes.fromhex(command.get("bytes", "")).rstrip(b"\0").rstrip(b"\n").decode("utf-8", "replace")


def _canonical(message) -> str:
    return json.dumps(message, sort_keys=True) if not isinstance(message, (str, bytes)) else repr(message)


def _in_order(messages: list) -> list:
    return [_canonical(message) for message in messages]


def _listing(messages: list) -> str:
    if not messages:
        return "nothing"
    return "; ".join(_abridged(_canonical(message)) for message in messages)


def _abridged(text: str, limit: int = 200) -> str:
    return text if len(text) <= limit else text[:limit] + "..."


def run(plugin_cmd, desktop_cmd, timeout: float = 60.0, out=sys.stdout, strip_picture=None) -> int:
    def say(text: str = "") -> None:
        print(text, file=out, flush=True)

    say("Zorvane plug-in demo: the plug-in between a stand-in Stream Deck application"
        " and a stand-in desktop application.")
    with tempfile.TemporaryDirectory(prefix="zorvane-demo-") as folder:
        runtime_dir = os.path.join(folder, "runtime")
        os.mkdir(runtime_dir)
        os.chmod(runtime_dir, 0o700)
        image_path = os.path.join(folder, "slot5.png")
        with open(image_path, "wb") as image:
            image.write(png_image(72, 72, (0x2E, 0x86, 0xC1)))
        library = write_library(os.path.join(folder, "avatars"), [thumbnail for _, _, thumbnail in AVATARS])
        thumbnails = {value: library[name] for value, _, (name, _, _) in AVATARS}
        env = session_environment(plugin_cmd, desktop_cmd, runtime_dir)
        try:
            with ExitStack() as stack:
                desktop = DesktopStandIn(desktop_cmd, env=env, timeout=timeout)
                try:
                    desktop.start()
                except OSError as error:
                    raise DemoFailed(f"the desktop application could not be started: {error}") from None
                except AssertionError as error:
                    raise DemoFailed(f"the desktop application did not open its window ({error})") from None
                finally:
                    stack.callback(desktop.stop)
                host = stack.enter_context(StreamDeckHost(plugin_cmd, env=env, timeout=timeout))
                Demo(host, desktop, image_path, say, strip_picture, thumbnails).run()
        except DemoFailed as failure:
            say(f"FAILED: {failure}.")
            return 1
        except AssertionError as error:  # a wait outside the checked steps ran past its hang guard
            say(f"FAILED: {error}.")
            return 1
    say("Demo finished: every step had the expected effect.")
    return 0
