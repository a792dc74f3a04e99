"""Opening, closing and using a Device; finding the library."""

from __future__ import annotations

import errno
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Callable

import pytest

import focusdev


def test_missing_port_raises_open_error_with_enoent(tmp_path: Path) -> None:
    port = str(tmp_path / "ttyUSB-missing")
    with pytest.raises(focusdev.OpenError) as raised:
        focusdev.Device(port)
    assert isinstance(raised.value, OSError)
    assert raised.value.errno == errno.ENOENT
    assert port in str(raised.value)


def test_busy_port_raises_open_error_with_ebusy(device: focusdev.Device) -> None:
    with pytest.raises(focusdev.OpenError) as raised:
        focusdev.Device(device.port)
    assert raised.value.errno == errno.EBUSY
    assert device.port in str(raised.value)
    device.close()
    with focusdev.Device(device.port) as again:  # close() let the port go
        again.laser_off()


CALLS = [
    lambda d: d.laser_on(1),
    lambda d: d.sync_time_set(1, 2, 3, 4),
    lambda d: d.single_focus(),
    lambda d: d.query_result(),
    lambda d: d.read_sys_info(),
    lambda d: d.last_error,
    lambda d: d.results(),
    lambda d: d.__enter__(),
]


@pytest.mark.parametrize("call", CALLS)
def test_closed_device_raises_value_error(device: focusdev.Device, call: Callable) -> None:
    device.close()
    with pytest.raises(ValueError):
        call(device)


def test_context_manager_closes_once_and_repr_says_so(focus_sim: focusdev.Simulator) -> None:
    with focusdev.Device(focus_sim.port) as device:
        assert repr(device) == f"<focusdev.Device port={focus_sim.port!r} open>"
        assert not device.closed
        device.laser_on(3)
    assert device.closed
    assert repr(device) == f"<focusdev.Device port={focus_sim.port!r} closed>"
    device.close()  # a second close does nothing
    with pytest.raises(ValueError):
        device.laser_off()


def test_port_stays_released_after_an_exception_in_the_with_block(focus_sim: focusdev.Simulator) -> None:
    with pytest.raises(RuntimeError):
        with focusdev.Device(focus_sim.port):
            raise RuntimeError("host failure")
    with focusdev.Device(focus_sim.port) as device:
        device.laser_off()


def run_python(code: str, **environment: str) -> subprocess.CompletedProcess:
    env = {key: value for key, value in os.environ.items() if key not in ("FOCUS_LIBRARY", "FOCUS_SIM")}
    env.update(environment)
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, timeout=60)


def test_missing_library_is_reported_at_first_use_not_on_import(tmp_path: Path) -> None:
    code = (
        "import focusdev\n"
        "try:\n"
        "    focusdev.Device('/dev/null')\n"
        "except focusdev.LibraryNotFound as error:\n"
        "    assert isinstance(error, OSError)\n"
        "    print(error)\n"
    )
    configured = run_python(code, FOCUS_LIBRARY=str(tmp_path / "libfocus-missing.so"))
    assert configured.returncode == 0, configured.stderr
    assert str(tmp_path / "libfocus-missing.so") in configured.stdout

    # A copy of the package without its bundled library, on a system without one.
    package = Path(focusdev.__file__).parent
    shutil.copytree(package, tmp_path / "focusdev", ignore=shutil.ignore_patterns("_lib"))
    searched = run_python(code, PYTHONPATH=str(tmp_path), LD_LIBRARY_PATH="")
    assert searched.returncode == 0, searched.stderr
    for place in ("FOCUS_LIBRARY", str(tmp_path / "focusdev" / "_lib" / "libfocus.so.1"), "find_library"):
        assert place in searched.stdout


def test_python_m_focusdev_prints_the_system_information(focus_sim: focusdev.Simulator) -> None:
    shown = subprocess.run(
        [sys.executable, "-m", "focusdev", focus_sim.port], capture_output=True, text=True, timeout=60
    )
    assert shown.returncode == 0, shown.stderr
    lines = shown.stdout.splitlines()
    assert lines[0] == f"system information from {focus_sim.port}:"
    assert [line.split()[:2] for line in lines[1:]][5:8] == [["info6", "1"], ["info7", "0"], ["info8", "4"]]

    failed = subprocess.run(
        [sys.executable, "-m", "focusdev", "/nonexistent/tty"], capture_output=True, text=True, timeout=60
    )
    assert failed.returncode == 1
    assert "/nonexistent/tty" in failed.stderr


def test_simulator_logs_to_a_temporary_file_that_it_removes(
    tmp_path: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    monkeypatch.setattr(tempfile, "tempdir", str(tmp_path))
    with focusdev.Simulator(log=True) as simulator:
        with focusdev.Device(simulator.port) as device:
            device.laser_off()
        assert "laser-off" in simulator.traffic()[0]
    with pytest.raises(ValueError, match="^focus-sim did not start: focus-sim: --fail-code 300"):
        focusdev.Simulator(log=True, fail_code=300)
    assert list(tmp_path.iterdir()) == []


def test_prompt_mode_returns_without_the_paced_wait(focus_sim: focusdev.Simulator) -> None:
    # The simulator acknowledges at once. A paced acknowledgement wait sleeps
    # 50 ms before its first read; the prompt one returns with the reply.
    def fastest_laser_off(device: focusdev.Device) -> float:
        times = []
        for _ in range(5):
            start = time.monotonic()
            device.laser_off()
            times.append(time.monotonic() - start)
        return min(times)

    with focusdev.Device(focus_sim.port) as paced:
        assert fastest_laser_off(paced) >= 0.045
    with focusdev.Device(focus_sim.port, prompt=True) as prompt:
        assert fastest_laser_off(prompt) < 0.030


def test_trace_sees_the_request_the_reply_and_the_close(focus_sim: focusdev.Simulator) -> None:
    events: list = []
    device = focusdev.Device(focus_sim.port, trace=lambda event, data, tick: events.append((event, data, tick)))
    device.laser_off()
    kinds = [event for event, _, _ in events]
    assert kinds.index(focusdev.TraceEvent.PURGE) < kinds.index(focusdev.TraceEvent.WRITE)
    written = [data for event, data, _ in events if event == focusdev.TraceEvent.WRITE]
    assert written == [bytes.fromhex("5A 01 01 A7 01 97 C1")]
    received = b"".join(data for event, data, _ in events if event == focusdev.TraceEvent.READ)
    assert received.startswith(b"\x5a") and received[3] == 0xA7, received.hex(" ")
    ticks = [tick for _, _, tick in events]
    assert ticks == sorted(ticks)

    device.close()
    assert events[-1][0] == focusdev.TraceEvent.CLOSE
    with pytest.raises(TypeError):
        focusdev.Device(focus_sim.port, trace="not callable")  # type: ignore[arg-type]
