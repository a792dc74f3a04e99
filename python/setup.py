"""Builds the focus-device wheels; the package metadata is in pyproject.toml.

A wheel carries the library built for one platform in focusdev/_lib, so it is
tagged py3-none-PLATFORM (any Python 3, one platform): pass the platform with
`bdist_wheel --plat-name linux_x86_64` (or win_amd64, win32). The version is
FOCUS_VERSION, else the project version in the top-level CMakeLists.txt.
"""

import os
import re
from pathlib import Path

from setuptools import Distribution, setup
from wheel.bdist_wheel import bdist_wheel


def project_version() -> str:
    configured = os.environ.get("FOCUS_VERSION")
    if configured:
        return configured
    cmake_lists = Path(__file__).resolve().parent.parent / "CMakeLists.txt"
    match = re.search(r"project\(focus VERSION ([0-9.]+)", cmake_lists.read_text(encoding="utf-8"))
    if not match:
        raise SystemExit("setup.py: set FOCUS_VERSION; no project version in " + str(cmake_lists))
    return match.group(1)


class PlatformDistribution(Distribution):
    """Carries a platform's binaries, so it installs as platform code."""

    def has_ext_modules(self) -> bool:
        return True


class PlatformWheel(bdist_wheel):
    def get_tag(self):
        # The binaries are not Python extensions: any Python 3 will do.
        _, _, platform = super().get_tag()
        return "py3", "none", platform


setup(version=project_version(), distclass=PlatformDistribution, cmdclass={"bdist_wheel": PlatformWheel})
