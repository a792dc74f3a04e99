"""The simulator's faults give the exceptions, messages and codes that the
library's statuses imply."""

from __future__ import annotations

import pickle
from typing import Callable

import pytest

import focusdev
from focusdev.errors import MEANINGS


@pytest.mark.parametrize("code", [7, 0, 255])
def test_failed_single_focus_carries_the_devices_code(start_device: Callable, code: int) -> None:
    device = start_device(fail_code=code, focus_ms=20)
    with pytest.raises(focusdev.DeviceError) as raised:
        device.single_focus()
    assert raised.value.status == -6
    assert raised.value.code == code
    assert raised.value.message == f"单次对焦失败，设备错误码:{code}"
    assert device.last_error == raised.value.message
    copy = pickle.loads(pickle.dumps(raised.value))  # e.g. from a worker process
    assert type(copy) is focusdev.DeviceError
    assert (copy.status, copy.message, copy.code) == (-6, raised.value.message, code)


def test_refused_single_focus_has_no_code(start_device: Callable) -> None:
    device = start_device(refuse=["single-focus"])
    with pytest.raises(focusdev.DeviceError) as raised:
        device.single_focus(timeout_ms=1000)
    assert raised.value.code is None
    assert raised.value.message == "单次对焦被设备拒绝"


def test_an_earlier_message_is_not_reported_for_a_later_failure(start_device: Callable) -> None:
    device = start_device(fail_code=9, focus_ms=20, refuse=["laser-off"])
    with pytest.raises(focusdev.DeviceError):
        device.single_focus()
    with pytest.raises(focusdev.DeviceError) as raised:
        device.laser_off()
    assert raised.value.message == MEANINGS[-6]
    assert raised.value.code is None
    # The library keeps the older text; success never clears it.
    device.laser_on(1)
    assert device.last_error == "单次对焦失败，设备错误码:9"


def test_corrupted_replies_are_never_taken(start_device: Callable) -> None:
    device = start_device(corrupt=1.0, focus_ms=20)
    with pytest.raises(focusdev.ReplyTimeout):
        device.laser_on(5)
    with pytest.raises(focusdev.ReplyTimeout) as raised:
        device.single_focus(timeout_ms=300)
    assert raised.value.message == "单次对焦等待超时"


def test_noise_split_and_echo_do_not_disturb_any_call(start_device: Callable) -> None:
    device = start_device(noise=0.5, split=True, echo=True, focus_ms=30, rate=100)
    for power in (10, 20, 30):
        device.laser_on(power)
        assert device.read_sys_info().info3 == power
    device.single_focus()
    device.single_range()
    assert device.query_result().is_range
    device.continuous_focus()
    assert all(result.is_focus for result in device.results(count=10))
    device.laser_off()
    device.sync_time_set(0xABCD, 2, 3, 4)
    assert device.read_sys_info().info2 == 0xABCD


@pytest.mark.parametrize(
    "call",
    [
        lambda d: d.laser_off(),
        lambda d: d.sync_time_set(1, 2, 3, 4),
        lambda d: d.single_focus(),
        lambda d: d.read_sys_info(),
    ],
)
def test_a_vanished_line_raises_write_error(start_device: Callable, call: Callable) -> None:
    # The simulator gone is the adapter unplugged: the port takes no bytes.
    device = start_device()
    device.simulator.stop()
    with pytest.raises(focusdev.WriteError) as raised:
        call(device)
    assert raised.value.status == -7
    assert raised.value.message == "串口写入失败"
    with pytest.raises(focusdev.ReplyTimeout):
        device.query_result()
