"""Finding libfocus and declaring its exports for ctypes.

The library is loaded on first use, not on import, so that `import focusdev`
works on a machine without it and the failure names every place searched.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from pathlib import Path
from typing import Any, Optional

from .errors import LibraryNotFound, OpenError

_LIB_DIR = Path(__file__).resolve().parent / "_lib"
BUNDLED_NAME = "focus.dll" if sys.platform == "win32" else "libfocus.so.1"


class SyncTime(ctypes.Structure):
    _fields_ = [
        ("word1", ctypes.c_uint16),
        ("word2", ctypes.c_uint16),
        ("word3", ctypes.c_uint16),
        ("word4", ctypes.c_uint16),
    ]


class QueryResultRecord(ctypes.Structure):
    _pack_ = 1
    _fields_ = [
        ("kind", ctypes.c_uint8),
        ("status", ctypes.c_uint8),
        ("code", ctypes.c_uint8),
        ("value", ctypes.c_uint16),
    ]


class SysInfoRecord(ctypes.Structure):
    _pack_ = 1
    _fields_ = [
        ("info1", ctypes.c_uint8),
        ("info2", ctypes.c_uint16),
        ("info3", ctypes.c_uint8),
        ("info4", ctypes.c_uint8),
        ("info5", ctypes.c_uint8),
        ("info6", ctypes.c_uint8),
        ("info7", ctypes.c_uint16),
        ("info8", ctypes.c_uint8),
        ("info9", ctypes.c_uint8),
        ("info10", ctypes.c_uint16),
        ("info11", ctypes.c_uint16),
    ]


# The records cross the boundary by pointer; a layout that differs from the
# header's would corrupt the caller's memory, so refuse to go on with one.
for _record, _size in ((SyncTime, 8), (QueryResultRecord, 5), (SysInfoRecord, 15)):
    if ctypes.sizeof(_record) != _size:
        raise ImportError(f"focusdev: {_record.__name__} is {ctypes.sizeof(_record)} bytes, not {_size}")

_handle = ctypes.c_void_p
_int = ctypes.c_int
_status = ctypes.c_int32

# Every export with its result type and argument types, as include/focus.h
# declares them.
_EXPORTS = {
    "focus_init": (_handle, [ctypes.c_char_p]),
    "focus_close": (None, [_handle]),
    "focus_get_error": (ctypes.c_char_p, [_handle]),
    "focus_continuous_focus": (_status, [_handle]),
    "focus_calib_mode": (_status, [_handle]),
    "focus_calib_move": (_status, [_handle, _int, _int]),
    "focus_calib_save": (_status, [_handle]),
    "focus_laser_on": (_status, [_handle, _int]),
    "focus_laser_off": (_status, [_handle]),
    "focus_laser_power": (_status, [_handle, _int]),
    "focus_single_range": (_status, [_handle]),
    "focus_continuous_range": (_status, [_handle]),
    "focus_lift_control": (_status, [_handle, _int]),
    "focus_ext_trigger_set": (_status, [_handle]),
    "focus_ext_trigger_fire": (_status, [_handle]),
    "focus_auto_descend": (_status, [_handle]),
    "focus_fixed_cycle": (_status, [_handle, _int, _int]),
    "focus_sync_time_set": (_status, [_handle, ctypes.POINTER(SyncTime)]),
    "focus_sync_time_get": (_status, [_handle]),
    "focus_power_off": (_status, [_handle]),
    "focus_single_focus": (_status, [_handle]),
    "focus_single_focus_timeout": (_status, [_handle, ctypes.c_uint32]),
    "focus_query_result": (_status, [_handle, ctypes.POINTER(QueryResultRecord)]),
    "focus_read_sys_info": (_status, [_handle, ctypes.POINTER(SysInfoRecord)]),
    "focus_set_wait_mode": (_status, [_handle, ctypes.c_uint32]),
    "focus_set_trace": (_status, [_handle, ctypes.c_void_p, ctypes.c_void_p]),
}

# focus_trace_fn: (user, event, bytes, count, tick_ms), cdecl on every platform.
TraceFunction = ctypes.CFUNCTYPE(
    None, ctypes.c_void_p, ctypes.c_uint32, ctypes.POINTER(ctypes.c_uint8), ctypes.c_uint32, ctypes.c_uint64
)

# Wait modes of focus_set_wait_mode.
WAIT_PACED = 0
WAIT_PROMPT = 1


class Library:
    """The loaded library, its exports as attributes, and where it came from."""

    def __init__(self, dll: ctypes.CDLL, path: Optional[str]) -> None:
        self.dll = dll
        # The file loaded, when known (not for a name the system resolved).
        self.path = path
        for name, (restype, argtypes) in _EXPORTS.items():
            function = getattr(dll, name)
            function.restype = restype
            function.argtypes = argtypes

    def __getattr__(self, name: str) -> Any:
        return getattr(self.dll, name)


_loaded: Optional[Library] = None
_load_lock = threading.Lock()


def _open(path: str) -> ctypes.CDLL:
    # errno (POSIX) and GetLastError() (Windows) after focus_init are read
    # through ctypes' private copies, which these flags keep.
    if sys.platform == "win32":
        return ctypes.CDLL(path, use_errno=True, use_last_error=True)
    return ctypes.CDLL(path, use_errno=True)


def _load() -> Library:
    searched = []
    configured = os.environ.get("FOCUS_LIBRARY")
    if configured:
        try:
            return Library(_open(configured), os.path.abspath(configured))
        except OSError as error:
            raise LibraryNotFound(f"focusdev: cannot load FOCUS_LIBRARY={configured}: {error}") from error
    searched.append("FOCUS_LIBRARY (not set)")

    bundled = _LIB_DIR / BUNDLED_NAME
    if bundled.is_file():
        try:
            return Library(_open(str(bundled)), str(bundled))
        except OSError as error:
            raise LibraryNotFound(f"focusdev: cannot load the bundled library {bundled}: {error}") from error
    searched.append(f"{bundled} (not there)")

    system_name = ctypes.util.find_library("focus")
    if system_name:
        try:
            return Library(_open(system_name), None)
        except OSError as error:
            searched.append(f"the system's {system_name} ({error})")
    else:
        searched.append('the system\'s libraries (ctypes.util.find_library("focus") found none)')
    raise LibraryNotFound("focusdev: the focus library was not found; searched " + "; ".join(searched))


def library() -> Library:
    """The library, loaded on the first call; raises LibraryNotFound."""
    global _loaded
    with _load_lock:
        if _loaded is None:
            _loaded = _load()
        return _loaded


def open_error(port: str) -> OpenError:
    """The OpenError for a focus_init that returned NULL, with the operating
    system's reason: errno, or GetLastError() (mapped to errno by OSError)."""
    if sys.platform == "win32":
        code = ctypes.get_last_error()
        reason = ctypes.FormatError(code).strip() if code else "unknown reason"
        return OpenError(0, f"cannot open the focus device: {reason}", port, code)
    code = ctypes.get_errno()
    reason = os.strerror(code) if code else "unknown reason"
    return OpenError(code, f"cannot open the focus device: {reason}", port)
