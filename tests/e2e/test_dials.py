"""Actions on the dials of a Stream Deck+, end to end: the real plug-in
between the stand-in Stream Deck application and the stand-in desktop
application. An encoder names its action and current item on the touch strip
(setFeedback) and, once the list is there, where the item stands in it;
turning goes through the action's list and stores the item's value and label
(setSettings) without a command, pushing or tapping sends what a key release
sends, and keys get exactly what they got before.
"""

import base64
import json
import shutil
import struct
from pathlib import Path

import pytest

from conftest import (AVATAR, BACKGROUND, BROADCAST, BROADCAST_STATE, CALIBRATE, EMOTE, IDLE, KEY_RELEASES, POSE,
                      POSE_STATE, PREFIX, QUICKSLOT, SPECIAL, Messages, appear, send, value1)
from desktop_standin import command_bytes
from streamdeck_host import ENCODER, KEYPAD, dial_press, dial_rotate, event, instance_event, touch_tap

# Per list action: the kind of its list request, the kind of the desktop
# application's list notification, and the list's "listType".
LISTS = {
    SPECIAL: (0x8000A, 0x160006, "special_action"),
    POSE: (0x8000B, 0x160007, "pose"),
    EMOTE: (0x80009, 0x160005, "emote"),
    QUICKSLOT: (0x8000D, 0x160008, "quickslot"),
    AVATAR: (0x80006, 0x160003, "avatar"),
    BACKGROUND: (0x80007, 0x160004, "background"),
    IDLE: (0x8000F, 0x16000A, "idle"),
}
CALIBRATE_KIND = 0x80001
# The actions whose lists carry a folder of thumbnails.
THUMBNAILED = (AVATAR, BACKGROUND, EMOTE, QUICKSLOT)


def feedback(context, **items):
    return {"event": "setFeedback", "context": context, "payload": items}


def shown(context, action, text, at):
    """What the strip shows for an item of a list: its text, where it stands
    in the list (``at``, the indicator: 0 at the first item, 100 at the last,
    and 0 for a value that no item has), and for an action whose thumbnails
    (under C:\\, unreadable here) cannot be shown, its own picture."""
    if action not in THUMBNAILED:
        return feedback(context, value=text, indicator=at)
    return feedback(context, value=text, indicator=at, icon=f"images/encoders/{action.rsplit('.', 1)[1]}.png")


def stored(context, settings):
    return {"event": "setSettings", "context": context, "payload": settings}


def png_url(path):
    return "data:image/png;base64," + base64.b64encode(Path(path).read_bytes()).decode()


class Dials:
    """One session with the desktop stand-in: sends events, and takes the
    plug-in's messages and commands exactly, so that one too many is caught."""

    def __init__(self, host, desktop):
        self.host, self.desktop = host, desktop
        self.messages = Messages(host)
        self.commands_seen = 0

    def send(self, message):
        self.host.send_json(message)

    def encoder(self, action, context, settings=None):
        self.send(instance_event("willAppear", action, context, settings or {}))

    def turn(self, action, context, ticks, pressed=False, settings=None):
        self.send(dial_rotate(action, context, settings or {}, ticks, pressed))

    def notify_list(self, action, items, **members):
        """The desktop application's list for ``action``; a folder of
        thumbnails where the action's lists need one."""
        if action in THUMBNAILED:
            members.setdefault("imagePath", "C:\\Zorvane\\thumbnails")
        document = dict(listType=LISTS[action][2], itemList=items, **members)
        assert self.desktop.notify_json(LISTS[action][1], document) == 1
        return document

    def expect(self, messages, ordered=True):
        """The plug-in's next messages are these (in this order, or in any)."""
        try:
            received = self.messages.wait(len(messages))
        except AssertionError:
            raise AssertionError(f"awaited {messages}, received {self.received()}") from None
        if ordered:
            assert received == messages
        else:
            assert sorted(map(canonical, received)) == sorted(map(canonical, messages))
        self.expect_nothing_more()

    def received(self):
        return [frame.data for frame in self.host.frames[self.messages.seen:]]

    def expect_nothing_more(self, what="the plug-in sent more than expected"):
        self.host.ping()  # answered only after everything sent before it
        assert self.received() == [], what

    def commands(self, count):
        """The desktop application's next ``count`` commands."""
        received = self.desktop.wait_for_commands(self.commands_seen + count)[self.commands_seen:][:count]
        self.commands_seen += count
        return received

    def expect_kinds(self, kinds, what=None):
        assert [c["kind"] for c in self.commands(len(kinds))] == kinds, what

    def expect_no_command(self, what="a command was sent"):
        """No command since the last one taken: a key release sent now is the very next."""
        send(self.host, "keyUp", CALIBRATE, "sentinel")
        self.expect_kinds([CALIBRATE_KIND], what)


