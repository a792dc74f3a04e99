"""One Device shared by threads: its calls never overlap on the line."""

from __future__ import annotations

import threading
from typing import Callable

from conftest import logged_frames


def test_threads_sharing_a_device_take_turns(start_device: Callable) -> None:
    device = start_device(ack_delay=15, log=True)
    start = threading.Barrier(3)
    failures = []

    def work(power: int) -> None:
        start.wait()
        try:
            for _ in range(5):
                device.laser_power(power)
                device.sync_time_get()
        except Exception as error:  # reported below, with the traffic
            failures.append(error)

    threads = [threading.Thread(target=work, args=(power,)) for power in (10, 20, 30)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    frames = logged_frames(device.simulator)
    assert failures == []
    # request, reply, request, reply: every reply answers the request just
    # before it, and no request goes out while one is unanswered.
    requests = [frame for frame in frames if frame.to_device]
    assert len(requests) == 3 * 5 * 2
    pending = None
    for frame in frames:
        if frame.to_device:
            assert pending is None, "a request went out before the previous one was answered"
            pending = frame.command
        else:
            assert frame.command == pending
            pending = None
