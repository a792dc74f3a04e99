"""Device: one connection to the focus device, one method per export."""

from __future__ import annotations

import ctypes
import enum
import operator
import os
import threading
import time
import weakref
from dataclasses import fields
from typing import Any, Callable, FrozenSet, Iterator, Optional

from . import _native
from .errors import (
    ERR_DEVICE,
    ERR_NO_MEMORY,
    ERR_NOT_OPEN,
    ERR_TIMEOUT,
    ERR_WRITE,
    ReplyTimeout,
    status_error,
)
from .records import QueryResult, SysInfo

# Which failures store a message on the connection, per kind of call; any
# other failure leaves the text of an earlier one in place, which would
# mislead if reported as this call's.
_SENDING_STORES: FrozenSet[int] = frozenset({ERR_NOT_OPEN, ERR_WRITE, ERR_NO_MEMORY})
_SINGLE_FOCUS_STORES: FrozenSet[int] = _SENDING_STORES | {ERR_DEVICE, ERR_TIMEOUT}
_NOTHING_STORED: FrozenSet[int] = frozenset()

_UINT32_LIMIT = 1 << 32


def _value(argument: Any) -> int:
    """An integer argument as the C int it becomes: its low 32 bits.

    The library sends the low 8 or 16 bits unchecked; so does this. Anything
    that is not an integer is a TypeError.
    """
    number = operator.index(argument)
    return (number + (1 << 31)) % _UINT32_LIMIT - (1 << 31)


def _close_handle(dll: Any, handle: int, trace: Any) -> None:
    # `trace` is held here so that the library's callback outlives the
    # connection: focus_close reports the close to it.
    dll.focus_close(handle)


class TraceEvent(enum.IntEnum):
    """What a trace callback is told about: one platform call on the port."""

    WRITE = 1  # the bytes the port took
    READ = 2  # the bytes a read returned (reads that returned nothing are not reported)
    PURGE = 3  # received bytes discarded before a request
    TIMEOUTS = 4  # timeouts set: 20 bytes, five little-endian 32-bit values
    GET_TIMEOUTS = 5  # timeouts read: 20 bytes as above
    SLEEP = 6  # a wait before a read: 4 bytes, the ms
    CLOSE = 7  # the port closed


TraceCallback = Callable[[TraceEvent, bytes, int], None]


def _trace_function(trace: TraceCallback) -> Any:
    def on_event(_user: Any, event: int, data: Any, count: int, tick_ms: int) -> None:
        try:
            kind: Any = TraceEvent(event)
        except ValueError:
            kind = event  # an event a newer library reports
        trace(kind, ctypes.string_at(data, count) if count else b"", tick_ms)

    return _native.TraceFunction(on_event)


