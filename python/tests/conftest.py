"""Fixtures: simulators (focusdev.testing) and devices opened on them."""

from __future__ import annotations

import re
from typing import Callable, Iterator, List, NamedTuple

import pytest

import focusdev

pytest_plugins = ["focusdev.testing"]


class Frame(NamedTuple):
    """One frame of the simulator's traffic log."""

    to_device: bool
    command: int
    payload: bytes


_LOG_LINE = re.compile(r"^\s*\d+ ms  (host->dev|dev->host)  ([0-9A-F]{2}(?: [0-9A-F]{2})*)  ")


def logged_frames(simulator: focusdev.Simulator) -> List[Frame]:
    """The well-formed frames in the simulator's traffic log, in order. A
    line reads "  12 ms  host->dev  5A 01 02 A6 01 50 D1 16  laser-on (A6) 01 50"."""
    frames = []
    for line in simulator.traffic():
        match = _LOG_LINE.match(line)
        assert match, f"unexpected traffic log line: {line!r}"
        raw = bytes.fromhex(match.group(2))
        if len(raw) >= 6 and raw[0] == 0x5A and len(raw) == 6 + raw[2]:
            frames.append(Frame(match.group(1) == "host->dev", raw[3], raw[4 : 4 + raw[2]]))
    return frames


@pytest.fixture
def start_device(
    focus_sim_factory: Callable[..., focusdev.Simulator],
) -> Iterator[Callable[..., focusdev.Device]]:
    """Starts a simulator with the given options and opens a Device on it;
    the simulator is the device's `simulator` attribute."""
    opened: List[focusdev.Device] = []

    def start(**options: object) -> focusdev.Device:
        simulator = focus_sim_factory(**options)
        device = focusdev.Device(simulator.port)
        device.simulator = simulator  # type: ignore[attr-defined]
        opened.append(device)
        return device

    yield start
    for device in opened:
        device.close()


@pytest.fixture
def device(start_device: Callable[..., focusdev.Device]) -> focusdev.Device:
    return start_device()
