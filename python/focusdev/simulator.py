"""Simulator: the project's focus-sim on a pseudo-terminal, for host tests."""

from __future__ import annotations

import os
import shutil
import subprocess
import tempfile
from pathlib import Path
from typing import IO, Any, Dict, List, Optional

from . import _native
from .errors import LibraryNotFound, SimulatorNotFound

_SIM_NAME = "focus-sim.exe" if os.name == "nt" else "focus-sim"
_STOP_WAIT_S = 5.0


def find_simulator() -> str:
    """focus-sim's path: FOCUS_SIM, else next to the library, else on PATH."""
    configured = os.environ.get("FOCUS_SIM")
    if configured:
        if not os.path.isfile(configured):
            raise SimulatorNotFound(f"focusdev: FOCUS_SIM={configured} is not a file")
        return configured
    searched = ["FOCUS_SIM (not set)"]
    try:
        library_path = _native.library().path
    except LibraryNotFound:
        library_path = None
    if library_path:
        beside = Path(library_path).parent / _SIM_NAME
        if beside.is_file():
            return str(beside)
        searched.append(f"{beside} (not there)")
    on_path = shutil.which(_SIM_NAME)
    if on_path:
        return on_path
    searched.append("PATH")
    raise SimulatorNotFound(f"focusdev: {_SIM_NAME} was not found; searched " + "; ".join(searched))


def _arguments(options: Dict[str, Any]) -> List[str]:
    """focus-sim's command line for keyword options: fail_code=7 is
    --fail-code 7, split=True is --split, refuse=["laser-off", "A8"] is
    --refuse laser-off,A8."""
    arguments: List[str] = []
    for name, value in options.items():
        flag = "--" + name.replace("_", "-")
        if value is None or value is False:
            continue
        if value is True:
            arguments.append(flag)
        elif isinstance(value, (list, tuple, set, frozenset)):
            arguments += [flag, ",".join(str(item) for item in value)]
        else:
            arguments += [flag, os.fspath(value) if isinstance(value, os.PathLike) else str(value)]
    return arguments


class Simulator:
    """focus-sim started with fault options; `.port` is the path to open.

    Options are focus-sim's own, with underscores: noise=0.3, split=True,
    echo=True, refuse=["laser-off"], silent=["single-focus"], fail_code=7,
    corrupt=1.0, rate=200, ack_delay=5, focus_ms=100, replay=N, link=PATH,
    log=PATH (the traffic log; log=True writes it to a temporary file, read
    with traffic()).

    Use as a context manager, or call stop().
    """

    def __init__(self, **options: Any) -> None:
        executable = find_simulator()
        self._temporary_log: Optional[str] = None
        if options.get("log") is True:
            handle, self._temporary_log = tempfile.mkstemp(prefix="focus-sim-", suffix=".log")
            os.close(handle)
            options["log"] = self._temporary_log
        self.log_path: Optional[str] = os.fspath(options["log"]) if options.get("log") else None
        self.command = [executable, *_arguments(options)]
        try:
            self.port: str = self._start()
        except BaseException:
            self._remove_temporary_log()
            raise

    def _start(self) -> str:
        """Starts focus-sim and returns the port it printed."""
        self._stderr: IO[bytes] = tempfile.TemporaryFile()
        self._process = subprocess.Popen(
            self.command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self._stderr
        )
        assert self._process.stdout is not None
        first_line = self._process.stdout.readline().decode("utf-8", errors="replace").strip()
        if first_line:
            return first_line
        try:
            self._process.wait(_STOP_WAIT_S)
        except subprocess.TimeoutExpired:
            self._process.kill()
            self._process.wait()
        self._stderr.seek(0)
        complaint = self._stderr.read().decode("utf-8", errors="replace").strip()
        self._release()
        # Its first line says what is wrong; the usage text follows.
        complaint = complaint.splitlines()[0] if complaint else f"exit status {self._process.returncode}"
        raise ValueError(f"focus-sim did not start: {complaint}")

    def traffic(self) -> List[str]:
        """The traffic log's lines so far (needs the log option)."""
        if not self.log_path:
            raise ValueError("the simulator was started without log=")
        return Path(self.log_path).read_text(encoding="utf-8").splitlines()

    @property
    def running(self) -> bool:
        return self._process.poll() is None

    def stop(self) -> None:
        """Stops focus-sim (SIGTERM, then SIGKILL after a few seconds)."""
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(_STOP_WAIT_S)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()
        self._release()

    def _release(self) -> None:
        if self._process.stdout is not None:
            self._process.stdout.close()
        self._stderr.close()

    def __enter__(self) -> "Simulator":
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.stop()
        self._remove_temporary_log()

    def _remove_temporary_log(self) -> None:
        if self._temporary_log:
            Path(self._temporary_log).unlink(missing_ok=True)

    def __repr__(self) -> str:
        return f"<focusdev.Simulator port={self.port!r} {'running' if self.running else 'stopped'}>"
