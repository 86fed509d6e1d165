"""A host that stops reading: the plug-in stops taking its events while the
replies wait, so its memory stays bounded; once the host reads again every
reply arrives, exact and in order; and a host that goes away in the middle
of such a burst still ends the plug-in with exit code 0."""

import base64
import json
import os
import random
import time

import pytest

from conftest import UNDER_WINE

KEYS = 40
BURST = 600
IMAGE_SIZE = 96 * 1024
# Without flow control the burst's replies (about 77 MiB) would all be held
# at once; the plug-in's own bound is a few MiB of waiting replies.
RESIDENT_BOUND_KIB = 40 * 1024
SANITIZED = os.environ.get("ZORVANE_SANITIZED") == "1"


def event(name, context, image):
    return json.dumps(
        {
            "event": name,
            "action": "com.brimcove.zorvaneplugin.emote",
            "context": context,
            "device": "DEVICE1",
            "payload": {"settings": {"image": image}, "coordinates": {"column": 0, "row": 0}},
        }
    )


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS line")


@pytest.fixture
def keys_with_image(session, tmp_path):
    """KEYS keys on the device, each showing the same image file once."""
    image = tmp_path / "key.png"
    image.write_bytes(random.Random(7).randbytes(IMAGE_SIZE))
    contexts = [f"KEY{index:02}" for index in range(KEYS)]
    for context in contexts:
        session.send_text(event("willAppear", context, str(image)))
    session.wait_for_frames(1 + KEYS)
    expected_image = "data:image/png;base64," + base64.b64encode(image.read_bytes()).decode()
    return contexts, str(image), expected_image


def burst(contexts, image):
    order = [contexts[index % len(contexts)] for index in range(BURST)]
    return order, [event("didReceiveSettings", context, image) for context in order]


def test_stalled_host_gets_every_reply_in_order_once_it_reads_again(session, keys_with_image):
    contexts, image, expected_image = keys_with_image
    order, events = burst(contexts, image)
    session.stop_reading()
    session.send_texts_in_background(events)
    peak = 0
    observe_until = time.monotonic() + 3
    while time.monotonic() < observe_until:
        if not UNDER_WINE:
            peak = max(peak, resident_kib(session.plugin_pid))
        time.sleep(0.05)
    session.resume_reading()
    frames = session.wait_for_frames(1 + KEYS + BURST)
    replies = [json.loads(frame.data) for frame in frames[1 + KEYS :]]
    assert len(replies) == BURST
    assert [reply["context"] for reply in replies] == order
    assert all(reply["event"] == "setImage" for reply in replies)
    assert all(reply["payload"] == {"image": expected_image, "target": 0} for reply in replies)
    if not UNDER_WINE and not SANITIZED:
        assert peak < RESIDENT_BOUND_KIB, f"{peak} KiB resident while the host did not read"
    session.close()
    assert session.wait_exit().code == 0


def test_host_that_drops_the_connection_during_a_stalled_burst_ends_the_plugin(session, keys_with_image):
    contexts, image, _ = keys_with_image
    _, events = burst(contexts, image)
    session.stop_reading()
    session.send_texts_in_background(events)
    time.sleep(0.5)  # lets replies pile up; the outcome does not depend on it
    session.drop()
    assert session.wait_exit() == (0, b"", b"")
