"""Launch arguments: what the plug-in refuses with exit code 1 and what it accepts.

Each case turns the usual launch values of the host into an argument list.
"""

import pytest

from streamdeck_host import registration_text


def usual(host, port=None, uuid=None, register_event=None, info=None):
    return [
        "-port", str(host.port) if port is None else port,
        "-pluginUUID", host.uuid if uuid is None else uuid,
        "-registerEvent", host.register_event if register_event is None else register_event,
        "-info", host.info if info is None else info,
    ]


def renamed(host, position, name):
    """The usual arguments with the option name at ``position`` replaced."""
    args = usual(host)
    args[position] = name
    return args


REFUSED = {
    "no-arguments": lambda h: [],
    "argument-count-8": lambda h: usual(h)[:7],
    "argument-count-10": lambda h: usual(h) + ["-extra"],
    "argument-count-17": lambda h: usual(h) + usual(h),
    "port-empty": lambda h: usual(h, port=""),
    "port-zero": lambda h: usual(h, port="0"),
    "port-minus-zero": lambda h: usual(h, port="-0"),
    "port-not-a-number": lambda h: usual(h, port="abc"),
    "port-hexadecimal": lambda h: usual(h, port="0x1F90"),
    "port-letter-first": lambda h: usual(h, port=f"x{h.port}"),
    "uuid-empty": lambda h: usual(h, uuid=""),
    "register-event-empty": lambda h: usual(h, register_event=""),
    "info-empty": lambda h: usual(h, info=""),
    "port-name-in-other-case": lambda h: renamed(h, 0, "-Port"),
    "uuid-name-in-other-case": lambda h: renamed(h, 2, "-pluginuuid"),
    "register-event-name-in-other-case": lambda h: renamed(h, 4, "-RegisterEvent"),
    "info-name-in-other-case": lambda h: renamed(h, 6, "-INFO"),
    "port-name-with-two-dashes": lambda h: renamed(h, 0, "--port"),
    "uuid-name-with-trailing-blank": lambda h: renamed(h, 2, "-pluginUUID "),
    "port-twice-no-uuid": lambda h: renamed(h, 2, "-port"),
    "uuid-twice-no-info": lambda h: renamed(h, 6, "-pluginUUID"),
    "info-twice-no-register-event": lambda h: renamed(h, 4, "-info"),
    "names-shifted-by-one": lambda h: ["x"] + usual(h)[:7],
}


@pytest.mark.parametrize("make_args", REFUSED.values(), ids=REFUSED.keys())
def test_refused_arguments_exit_1_silently_without_connecting(host, make_args):
    host.launch(make_args(host))
    assert host.wait_exit() == (1, b"", b"")
    assert host.connection_count == 0


ACCEPTED = {
    "usual-order": lambda h: usual(h),
    "info-first-port-last": lambda h: [
        "-info", h.info, "-registerEvent", h.register_event, "-pluginUUID", h.uuid, "-port", str(h.port),
    ],
    "uuid-first": lambda h: [
        "-pluginUUID", h.uuid, "-port", str(h.port), "-info", h.info, "-registerEvent", h.register_event,
    ],
    "values-that-look-like-names": lambda h: usual(h, uuid="-port", register_event="-info"),
    "port-with-trailing-letters": lambda h: usual(h, port=f"{h.port}xyz"),
    "port-with-trailing-fraction": lambda h: usual(h, port=f"{h.port}.9"),
    "port-with-leading-blank": lambda h: usual(h, port=f" {h.port}"),
    "port-with-plus-sign": lambda h: usual(h, port=f"+{h.port}"),
    "port-with-leading-zero": lambda h: usual(h, port=f"0{h.port}"),
    "info-not-json": lambda h: usual(h, info="this is not JSON"),
    "info-unclosed-object": lambda h: usual(h, info='{"application": {"language": "de"}'),
    "info-empty-object": lambda h: usual(h, info="{}"),
    "info-array": lambda h: usual(h, info='[{"application": {"language": "de"}}]'),
    "info-null": lambda h: usual(h, info="null"),
    "info-application-a-string": lambda h: usual(h, info='{"application": "de"}'),
    "info-language-a-number": lambda h: usual(h, info='{"application": {"language": 7}}'),
    "info-language-empty": lambda h: usual(h, info='{"application": {"language": ""}}'),
    "info-language-unknown": lambda h: usual(h, info='{"application": {"language": "zz_ZZ"}}'),
    "info-language-a-path": lambda h: usual(h, info='{"application": {"language": "../../../etc/passwd"}}'),
    "info-nested-too-deep": lambda h: usual(h, info='{"application":' * 1200 + "{}" + "}" * 1200),
    "info-unclosed-deep-array": lambda h: usual(h, info="[" * 20000),
    "info-with-trailing-text": lambda h: usual(h, info='{"application": {"language": "en"}} trailing'),
}


@pytest.mark.parametrize("make_args", ACCEPTED.values(), ids=ACCEPTED.keys())
def test_accepted_arguments_register_and_exit_0_on_close(host, make_args):
    args = make_args(host)
    host.launch(args)
    registration = host.wait_for_registration()
    uuid = args[args.index("-pluginUUID") + 1]
    register_event = args[args.index("-registerEvent") + 1]
    assert (registration.kind, registration.data) == ("text", registration_text(register_event, uuid))
    host.close()
    assert host.wait_exit() == (0, b"", b"")
    assert host.connection_count == 1
