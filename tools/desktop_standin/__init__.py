"""Stand-in Zorvane desktop application: the C++ program and its Python driver."""

from .driver import DesktopStandIn, StandInError, command_bytes, command_value

__all__ = ["DesktopStandIn", "StandInError", "command_bytes", "command_value"]
