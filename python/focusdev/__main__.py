"""python -m focusdev PORT: prints the device's system information."""

from __future__ import annotations

import argparse
import sys
from dataclasses import asdict
from typing import List, Optional

from . import Device, FocusError, LibraryNotFound, OpenError, __version__


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog="python -m focusdev", description="Prints the focus device's system information."
    )
    parser.add_argument("port", help='serial port, e.g. /dev/ttyUSB0 or COM3')
    parser.add_argument("--version", action="version", version=f"focusdev {__version__}")
    arguments = parser.parse_args(argv)
    try:
        with Device(arguments.port) as device:
            info = device.read_sys_info()
    except (LibraryNotFound, OpenError, FocusError) as error:
        print(f"focusdev: {error}", file=sys.stderr)
        return 1
    print(f"system information from {arguments.port}:")
    for name, value in asdict(info).items():
        print(f"  {name:<7} {value:5d}  0x{value:04X}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
