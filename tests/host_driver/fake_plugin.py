#!/usr/bin/python3
"""A plug-in of another make, for the host driver's own tests.

Started by the driver like the real plug-in (-port, -pluginUUID,
-registerEvent, -info), it registers and answers every didReceiveSettings
with the setImage of the named file, written independently of the driver.
ZORVANE_FAKE_FAULT makes it misbehave once, at the third reply:

  none     no fault
  garble   one byte of the image changed
  drop     the reply is never sent
  swap     the reply is sent after the fourth one
  repeat   the reply is sent twice
  crash    the process ends instead of replying
  silent   never registers
  linger   stays connected and running after the host closes

ZORVANE_FAKE_PIDFILE, when set, receives the process id.
"""

import asyncio
import base64
import json
import os
import sys
import time
from pathlib import Path

import websockets

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))

from streamdeck_host.styled import registration_text, styled_string  # noqa: E402

FAULT = os.environ.get("ZORVANE_FAKE_FAULT", "none")
FAULTY_REPLY = 3


def set_image_text(context: str, path: str) -> str:
    image = "data:image/png;base64," + base64.b64encode(Path(path).read_bytes()).decode("ascii")
    return ("{\n"
            f'   "context" : {styled_string(context)},\n'
            '   "event" : "setImage",\n'
            '   "payload" : {\n'
            f'      "image" : {styled_string(image)},\n'
            '      "target" : 0\n'
            "   }\n"
            "}\n")


def garbled(text: str) -> str:
    at = text.index("base64,") + 10
    return text[:at] + ("A" if text[at] != "A" else "B") + text[at + 1:]


async def session(arguments: dict) -> None:
    uri = f"ws://127.0.0.1:{arguments['-port']}"
    async with websockets.connect(uri, max_size=None, compression=None) as socket:
        if FAULT == "silent":
            await asyncio.sleep(3600)
        await socket.send(registration_text(arguments["-registerEvent"], arguments["-pluginUUID"]))
        replies = 0
        held = None
        async for message in socket:
            event = json.loads(message)
            if event.get("event") != "didReceiveSettings":
                continue
            replies += 1
            text = set_image_text(event["context"], event["payload"]["settings"]["image"])
            if replies == FAULTY_REPLY:
                if FAULT == "crash":
                    os._exit(3)
                if FAULT == "drop":
                    continue
                if FAULT == "swap":
                    held = text
                    continue
                if FAULT == "garble":
                    text = garbled(text)
                if FAULT == "repeat":
                    await socket.send(text)
            await socket.send(text)
            if held is not None:
                await socket.send(held)
                held = None
    if FAULT == "linger":
        time.sleep(3600)


def main() -> None:
    if "ZORVANE_FAKE_PIDFILE" in os.environ:
        Path(os.environ["ZORVANE_FAKE_PIDFILE"]).write_text(str(os.getpid()))
    arguments = dict(zip(sys.argv[1::2], sys.argv[2::2]))
    asyncio.run(session(arguments))


if __name__ == "__main__":
    main()
