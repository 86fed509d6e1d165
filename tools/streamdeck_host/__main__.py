"""Command line: python3 -m streamdeck_host {run,demo} PLUGIN-COMMAND..."""

import sys

if __package__ in (None, ""):
    # Started as "python3 tools/streamdeck_host": make the package importable.
    from pathlib import Path

    sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
    from streamdeck_host.cli import main
else:
    from .cli import main

sys.exit(main())
