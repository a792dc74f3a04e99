"""Every method against the simulator: success returns None (or the record)
and reaches the device; a refusal or silence raises what the status says."""

from __future__ import annotations

from concurrent.futures import ThreadPoolExecutor
from typing import Callable, Dict, Tuple

import pytest

import focusdev
from conftest import logged_frames
from focusdev.errors import MEANINGS

# method, arguments, the system information fields the simulator reports
# afterwards (a fresh simulator: laser off at power 50, lift 0, clock 0).
COMMANDS: Dict[str, Tuple[tuple, Dict[str, int]]] = {
    "laser_on": ((80,), {"info1": 1, "info3": 80}),
    "laser_off": ((), {"info1": 0}),
    "laser_power": ((0x1C8,), {"info3": 0xC8}),  # low 8 bits, unchecked
    "lift_control": ((7,), {"info4": 7}),
    "calib_mode": ((), {"info5": 1}),
    "calib_move": ((3, 0x10005), {}),
    "calib_save": ((), {"info5": 0, "info9": 0x02}),
    "single_range": ((), {}),
    "continuous_focus": ((), {}),
    "continuous_range": ((), {}),
    "ext_trigger_set": ((), {"info9": 0x01}),
    "ext_trigger_fire": ((), {}),
    "auto_descend": ((), {"info4": 0}),
    "fixed_cycle": ((-1, 70000), {}),
    "sync_time_set": ((1, 0x10002, 3, 65535), {"info2": 1, "info7": 2, "info10": 3, "info11": 65535}),
    "sync_time_get": ((), {}),
}


def sim_name(method: str) -> str:
    return method.replace("_", "-")


@pytest.mark.parametrize("method", COMMANDS)
def test_command_is_acknowledged_and_reaches_the_device(start_device: Callable, method: str) -> None:
    arguments, expected = COMMANDS[method]
    device = start_device(log=True)
    assert getattr(device, method)(*arguments) is None
    info = device.read_sys_info()
    for field, value in expected.items():
        assert getattr(info, field) == value, field
    sent = [frame for frame in logged_frames(device.simulator) if frame.to_device]
    assert len(sent) == 2  # the command, then the system information request


def test_values_are_sent_as_their_low_bits(start_device: Callable) -> None:

    device = start_device(log=True)
    device.calib_move(0x1234, 0x12345)
    device.fixed_cycle(-1, 70000)
    device.laser_on(-2)
    sent = [frame.payload for frame in logged_frames(device.simulator) if frame.to_device]
    assert sent == [bytes([0x34, 0x45, 0x23]), bytes([0x01, 0xFF, 0xFF, 0x70, 0x11]), bytes([0x01, 0xFE])]


@pytest.mark.parametrize(
    "call",
    [
        lambda d: d.laser_on(1.5),
        lambda d: d.laser_power("80"),
        lambda d: d.calib_move(1, None),
        lambda d: d.sync_time_set(1, 2, 3, 4.0),
        lambda d: d.single_focus(timeout_ms=2.5),
        lambda d: d.results(count=1.0),
    ],
)
def test_non_integers_are_rejected_before_anything_is_sent(start_device: Callable, call: Callable) -> None:

    device = start_device(log=True)
    with pytest.raises(TypeError):
        call(device)
    assert logged_frames(device.simulator) == []


def test_power_off_then_the_device_is_silent(device: focusdev.Device) -> None:
    device.power_off()
    with pytest.raises(focusdev.ReplyTimeout) as raised:
        device.laser_off()
    assert raised.value.status == -8
    assert raised.value.message == MEANINGS[-8]
    assert isinstance(raised.value, TimeoutError)


def test_single_focus_with_the_default_and_with_a_limit(start_device: Callable) -> None:
    device = start_device(focus_ms=50)
    assert device.single_focus() is None
    assert device.single_focus(timeout_ms=2000) is None
    assert device.single_focus(timeout_ms=0) is None  # no limit: the device decides
    with pytest.raises(ValueError):
        device.single_focus(timeout_ms=-1)


def test_single_focus_limit_is_kept(start_device: Callable) -> None:
    device = start_device(focus_ms=1500)
    with pytest.raises(focusdev.ReplyTimeout) as raised:
        device.single_focus(timeout_ms=200)
    assert raised.value.message == "单次对焦等待超时"
    assert device.last_error == "单次对焦等待超时"


def test_results_arrive_as_records(device: focusdev.Device) -> None:
    device.single_range()
    result = device.query_result()
    assert (result.kind, result.status, result.code) == (3, 1, 0)
    assert result.is_range and not result.is_focus
    assert 19000 < result.value < 21000
    device.ext_trigger_fire()
    result = device.query_result()
    assert result.is_focus and not result.is_range
    with pytest.raises(AttributeError):
        result.value = 0  # type: ignore[misc]
    with pytest.raises(focusdev.ReplyTimeout) as raised:
        device.query_result()
    assert raised.value.message == MEANINGS[-8]


def test_sys_info_is_the_devices(device: focusdev.Device) -> None:
    info = device.read_sys_info()
    assert (info.info6, info.info8) == (1, 4)  # the simulator's firmware version 1.4
    assert info.info3 == 50


@pytest.mark.parametrize("method", COMMANDS)
def test_refused_command_raises_device_error(start_device: Callable, method: str) -> None:
    arguments, _ = COMMANDS[method]
    device = start_device(refuse=[sim_name(method)])
    with pytest.raises(focusdev.DeviceError) as raised:
        getattr(device, method)(*arguments)
    assert raised.value.status == -6
    assert raised.value.code is None
    assert raised.value.message == MEANINGS[-6]  # a refusal stores no message
    assert device.last_error == ""


# A silent device: each call waits its full wait (about 1.5 s, 2 s for the
# system information), so the calls run side by side, one simulator each.
SILENT = {
    "laser_on": (("laser-on",), lambda d: d.laser_on(10)),
    "calib_move": (("calib-move",), lambda d: d.calib_move(1, 2)),
    "sync_time_set": (("sync-time-set",), lambda d: d.sync_time_set(1, 2, 3, 4)),
    "power_off": (("power-off",), lambda d: d.power_off()),
    "read_sys_info": (("sys-info",), lambda d: d.read_sys_info()),
    "read_sys_info refused": ((), lambda d: d.read_sys_info()),
    "single_focus": (("single-focus",), lambda d: d.single_focus(timeout_ms=300)),
}


def test_unanswered_calls_raise_reply_timeout(start_device: Callable) -> None:
    devices = {}
    for name, (silent, _) in SILENT.items():
        options = {"silent": list(silent)} if silent else {"refuse": ["sys-info"]}
        devices[name] = start_device(**options)

    def outcome(name: str) -> focusdev.FocusError:
        with pytest.raises(focusdev.ReplyTimeout) as raised:
            SILENT[name][1](devices[name])
        return raised.value

    with ThreadPoolExecutor(len(SILENT)) as pool:
        outcomes = dict(zip(SILENT, pool.map(outcome, SILENT)))
    for name, error in outcomes.items():
        assert error.status == -8, name
        expected = "单次对焦等待超时" if name == "single_focus" else MEANINGS[-8]
        assert error.message == expected, name
