"""The registration text as the plug-in writes it.

The plug-in writes its messages with jsoncpp's StyledWriter: one member per
line, three-space indentation, members in key order, a line end at the end.
Strings are escaped the way that writer does: quote and backslash with a
backslash, the usual short escapes for backspace, form feed, line feed,
carriage return and tab, other control characters and every non-ASCII
character as lower-case \\uXXXX (UTF-16 surrogate pairs above U+FFFF), and
everything else (DEL and "/" included) as it is.
"""

_SHORT_ESCAPES = {'"': '\\"', "\\": "\\\\", "\b": "\\b", "\f": "\\f", "\n": "\\n", "\r": "\\r", "\t": "\\t"}


def styled_string(text: str) -> str:
    """``text`` as a quoted JSON string in StyledWriter's form."""
    out = ['"']
    for ch in text:
        code = ord(ch)
        if ch in _SHORT_ESCAPES:
            out.append(_SHORT_ESCAPES[ch])
        elif code < 0x20:
            out.append(f"\\u{code:04x}")
        elif code < 0x80:
            out.append(ch)
        elif code < 0x10000:
            out.append(f"\\u{code:04x}")
        else:
            code -= 0x10000
            out.append(f"\\u{0xD800 + (code >> 10):04x}\\u{0xDC00 + (code & 0x3FF):04x}")
    out.append('"')
    return "".join(out)


def styled_object(members: dict) -> str:
    """A flat object of string members in StyledWriter's form."""
    lines = [f"   {styled_string(key)} : {styled_string(value)}" for key, value in sorted(members.items())]
    return "{\n" + ",\n".join(lines) + "\n}\n"


def registration_text(register_event: str, uuid: str) -> str:
    """The first frame the plug-in sends on a new connection."""
    return styled_object({"event": register_event, "uuid": uuid})