def canonical(message):
    return json.dumps(message, sort_keys=True)


@pytest.fixture
def dials(session, desktop):
    return Dials(session, desktop)


# (action, stored settings, title, value on the strip); list actions also ask
# for their list. Without a list, a stored label names the entry.
APPEARING = [
    (BROADCAST, {}, "Broadcast", ""),
    (CALIBRATE, {}, "Calibrate", ""),
    (SPECIAL, {"value": 7}, "Special Action", "7"),
    (POSE, {"value": 2}, "Pose", "2"),
    (EMOTE, {"value": "Wave"}, "Emote", "Wave"),
    (QUICKSLOT, {"value": "5"}, "Quick Slot", "5"),
    (AVATAR, {"value": 'Fox "Ember"', "image": "C:\\none.png"}, "Change Avatar", 'Fox "Ember"'),
    (BACKGROUND, {}, "Change Background", ""),
    (IDLE, {"value": -1}, "Idle Animation", "-1"),
    (POSE, {"value": 3, "label": "Dance"}, "Pose", "Dance"),
    (AVATAR, {"value": "owl", "label": ""}, "Change Avatar", "owl"),
]


def test_an_encoder_appears_with_its_name_and_stored_value_and_asks_for_its_list(dials):
    for index, (action, settings, _, _) in enumerate(APPEARING):
        dials.encoder(action, f"dial{index}", settings)
    dials.expect([feedback(f"dial{index}", title=title, value=value)
                  for index, (_, _, title, value) in enumerate(APPEARING)])
    dials.expect_kinds([LISTS[action][0] for action, _, _, _ in APPEARING if action in LISTS])
    for command in dials.desktop.commands_seen():
        assert command_bytes(command) == b""


@pytest.fixture
def german(tmp_path, plugin_cmd, make_host, desktop):
    """A session of a plug-in installed in a folder whose German file
    translates some of the strip's texts."""
    folder = tmp_path / "com.brimcove.zorvaneplugin.sdPlugin"
    (folder / "bin").mkdir(parents=True)
    executable = Path(plugin_cmd[-1])
    shutil.copy2(executable, folder / "bin" / executable.name)
    (folder / "de.json").write_text(json.dumps({"Localization": {
        "Change Avatar": "Avatar wechseln", "On air": "Auf Sendung", "Off air": "Nicht auf Sendung",
        "Active": "Aktiv"}}), encoding="utf-8")
    host = make_host(command=plugin_cmd[:-1] + [str(folder / "bin" / executable.name)],
                     info=json.dumps({"application": {"language": "de"}}))
    host.launch()
    host.wait_for_registration()
    return Dials(host, desktop)


def test_strip_texts_come_from_the_session_language_and_fall_back_to_english(german):
    german.encoder(AVATAR, "avatar")
    german.encoder(EMOTE, "emote")
    german.encoder(BROADCAST, "broadcast")
    german.encoder(POSE, "pose", {"value": 4})
    german.expect([feedback("avatar", title="Avatar wechseln", value=""), feedback("emote", title="Emote", value=""),
                   feedback("broadcast", title="Broadcast", value=""), feedback("pose", title="Pose", value="4")])
    german.commands(3)
    assert german.desktop.notify_json(BROADCAST_STATE, {"value1": True}) == 1
    german.expect([feedback("broadcast", value="Auf Sendung")])
    assert german.desktop.notify_json(BROADCAST_STATE, {"value1": False}) == 1
    german.expect([feedback("broadcast", value="Nicht auf Sendung")])
    assert german.desktop.notify_json(POSE_STATE, {"value1": True, "value2": 4}) == 1
    german.expect([feedback("pose", value="Aktiv")])
    assert german.desktop.notify_json(POSE_STATE, {"value1": False, "value2": 4}) == 1
    german.expect([feedback("pose", value="Inactive")])


