"""The built wheels: the Linux one installed into a fresh virtual
environment works on its own; the Windows ones carry the right DLL.

Run by python/run-tests.sh, which names the wheels in FOCUS_WHEEL and
FOCUS_DIST; without them (tests run from the source tree) they are skipped.
"""

from __future__ import annotations

import os
import struct
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

import focusdev
from focusdev import _native

WHEEL = os.environ.get("FOCUS_WHEEL")
DIST = os.environ.get("FOCUS_DIST")
needs_wheel = pytest.mark.skipif(not WHEEL, reason="FOCUS_WHEEL not set: not running from run-tests.sh")


@needs_wheel
def test_suite_runs_on_the_installed_package_and_its_bundled_library() -> None:
    package = Path(focusdev.__file__).resolve().parent
    assert Path(sys.prefix) in package.parents
    assert _native.library().path == str(package / "_lib" / "libfocus.so.1")


SMOKE = """
import focusdev, subprocess, sys
with focusdev.Simulator() as sim:
    with focusdev.Device(sim.port) as device:
        device.laser_on(42)
        assert device.read_sys_info().info3 == 42
    shown = subprocess.run([sys.executable, "-m", "focusdev", sim.port], capture_output=True, text=True)
    assert shown.returncode == 0, shown.stderr
    print(shown.stdout)
"""


@needs_wheel
def test_wheel_alone_in_a_fresh_environment(tmp_path: Path) -> None:
    # Nothing in it but the wheel: not even pip, which installs from outside
    # (creating an environment with its own pip takes many seconds).
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--without-pip", str(venv)], check=True, timeout=120)
    python = str(venv / "bin" / "python")
    subprocess.run(
        [sys.executable, "-m", "pip", "--python", python, "install", "-q", "--no-index"]
        + ["--disable-pip-version-check", str(WHEEL)],
        check=True,
        timeout=120,
    )
    env = {key: value for key, value in os.environ.items() if key not in ("FOCUS_LIBRARY", "FOCUS_SIM")}
    env["PATH"] = "/usr/bin:/bin"  # no focus-sim but the bundled one
    ran = subprocess.run(
        [python, "-c", SMOKE], cwd=tmp_path, env=env, capture_output=True, text=True, timeout=60
    )
    assert ran.returncode == 0, ran.stderr
    assert "info3      42" in ran.stdout


def pe_machine(dll: bytes) -> int:
    """The machine field of a PE file's COFF header."""
    header = struct.unpack_from("<I", dll, 0x3C)[0]
    assert dll[header : header + 4] == b"PE\0\0"
    return struct.unpack_from("<H", dll, header + 4)[0]


@pytest.mark.skipif(not DIST, reason="FOCUS_DIST not set: not running from run-tests.sh")
@pytest.mark.parametrize("platform, machine", [("win_amd64", 0x8664), ("win32", 0x14C)])
def test_windows_wheel_carries_its_dll(platform: str, machine: int) -> None:
    wheels = sorted(Path(str(DIST)).glob(f"focus_device-*-py3-none-{platform}.whl"))
    assert len(wheels) == 1, wheels
    with zipfile.ZipFile(wheels[0]) as wheel:
        names = wheel.namelist()
        assert "focusdev/_lib/focus.dll" in names
        assert "focusdev/py.typed" in names
        assert [name for name in names if name.startswith("focusdev/_lib/")] == ["focusdev/_lib/focus.dll"]
        assert pe_machine(wheel.read("focusdev/_lib/focus.dll")) == machine
