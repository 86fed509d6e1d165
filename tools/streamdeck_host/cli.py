"""Command line of the stand-in Stream Deck application.

  run   launch the plug-in, send it text frames, close, report what it sent
        (and, after each setFeedback or setSettings, the dial's strip or
        stored settings as the Stream Deck application now keeps them)
  demo  a narrated session of the whole system, with the stand-in desktop
        application (see demo.py)

The plug-in command follows the options, e.g.
  python3 -m streamdeck_host run --send '{"event":"keyUp"}' -- build/zorvaneplugin
  python3 -m streamdeck_host demo --desktop build/zorvane-desktop-standin -- build/zorvaneplugin
  python3 -m streamdeck_host demo --desktop "wine build-win/zorvane-desktop-standin.exe" \
      -- wine build-win/zorvaneplugin.exe
"""

import argparse
import shlex
import sys

from . import demo
from .dials import Instances
from .host import DEFAULT_INFO, DEFAULT_REGISTER_EVENT, DEFAULT_UUID, HostTimeout, StreamDeckHost, plugin_environment


def _describe_frame(frame) -> str:
    if frame.kind == "binary":
        return f"binary frame, {len(frame.data)} bytes: {frame.data!r}"
    return frame.data if frame.data.endswith("\n") else frame.data + "\n"


def run(options) -> int:
    messages = list(options.send)
    if options.script == "-":
        messages += [line.rstrip("\n") for line in sys.stdin if line.strip()]
    elif options.script:
        with open(options.script, encoding="utf-8") as script:
            messages += [line.rstrip("\n") for line in script if line.strip()]

    with StreamDeckHost(
        options.plugin,
        uuid=options.uuid,
        register_event=options.register_event,
        info=options.info,
        env=plugin_environment(options.plugin),
        timeout=options.timeout,
    ) as host:
        print(f"listening on 127.0.0.1:{host.port}")
        try:
            host.launch()
        except OSError as error:
            print(f"error: cannot start the plug-in: {error}", file=sys.stderr)
            return 2
        print("launched:", shlex.join(host.plugin_cmd + host.argv))
        try:
            if messages or not options.no_close:
                host.wait_for_registration()
            for message in messages:
                host.send_text(message)
            if messages:
                host.ping()
            if not options.no_close:
                host.close()
        except AssertionError as error:  # HostTimeout included
            print(f"error: {error}", file=sys.stderr)
            if host.running:
                return 2
        try:
            result = host.wait_exit()
        except HostTimeout as error:
            print(f"error: {error}", file=sys.stderr)
            return 2
        instances = Instances()
        for frame in host.frames:
            print(f"--- frame {frame.index} ({frame.kind})")
            sys.stdout.write(_describe_frame(frame))
            change = instances.take(frame.data) if frame.kind == "text" else None
            if change:
                print(f"=== {change}")
        for name, text in (("stdout", result.stdout), ("stderr", result.stderr)):
            if text:
                print(f"--- plug-in {name}:\n{text.decode(errors='replace')}")
        print(f"plug-in exit code: {result.code}")
        return result.code


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(prog="streamdeck_host", description="Stand-in Stream Deck application.")
    commands = parser.add_subparsers(dest="command", required=True)

    run_parser = commands.add_parser("run", help="launch the plug-in, send frames, close, show what it sent")
    run_parser.add_argument("--uuid", default=DEFAULT_UUID, help="value of -pluginUUID")
    run_parser.add_argument("--register-event", default=DEFAULT_REGISTER_EVENT, help="value of -registerEvent")
    run_parser.add_argument("--info", default=DEFAULT_INFO, help="value of -info")
    run_parser.add_argument("--send", action="append", default=[], metavar="TEXT", help="a text frame to send")
    run_parser.add_argument("--script", metavar="FILE", help="file of text frames to send, one per line ('-': stdin)")
    run_parser.add_argument("--no-close", action="store_true", help="wait for the plug-in to end by itself")
    run_parser.add_argument("--timeout", type=float, default=60.0, help="hang guard for each wait, in seconds")
    run_parser.add_argument("plugin", nargs=argparse.REMAINDER, help="plug-in command and its leading arguments")

    demo_parser = commands.add_parser("demo", help="a narrated session with the stand-in desktop application")
    demo_parser.add_argument(
        "--desktop",
        required=True,
        type=shlex.split,
        metavar="COMMAND",
        help="the stand-in desktop application's command, split like a shell would split it",
    )
    demo_parser.add_argument("--timeout", type=float, default=60.0, help="hang guard for each wait, in seconds")
    demo_parser.add_argument(
        "--strip-picture", metavar="FILE", help="draw the dial's strip after its turns into FILE (PNG)")
    demo_parser.add_argument("plugin", nargs=argparse.REMAINDER, help="plug-in command and its leading arguments")

    options = parser.parse_args(argv)
    if options.plugin and options.plugin[0] == "--":
        options.plugin = options.plugin[1:]
    if not options.plugin:
        parser.error("the plug-in command is missing")
    if options.command == "run":
        return run(options)
    if not options.desktop:
        parser.error("the desktop application's command is empty")
    return demo.run(options.plugin, options.desktop, timeout=options.timeout, strip_picture=options.strip_picture)