def test_the_latest_list_is_kept_for_the_encoders_of_its_action(dials):
    dials.encoder(AVATAR, "owl-dial", {"value": "owl"})
    dials.encoder(AVATAR, "empty-dial")
    dials.encoder(AVATAR, "gone-dial", {"value": "fox"})
    dials.encoder(EMOTE, "emote-dial", {"value": "Wave"})
    appear(dials.host, AVATAR, "avatar-key", {"value": "owl"})
    dials.send(instance_event("willAppear", AVATAR, "keypad-key", {"value": "fox"}, controller=KEYPAD))
    dials.send(instance_event("willDisappear", AVATAR, "gone-dial", {"value": "fox"}))
    dials.messages.wait(4)
    dials.expect_kinds([0x80006, 0x80006, 0x80006, 0x80009])
    send(dials.host, "propertyInspectorDidAppear", AVATAR, "avatar-key")
    send(dials.host, "propertyInspectorDidAppear", AVATAR, "owl-dial")
    dials.expect_kinds([0x80006, 0x80006])

    def forwarded(document):
        return [{"event": "sendToPropertyInspector", "action": AVATAR, "context": context, "payload": document}
                for context in ("avatar-key", "owl-dial")]

    first = dials.notify_list(AVATAR, [{"name": "Fox", "id": "fox"}, {"name": "Owl", "id": "owl"}], imagePath="C:\\a")
    dials.expect(forwarded(first) + [shown("owl-dial", AVATAR, "Owl", 100), shown("empty-dial", AVATAR, "", 0)],
                 ordered=False)
    latest = dials.notify_list(AVATAR, ["Fox"])
    dials.expect(forwarded(latest) + [shown("owl-dial", AVATAR, "owl", 0), shown("empty-dial", AVATAR, "", 0)],
                 ordered=False)
    # A list of another action, and one that fails today's checks, change nothing here.
    dials.notify_list(EMOTE, ["Wave", "Bow"])
    dials.expect([shown("emote-dial", EMOTE, "Wave", 0)])
    assert dials.desktop.notify_json(LISTS[AVATAR][1], {"listType": "emote", "itemList": ["Cat"]}) == 1
    dials.expect_nothing_more()

    dials.turn(AVATAR, "empty-dial", 1)
    dials.expect([stored("empty-dial", {"value": "Fox", "label": "Fox"}), shown("empty-dial", AVATAR, "Fox", 0)])

    send(dials.host, "applicationDidTerminate", payload={"application": "Zorvane.exe"})
    dials.expect([{"event": "sendToPropertyInspector", "action": AVATAR, "context": context,
                   "payload": {"appDidClose": True}} for context in ("avatar-key", "owl-dial")], ordered=False)
    dials.turn(AVATAR, "owl-dial", 1)  # the lists are gone: it asks again
    dials.expect_nothing_more()
    dials.expect_kinds([0x80006])
    dials.expect_no_command()


