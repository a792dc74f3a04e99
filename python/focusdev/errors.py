"""The exceptions: one class per status the library returns."""

from __future__ import annotations

import re
from typing import Any, Dict, Optional, Tuple, Type


class LibraryNotFound(OSError):
    """The focus library could not be loaded; the message names the places searched."""


class SimulatorNotFound(FileNotFoundError):
    """focus-sim could not be found; the message names the places searched."""


class OpenError(OSError):
    """focus_init could not open the port; `errno` holds the operating system's reason."""


class FocusError(Exception):
    """A call returned a status other than FOCUS_OK.

    `status` is the library's integer status; `message` is the text the call
    stored on the connection, or the status's meaning when it stored none.
    """

    def __init__(self, status: int, message: str) -> None:
        super().__init__(f"{message} (status {status})")
        self.status = status
        self.message = message

    def __reduce__(self) -> Tuple[Any, ...]:
        # Rebuilt from status and message, e.g. when it crosses processes.
        return type(self), (self.status, self.message)


class ArgumentError(FocusError):
    """FOCUS_ERR_ARG (-1)."""


class NotOpenError(FocusError):
    """FOCUS_ERR_NOT_OPEN (-5)."""


# The library's message for a single focus that the device ran and failed;
# the number is the device's error code.
_FAILED_FOCUS = re.compile(r"^单次对焦失败，设备错误码:(\d+)$")


class DeviceError(FocusError):
    """FOCUS_ERR_DEVICE (-6): the device refused the command or reported a failure.

    `code` is the device's error code after a failed single focus, None for a
    refusal.
    """

    def __init__(self, status: int, message: str) -> None:
        super().__init__(status, message)
        match = _FAILED_FOCUS.match(message)
        self.code: Optional[int] = int(match.group(1)) if match else None


class WriteError(FocusError):
    """FOCUS_ERR_WRITE (-7): the port took fewer bytes than the request."""


class ReplyTimeout(FocusError, TimeoutError):
    """FOCUS_ERR_TIMEOUT (-8): no fitting reply within the call's wait."""


class OutOfMemory(FocusError):
    """FOCUS_ERR_NO_MEMORY (-9)."""


ERR_ARG = -1
ERR_NOT_OPEN = -5
ERR_DEVICE = -6
ERR_WRITE = -7
ERR_TIMEOUT = -8
ERR_NO_MEMORY = -9

_CLASSES: Dict[int, Type[FocusError]] = {
    ERR_ARG: ArgumentError,
    ERR_NOT_OPEN: NotOpenError,
    ERR_DEVICE: DeviceError,
    ERR_WRITE: WriteError,
    ERR_TIMEOUT: ReplyTimeout,
    ERR_NO_MEMORY: OutOfMemory,
}

MEANINGS: Dict[int, str] = {
    ERR_ARG: "null connection handle or null record pointer",
    ERR_NOT_OPEN: "the connection's port is not open",
    ERR_DEVICE: "the device refused the command or reported a failure",
    ERR_WRITE: "the request could not be written whole to the port",
    ERR_TIMEOUT: "no fitting reply within the call's wait",
    ERR_NO_MEMORY: "the library ran short of memory during the call",
}


def status_error(status: int, stored_message: Optional[str]) -> FocusError:
    """The exception for `status`; `stored_message` is the connection's text
    when the call stored one."""
    message = stored_message
    if message is None:
        message = MEANINGS.get(status, f"unknown status {status}")
    return _CLASSES.get(status, FocusError)(status, message)
