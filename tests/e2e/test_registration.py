"""The plug-in connects once and registers with its first frame."""

import pytest

from streamdeck_host import registration_text


def test_first_frame_is_the_registration_in_styled_form(session):
    first = session.frames[0]
    assert (first.index, first.kind) == (0, "text")
    assert first.data == (
        "{\n"
        f'   "event" : "{session.register_event}",\n'
        f'   "uuid" : "{session.uuid}"\n'
        "}\n"
    )


def test_connects_once_to_the_root_path_and_sends_nothing_else(session):
    session.ping()
    session.close()
    assert session.wait_exit() == (0, b"", b"")
    assert session.request_paths == ["/"]
    assert session.connection_count == 1
    assert [frame.data for frame in session.frames] == [registration_text(session.register_event, session.uuid)]


@pytest.mark.parametrize(
    "register_event, uuid",
    [
        pytest.param("registerPlugin", 'quote"in"side', id="quotes"),
        pytest.param("registerPlugin", "back\\slash\\", id="backslashes"),
        pytest.param('reg"ister\\Plugin', "plain-uuid", id="escaped-event"),
        pytest.param("registerPlugin", "tab\tunit\x1fstart\x01del\x7fslash/", id="control-characters"),
        pytest.param(
            "registerPlugin",
            "caf\u00e9-\u20ac-\U0001f600-\uffff",
            id="non-ascii",
            marks=pytest.mark.native_only("Wine hands the plug-in its arguments in the ANSI code page"),
        ),
    ],
)
def test_registration_escapes_strings_like_the_styled_writer(make_host, register_event, uuid):
    host = make_host(uuid=uuid, register_event=register_event)
    host.launch()
    registration = host.wait_for_registration()
    assert (registration.kind, registration.data) == ("text", registration_text(register_event, uuid))
    host.close()
    assert host.wait_exit() == (0, b"", b"")