# Elements read as the property inspector reads them; (action, list,
# [(stored value or settings, text on the strip, indicator)]); five usable
# elements each, so the indicator goes in steps of 25. A stored value that no
# element has shows as it is, at 0; with a list, a stored label counts for
# nothing.
CURRENT_ITEMS = [
    (AVATAR, ["Alice", {"name": "Bob", "id": "bob-2"}, 12, {"DisplayName": "Cy", "value": "cy"}, None, "",
              {"title": "Dee"}, [1], True],
     [("bob-2", "Bob", 25), ("cy", "Cy", 75), ("12", "12", 50), ("Alice", "Alice", 0), ("Dee", "Dee", 100),
      ("nobody", "nobody", 0), (None, "", 0), ({"value": "bob-2", "label": "Robert"}, "Bob", 25),
      ({"value": "nobody", "label": "Nobody"}, "nobody", 0)]),
    (POSE, ["Sit", {"name": "Dance", "id": 7}, {"label": "Jump", "index": "9"}, {"name": "Float", "id": 2.5}, None,
            "Wave"],
     [(0, "Sit", 0), (7, "Dance", 25), (9, "Jump", 50), (3, "Float", 75), (5, "Wave", 100), (1, "1", 0),
      (None, "", 0)]),
]


def test_the_strip_names_the_element_whose_value_is_stored(dials):
    for action, items, _ in CURRENT_ITEMS:
        dials.encoder(action, action)
        dials.messages.wait(1)
        dials.commands(1)
        dials.notify_list(action, items)
        dials.expect([shown(action, action, "", 0)])
    for action, _, cases in CURRENT_ITEMS:
        for value, text, at in cases:
            settings = {} if value is None else value if isinstance(value, dict) else {"value": value}
            dials.send(instance_event("didReceiveSettings", action, action, settings))
            dials.expect([shown(action, action, text, at)])


AVATARS = [{"name": "Fox", "id": "fox"}, None, "Owl", {"name": "Cat", "id": "cat"}]  # three usable
AVATAR_TEXT = {"fox": "Fox", "Owl": "Owl", "cat": "Cat"}
AVATAR_AT = {"fox": 0, "Owl": 50, "cat": 100}
INT32_MIN, INT32_MAX = -(2**31), 2**31 - 1

# (stored value, ticks, value landed on)
TURNS = [
    (None, 1, "fox"), (None, 2, "Owl"), (None, 3, "cat"), (None, 4, "fox"),
    (None, -1, "cat"), (None, -2, "Owl"), (None, -3, "fox"), (None, -4, "cat"),
    (None, INT32_MAX, "fox"), (None, INT32_MIN, "Owl"),
    ("nobody", 1, "fox"), ("nobody", -1, "cat"),
    ("fox", 1, "Owl"), ("fox", -1, "cat"), ("cat", 1, "fox"), ("Owl", 7, "cat"), ("Owl", -7, "fox"),
    ("cat", INT32_MAX, "fox"), ("fox", INT32_MIN, "Owl"),
]


def test_turning_moves_through_the_list_with_wrap_around_and_sends_no_command(dials):
    for index, (value, _, _) in enumerate(TURNS):
        settings = {"kept": {"other": [1]}} if value is None else {"value": value, "kept": "yes"}
        dials.encoder(AVATAR, f"dial{index}", settings)
    dials.messages.wait(len(TURNS))
    dials.commands(len(TURNS))
    dials.notify_list(AVATAR, AVATARS)
    dials.messages.wait(len(TURNS))
    for index, (value, ticks, landed) in enumerate(TURNS):
        dials.turn(AVATAR, f"dial{index}", ticks, pressed=index % 2 == 1, settings={"value": "ignored"})
        kept = {"kept": {"other": [1]}} if value is None else {"kept": "yes"}
        dials.expect([stored(f"dial{index}", dict(kept, value=landed, label=AVATAR_TEXT[landed])),
                      shown(f"dial{index}", AVATAR, AVATAR_TEXT[landed], AVATAR_AT[landed])])
    dials.expect_no_command()


def test_a_fast_turn_is_answered_tick_by_tick_in_order_and_a_push_applies_the_item(dials):
    dials.encoder(POSE, "pose")
    dials.messages.wait(1)
    dials.commands(1)
    # Values of number actions: the "id", else the position among all elements.
    dials.notify_list(POSE, ["Sit", None, "Stand", {"name": "Dance", "id": 7}])
    dials.messages.wait(1)
    for _ in range(7):
        dials.turn(POSE, "pose", 1)
    dials.turn(POSE, "pose", -2, pressed=True)
    walk = [(0, "Sit", 0), (2, "Stand", 50), (7, "Dance", 100)] * 2 + [(0, "Sit", 0), (2, "Stand", 50)]
    expected = []
    for value, text, at in walk:
        expected += [stored("pose", {"value": value, "label": text}), feedback("pose", value=text, indicator=at)]
    dials.expect(expected)
    dials.send(dial_press("dialDown", POSE, "pose", {"value": 2}))
    dials.send(dial_press("dialUp", POSE, "pose", {"value": 2}))
    [command] = dials.commands(1)
    assert (command["kind"], command_bytes(command)) == (0x80003, value1(2))
    dials.expect_nothing_more()


