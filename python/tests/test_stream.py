"""results(): the continuous modes' results, in order, none lost."""

from __future__ import annotations

import time
from typing import Callable, List

import focusdev
from conftest import logged_frames

RANGE_RESULT = 3


def sent_values(simulator: focusdev.Simulator) -> List[int]:
    """The values of the range results the simulator sent, in order."""
    return [
        frame.payload[3] | frame.payload[4] << 8
        for frame in logged_frames(simulator)
        if not frame.to_device and len(frame.payload) == 5 and frame.payload[0] == RANGE_RESULT
    ]


def test_stream_arrives_whole_and_in_order(start_device: Callable) -> None:
    device = start_device(rate=400, log=True)
    device.continuous_range()
    received = []
    for result in device.results(count=120):
        received.append(result.value)
        if len(received) == 20:
            time.sleep(0.15)  # a slow host: about 60 results pile up meanwhile
    device.laser_off()  # ends the stream
    sent = sent_values(device.simulator)
    assert len(received) == 120
    assert received == sent[:120]
    # Readings jitter, so the comparison checks values, not just a count.
    assert len(set(received)) > 1


def test_results_stop_when_none_comes_for_the_timeout(start_device: Callable) -> None:
    device = start_device(log=True)
    device.single_range()
    collected = list(device.results(timeout=0.2))
    assert [result.value for result in collected] == sent_values(device.simulator)
    assert len(collected) == 1
    assert list(device.results(count=0)) == []
