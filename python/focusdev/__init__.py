"""focusdev: the laser focus device from Python, over the focus library.

    import focusdev

    with focusdev.Device("/dev/ttyUSB0") as dev:
        dev.single_focus()
        dev.single_range()
        print(dev.query_result().value)

Every call blocks until the device answers or its wait is over; a status
other than FOCUS_OK raises a FocusError subclass.
"""

from .device import Device, TraceEvent
from .errors import (
    ArgumentError,
    DeviceError,
    FocusError,
    LibraryNotFound,
    NotOpenError,
    OpenError,
    OutOfMemory,
    ReplyTimeout,
    SimulatorNotFound,
    WriteError,
)
from .records import QueryResult, SysInfo
from .simulator import Simulator


def _version() -> str:
    try:
        from importlib.metadata import PackageNotFoundError, version
    except ImportError:  # pragma: no cover
        return "unknown"
    try:
        return version("focus-device")
    except PackageNotFoundError:
        return "unknown"


__version__ = _version()

__all__ = [
    "ArgumentError",
    "Device",
    "DeviceError",
    "FocusError",
    "LibraryNotFound",
    "NotOpenError",
    "OpenError",
    "OutOfMemory",
    "QueryResult",
    "ReplyTimeout",
    "Simulator",
    "SimulatorNotFound",
    "SysInfo",
    "TraceEvent",
    "WriteError",
    "__version__",
]