class Device:
    """A connection to the focus device on a serial port.

    Every call blocks until the device has answered or the call's wait is
    over. Calls on one Device are serialised by a lock, so threads may share
    it; calls on different Devices run in parallel.
    """

    def __init__(self, port: str, prompt: bool = False, trace: Optional[TraceCallback] = None) -> None:
        """Opens `port`. With `prompt=True` every call returns as soon as the
        reply that decides it is complete, instead of the library's default
        paced waits (focus_set_wait_mode); results and bounds are the same.

        `trace(event, data, tick_ms)` is called for every platform call on
        the port (focus_set_trace): a TraceEvent, its bytes and the system's
        millisecond tick. It runs on the calling thread inside the call and
        must not use this Device; an exception it raises is printed by
        ctypes and otherwise ignored."""
        if trace is not None and not callable(trace):
            raise TypeError("trace must be callable")
        if not isinstance(port, (str, os.PathLike)):
            raise TypeError(f"port must be a str, not {type(port).__name__}")
        self._port = os.fspath(port)
        self._lock = threading.Lock()
        self._lib = _native.library()
        handle = self._lib.focus_init(os.fsencode(self._port))
        if not handle:
            raise _native.open_error(self._port)
        self._handle: Optional[int] = handle
        # Closes the connection exactly once: on close(), on leaving a with
        # block, or when the Device is collected without either.
        trace_function = _trace_function(trace) if trace is not None else None
        self._finalizer = weakref.finalize(self, _close_handle, self._lib.dll, handle, trace_function)
        if trace_function is not None:
            self._call(
                _NOTHING_STORED,
                lambda handle: self._lib.focus_set_trace(handle, ctypes.cast(trace_function, ctypes.c_void_p), None),
            )
        if prompt:
            self._call(_NOTHING_STORED, lambda handle: self._lib.focus_set_wait_mode(handle, _native.WAIT_PROMPT))

    # ---- lifetime -------------------------------------------------------

    @property
    def port(self) -> str:
        return self._port

    @property
    def closed(self) -> bool:
        return self._handle is None

    def close(self) -> None:
        """Closes the port (focus_close); further calls raise ValueError."""
        with self._lock:
            if self._handle is None:
                return
            self._handle = None
            self._finalizer()

    def __enter__(self) -> "Device":
        self._require_open()
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<focusdev.Device port={self._port!r} {state}>"

    def _require_open(self) -> int:
        if self._handle is None:
            raise ValueError(f"I/O operation on a closed focus device ({self._port})")
        return self._handle

    def _call(self, stores: FrozenSet[int], call: Callable[[int], Any]) -> None:
        """Runs `call` with the handle under the lock and turns a failure into
        its exception."""
        with self._lock:
            handle = self._require_open()
            status = int(call(handle))
            if status != 0:
                stored = self._error_text(handle) if status in stores else None
                raise status_error(status, stored)

    def _error_text(self, handle: int) -> str:
        return (self._lib.focus_get_error(handle) or b"").decode("utf-8", errors="replace")

    @property
    def last_error(self) -> str:
        """The connection's last error message (focus_get_error)."""
        with self._lock:
            return self._error_text(self._require_open())

    # ---- simple commands ------------------------------------------------

    def _command(self, name: str, *arguments: Any) -> None:
        values = [_value(argument) for argument in arguments]
        function = getattr(self._lib, name)
        self._call(_SENDING_STORES, lambda handle: function(handle, *values))

    def laser_on(self, power: int) -> None:
        """Switches the laser on at `power` (low 8 bits sent)."""
        self._command("focus_laser_on", power)

    def laser_off(self) -> None:
        self._command("focus_laser_off")

    def laser_power(self, power: int) -> None:
        """Sets the laser power (low 8 bits sent)."""
        self._command("focus_laser_power", power)

    def lift_control(self, position: int) -> None:
        """Moves the lift (low 8 bits sent)."""
        self._command("focus_lift_control", position)

    def calib_mode(self) -> None:
        self._command("focus_calib_mode")

    def calib_move(self, x: int, y: int) -> None:
        """Calibration move: low 8 bits of x, low 16 bits of y sent."""
        self._command("focus_calib_move", x, y)

    def calib_save(self) -> None:
        self._command("focus_calib_save")

    def single_range(self) -> None:
        """Measures the range once; collect the result with query_result()."""
        self._command("focus_single_range")

    def continuous_focus(self) -> None:
        """Starts continuous focusing; collect the results with results()."""
        self._command("focus_continuous_focus")

    def continuous_range(self) -> None:
        """Starts continuous ranging; collect the results with results()."""
        self._command("focus_continuous_range")

    def ext_trigger_set(self) -> None:
        self._command("focus_ext_trigger_set")

    def ext_trigger_fire(self) -> None:
        self._command("focus_ext_trigger_fire")

    def auto_descend(self) -> None:
        self._command("focus_auto_descend")

    def fixed_cycle(self, x: int, y: int) -> None:
        """Runs the fixed cycle (low 16 bits of x and y sent)."""
        self._command("focus_fixed_cycle", x, y)

    def sync_time_set(self, w1: int, w2: int, w3: int, w4: int) -> None:
        """Sets the device's clock words (low 16 bits of each sent)."""
        words = _native.SyncTime(*(_value(word) & 0xFFFF for word in (w1, w2, w3, w4)))
        self._call(_SENDING_STORES, lambda handle: self._lib.focus_sync_time_set(handle, ctypes.byref(words)))

    def sync_time_get(self) -> None:
        """Asks for the device's clock; only the acknowledgement's outcome counts."""
        self._command("focus_sync_time_get")

    def power_off(self) -> None:
        self._command("focus_power_off")

    # ---- single focus ---------------------------------------------------

    def single_focus(self, timeout_ms: Optional[int] = None) -> None:
        """Runs a single focus and waits for its completion.

        None waits the library's 5000 ms; an int is the limit in milliseconds,
        0 waits until the device decides. DeviceError.code holds the device's
        error code when the run failed.
        """
        if timeout_ms is None:
            self._call(_SINGLE_FOCUS_STORES, self._lib.focus_single_focus)
            return
        limit = operator.index(timeout_ms)
        if not 0 <= limit < _UINT32_LIMIT:
            raise ValueError(f"timeout_ms must be 0 to {_UINT32_LIMIT - 1}, not {limit}")
        self._call(_SINGLE_FOCUS_STORES, lambda handle: self._lib.focus_single_focus_timeout(handle, limit))

    # ---- results and system information --------------------------------

    def query_result(self) -> QueryResult:
        """The next focus or range result the device sent, in order.

        Raises ReplyTimeout when none came within about 0.5 s.
        """
        record = _native.QueryResultRecord()
        self._call(_NOTHING_STORED, lambda handle: self._lib.focus_query_result(handle, ctypes.byref(record)))
        return QueryResult(kind=record.kind, status=record.status, code=record.code, value=record.value)

    def read_sys_info(self) -> SysInfo:
        """The device's system information."""
        record = _native.SysInfoRecord()
        read = self._lib.focus_read_sys_info
        self._call(_SENDING_STORES, lambda handle: read(handle, ctypes.byref(record)))
        return SysInfo(**{field.name: getattr(record, field.name) for field in fields(SysInfo)})

    def results(self, count: Optional[int] = None, timeout: Optional[float] = None) -> Iterator[QueryResult]:
        """An iterator over the results of the continuous modes, in the order
        the device sent them, none dropped.

        It stops after `count` results, or when no result came for `timeout`
        seconds (checked after each query's wait of about 0.5 s); with
        neither it goes on until the caller stops. Each result is one
        query_result() call, so other threads' calls may run in between.
        """
        if count is not None:
            count = operator.index(count)
            if count < 0:
                raise ValueError(f"count must not be negative, not {count}")
        self._require_open()
        return self._results(count, timeout)

    def _results(self, count: Optional[int], timeout: Optional[float]) -> Iterator[QueryResult]:
        delivered = 0
        last_result = time.monotonic()
        while count is None or delivered < count:
            try:
                result = self.query_result()
            except ReplyTimeout:
                if timeout is not None and time.monotonic() - last_result >= timeout:
                    return
                continue
            last_result = time.monotonic()
            delivered += 1
            yield result