def png_size(url):
    """The width and height of a PNG data URL's picture, from its header."""
    assert url.startswith("data:image/png;base64,"), url[:40]
    png = base64.b64decode(url.split(",", 1)[1])
    assert png[:8] == b"\x89PNG\r\n\x1a\n" and png[12:16] == b"IHDR"
    return struct.unpack(">II", png[16:24])


# Thumbnails of tests/platform/pictures/ and the size each is fitted to on the
# strip's 48 px picture; None: refused, the action's own picture instead.
THUMBNAILS = [
    ("png_rgb.png", (48, 24)),
    ("jpeg_progressive.jpg", (24, 48)),
    ("gif_animated.gif", (48, 24)),
    ("png_palette_transparent.png", (24, 48)),
    ("png_small.png", (16, 8)),
    ("truncated.png", None),
    ("png_claims_60000.png", None),
    ("text.png", None),
    ("missing.png", None),
]


def test_every_thumbnail_is_shown_fitted_to_the_strip_else_the_actions_picture(dials, tmp_path):
    pictures = Path(__file__).resolve().parent.parent / "platform" / "pictures"
    items = []
    for position, (name, _) in enumerate(THUMBNAILS):
        if (pictures / name).exists():
            shutil.copy(pictures / name, tmp_path / name)
        items.append({"name": name, "id": str(position), "thumbnail": str(tmp_path / name)})
    dials.encoder(AVATAR, "dial")
    dials.messages.wait(1)
    dials.commands(1)
    dials.notify_list(AVATAR, items)
    dials.messages.wait(1)
    own = "images/encoders/changeavatar.png"

    def turn_through_the_list(files_there=True):
        icons = []
        for position, (name, size) in enumerate(THUMBNAILS):
            dials.turn(AVATAR, "dial", 1)
            settings, frame = dials.messages.wait(2)
            assert settings == stored("dial", {"value": str(position), "label": name})
            assert (frame["payload"]["value"], frame["payload"]["indicator"]) == (name, (200 * position + 8) // 16)
            if files_there and size is not None and frame["payload"]["icon"] == own:
                # Not made yet: the picture follows, with the entry again.
                [frame] = dials.messages.wait(1)
            icons.append(frame["payload"]["icon"])
            dials.expect_nothing_more()
        return icons

    icons = turn_through_the_list()
    assert [png_size(icon) if size else icon for icon, (_, size) in zip(icons, THUMBNAILS)] == [
        size or own for _, size in THUMBNAILS]
    # A turn reads no file: the pictures are made once per list.
    for name, _ in THUMBNAILS:
        (tmp_path / name).unlink(missing_ok=True)
    assert turn_through_the_list() == icons
    # A new list makes them afresh: the files are gone now.
    dials.notify_list(AVATAR, items)
    dials.messages.wait(1)
    assert turn_through_the_list(files_there=False) == [own] * len(THUMBNAILS)


def test_turning_without_a_list_asks_for_it_and_broadcast_and_calibrate_ignore_turning(dials):
    dials.encoder(AVATAR, "avatar", {"value": "fox"})
    dials.encoder(BROADCAST, "broadcast")
    dials.encoder(CALIBRATE, "calibrate")
    dials.messages.wait(3)
    dials.expect_kinds([0x80006])
    dials.turn(AVATAR, "avatar", 1)
    dials.turn(AVATAR, "avatar", -3, pressed=True)
    dials.expect_nothing_more()
    dials.expect_kinds([0x80006, 0x80006])
    for action in (BROADCAST, CALIBRATE):
        dials.turn(action, action.rsplit(".", 1)[1], 1)
        dials.turn(action, action.rsplit(".", 1)[1], -1, pressed=True)
    dials.expect_nothing_more()
    dials.expect_no_command()


def test_pushing_and_tapping_send_what_a_key_release_sends_and_dial_down_nothing(dials):
    for index, (action, settings, _, _) in enumerate(KEY_RELEASES):
        dials.encoder(action, f"dial{index}", dict(settings, label="only shown"))  # the command takes "value"
        appear(dials.host, action, f"key{index}", settings)
    dials.messages.wait(len(KEY_RELEASES))
    dials.commands(len(LISTS))
    for index, (action, _, _, _) in enumerate(KEY_RELEASES):
        dials.send(dial_press("dialDown", action, f"dial{index}", {"value": 99}))
        dials.send(dial_press("dialUp", action, f"dial{index}", {"value": 99}))
        dials.send(touch_tap(action, f"dial{index}", {"value": 99}, hold=index % 2 == 1))
        send(dials.host, "keyUp", action, f"key{index}", {"settings": {"value": 99}})
    for action, _, kind, data in KEY_RELEASES:
        received = [(c["kind"], command_bytes(c)) for c in dials.commands(3)]
        assert received == [(kind, data)] * 3, action
    dials.expect_nothing_more()
    dials.expect_no_command()


def test_broadcast_and_pose_states_show_on_encoders_and_keys_keep_their_states(dials):
    appear(dials.host, BROADCAST, "broadcast-key")
    appear(dials.host, POSE, "pose-key", {"value": 2})
    for context in ("on-air-1", "on-air-2", "gone"):
        dials.encoder(BROADCAST, context)
    dials.encoder(POSE, "pose-2", {"value": 2})
    dials.encoder(POSE, "pose-3", {"value": 3})
    dials.send(instance_event("willDisappear", BROADCAST, "gone", {}))
    dials.messages.wait(5)
    dials.commands(2)

    def state(context, value):
        return {"event": "setState", "context": context, "payload": {"state": value}}

    def broadcast(on, value):
        assert dials.desktop.notify_json(BROADCAST_STATE, {"value1": on}) == 1
        dials.expect([state("broadcast-key", int(on)), feedback("on-air-1", value=value),
                      feedback("on-air-2", value=value)], ordered=False)

    broadcast(True, "On air")
    broadcast(False, "Off air")
    broadcast(True, "On air")
    for active, pose, expected in ((True, 2, [state("pose-key", 1), feedback("pose-2", value="Active")]),
                                   (False, 2, [state("pose-key", 0), feedback("pose-2", value="Inactive")]),
                                   (True, 3, [feedback("pose-3", value="Active")]),
                                   (True, 4, [])):
        assert dials.desktop.notify_json(POSE_STATE, {"value1": active, "value2": pose}) == 1
        dials.expect(expected, ordered=False)
    send(dials.host, "applicationDidTerminate", payload={"application": "Zorvane.exe"})
    dials.expect([state("broadcast-key", 0), state("pose-key", 0), feedback("on-air-1", value="Off air"),
                  feedback("on-air-2", value="Off air")], ordered=False)


def test_keys_appear_as_before_whatever_controller_they_name(dials, tmp_path):
    image = tmp_path / "slot.png"
    image.write_bytes(b"\x89PNG\r\n\x1a\nslot")
    key_image = {"image": png_url(image), "target": 0}
    settings = {"value": "5", "image": str(image)}
    for index, controller in enumerate((None, KEYPAD)):
        dials.send(instance_event("willAppear", QUICKSLOT, f"key{index}", settings, controller=controller))
        dials.send(instance_event("willAppear", BROADCAST, f"broadcast{index}", {}, controller=controller))
        dials.expect([{"event": "setImage", "context": f"key{index}", "payload": key_image}])
    dials.encoder(QUICKSLOT, "dial", settings)  # an encoder shows no key image
    dials.expect([feedback("dial", title="Quick Slot", value="5")])
    dials.expect_kinds([0x8000D])
    dials.notify_list(QUICKSLOT, ["5", "6"])
    dials.expect([shown("dial", QUICKSLOT, "5", 0)])
    dials.send(instance_event("didReceiveSettings", QUICKSLOT, "key1", dict(settings, value="6"), controller=KEYPAD))
    dials.expect([{"event": "setImage", "context": "key1", "payload": key_image}])


OUT_OF_PLACE = "out-of-place"
# Dial events that must change nothing: (what, event).
BAD_DIAL_EVENTS = [
    ("ticks missing", event("dialRotate", AVATAR, "dial", {"controller": ENCODER, "settings": {}, "pressed": False})),
    ("ticks as text", dial_rotate(AVATAR, "dial", {}, "1")),
    ("ticks a fraction", dial_rotate(AVATAR, "dial", {}, 1.5)),
    ("ticks a boolean", dial_rotate(AVATAR, "dial", {}, True)),
    ("ticks null", dial_rotate(AVATAR, "dial", {}, None)),
    ("ticks an array", dial_rotate(AVATAR, "dial", {}, [1])),
    ("ticks 0", dial_rotate(AVATAR, "dial", {}, 0)),
    ("ticks above 32 bits", dial_rotate(AVATAR, "dial", {}, INT32_MAX + 1)),
    ("ticks below 32 bits", dial_rotate(AVATAR, "dial", {}, INT32_MIN - 1)),
    ("ticks far out of range", dial_rotate(AVATAR, "dial", {}, 1e30)),
    ("payload an array", event("dialRotate", AVATAR, "dial", [1])),
    ("payload text", event("dialRotate", AVATAR, "dial", "ticks")),
    ("payload missing", event("dialRotate", AVATAR, "dial")),
    ("unknown action of ours", dial_rotate(PREFIX + "nosuch", "dial", {}, 1)),
    ("another plug-in's action", dial_rotate("com.other.plugin.dial", "dial", {}, 1)),
    ("push for an unknown action", dial_press("dialUp", PREFIX + "nosuch", "dial", {})),
    ("context never seen", dial_rotate(AVATAR, "never", {}, 1)),
    ("push on a context never seen", dial_press("dialUp", AVATAR, "never", {})),
    ("tap on a context never seen", touch_tap(AVATAR, "never", {})),
    ("context gone", dial_rotate(AVATAR, "gone", {}, 1)),
    ("turn on a key", dial_rotate(AVATAR, "keypad-key", {}, 1)),
    ("turn on an older host's key", dial_rotate(AVATAR, "plain-key", {}, -1)),
    ("push on a key", dial_press("dialUp", AVATAR, "keypad-key", {})),
    ("press on a key", dial_press("dialDown", AVATAR, "keypad-key", {})),
    ("tap on a key", touch_tap(AVATAR, "plain-key", {}, hold=True)),
    ("dial event for the wrong action", dial_rotate(EMOTE, "dial", {}, 1)),
]


def test_bad_dial_events_are_ignored_and_the_session_goes_on(dials):
    dials.encoder(AVATAR, "dial", {"value": "fox"})
    dials.encoder(AVATAR, "gone")
    dials.send(instance_event("willDisappear", AVATAR, "gone", {}))
    dials.send(instance_event("willAppear", AVATAR, "keypad-key", {"value": "fox"}, controller=KEYPAD))
    dials.send(instance_event("willAppear", AVATAR, "plain-key", {"value": "fox"}, controller=None))
    dials.messages.wait(2)
    dials.commands(2)
    dials.notify_list(AVATAR, AVATARS)
    dials.expect([shown("dial", AVATAR, "Fox", 0)])
    for what, message in BAD_DIAL_EVENTS:
        dials.send(message)
        dials.expect_nothing_more(f"{what}: a message was sent")
        dials.expect_no_command(f"{what}: a command was sent")
    dials.turn(AVATAR, "dial", 1)
    dials.expect([stored("dial", {"value": "Owl", "label": "Owl"}), shown("dial", AVATAR, "Owl", 50)])
