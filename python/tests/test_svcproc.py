"""The binding against the simulated machine (the built-in POS terminal).
The library is process-wide and cannot be shut down: the tests that need it
unstarted come first."""

import os
import threading
import time

import pytest

import svcproc
from svcproc import _native


def test_calls_before_start_up_raise_not_initialised():
    machine = svcproc.ServiceProcessor(start=False)
    with pytest.raises(svcproc.NotInitialisedError) as raised:
        machine.sensors()
    assert raised.value.code == 1
    assert raised.value.name == "NotInitialised"
    assert "InitialiseServiceDriver" in raised.value.meaning
    with pytest.raises(svcproc.NotInitialisedError):
        machine.machine_info()


def test_an_explicit_path_is_the_only_one_tried(monkeypatch, tmp_path):
    missing = str(tmp_path / "libsvcproc-missing.so")
    with pytest.raises(OSError, match="libsvcproc-missing"):
        svcproc.ServiceProcessor(library=missing)
    monkeypatch.setenv(_native.ENVIRONMENT_VARIABLE, missing)
    assert _native.candidate_paths() == [missing]
    with pytest.raises(OSError, match="libsvcproc-missing"):
        svcproc.ServiceProcessor()
    assert _native.candidate_paths("/elsewhere/libsvcproc.so") == ["/elsewhere/libsvcproc.so"]


@pytest.fixture(scope="module")
def machine():
    return svcproc.ServiceProcessor()


def test_machine_info_is_what_smbios_says(machine):
    assert machine.machine_info() == svcproc.MachineInfo(
        "85.12.07", "Orvane Telk Service Processor", 0x2B0)


def by_description(machine):
    return {sensor.description: sensor for sensor in machine.sensors()}


def test_sensors_are_typed_with_limits_in_base_units(machine):
    sensors = machine.sensors()
    assert [sensor.kind for sensor in sensors] == (
        [svcproc.SensorKind.VOLTAGE] * 5 + [svcproc.SensorKind.FAN] * 3
        + [svcproc.SensorKind.TEMPERATURE] * 4)
    assert [sensor.handle for sensor in sensors][:2] == [0x10000, 0x10001]
    named = by_description(machine)
    volts = named["+3.3 V"]
    assert volts.units == "V" and volts.unit_modifier == -3
    assert volts.lower_critical == pytest.approx(2.970)
    assert volts.lower_non_critical == pytest.approx(3.135)
    assert volts.upper_critical == pytest.approx(3.630)
    assert volts.lower_fatal is None and volts.upper_fatal is None
    assert volts.possible_states == ["Ok", "Critical"]
    fan = named["Chassis Fan"]
    assert fan.handle == 0x20002 and fan.units == "RPM"
    assert fan.accuracy_percent is None and fan.resolution is None
    assert fan.min_readable is None and fan.max_readable is None
    assert fan.lower_critical == pytest.approx(500)
    cpu = named["CPU Temperature"]
    assert cpu.units == "\u00b0C"
    assert cpu.upper_critical == pytest.approx(85.0)
    assert cpu.upper_fatal == pytest.approx(100.0)


def test_readings_in_base_units(machine):
    named = by_description(machine)
    reading = named["+12 V"].read()
    assert reading.value == pytest.approx(reading.raw / 1000.0)
    assert 11.0 < reading.value < 13.0
    assert reading.state in (svcproc.SensorState.OK, svcproc.SensorState.CRITICAL)
    ambient = named["Ambient Temperature"].read()
    assert ambient.value == pytest.approx(ambient.raw / 10.0)
    assert 5.0 < ambient.value < 40.0


def test_leds(machine):
    leds = {led.description: led for led in machine.leds()}
    power = leds["Power"]
    assert power.handle == 0x40001 and power.bit_map == 1 and power.kind == 5
    assert power.read() is True


def test_an_unknown_handle_raises_with_its_meaning(machine):
    with pytest.raises(svcproc.InvalidHandleError) as raised:
        machine.sensor(0x10099)
    assert raised.value.code == 7
    assert "handle" in raised.value.meaning
    with pytest.raises(svcproc.InvalidHandleError):
        machine.led(0x10000)
    assert machine.describe_result(99)[0] == "Unknown"


def test_numbers_outside_the_c_types_are_refused_not_cut_to_fit(machine):
    # ctypes keeps the low 32 bits: 2**40 + 0x10001 used to read sensor
    # 0x10001 (and LED 0x40001), and result 2**40 to say Success.
    for high in (2**32, 2**40, -(2**32)):
        with pytest.raises(svcproc.InvalidHandleError) as raised:
            machine.sensor(high + 0x10001)
        assert raised.value.code == 7
        with pytest.raises(svcproc.InvalidHandleError):
            machine.led(high + 0x40001)
    for wrong in (65537.0, "65537", None):
        with pytest.raises(TypeError):
            machine.sensor(wrong)
    for code in (2**31, 2**40, -(2**31) - 1):
        with pytest.raises(ValueError):
            machine.describe_result(code)
    assert machine.describe_result(-(2**31))[0] == "Unknown"


@pytest.mark.parametrize("listener", [None, 42, "print"])
def test_add_listener_refuses_what_cannot_be_called(machine, listener):
    with pytest.raises(TypeError, match="callable"):
        machine.add_listener(listener)


def test_listeners_hear_alerts_on_the_polling_thread_until_removed(machine):
    heard = []
    threads = set()
    lock = threading.Lock()

    def listener(alert):
        with lock:
            heard.append(alert)
            threads.add(threading.get_ident())

    token = machine.add_listener(listener)
    # Removes itself from inside its first call.
    once = []
    once_token = []

    def self_removing(alert):
        once.append(alert)
        machine.remove_listener(once_token[0])

    once_token.append(machine.add_listener(self_removing))
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        with lock:
            if len(heard) >= 2 and once:
                break
        time.sleep(0.05)
    machine.remove_listener(token)
    with lock:
        count = len(heard)
    time.sleep(1)
    with lock:
        assert len(heard) == count, "called after remove_listener returned"
        assert count >= 2
        assert threading.get_ident() not in threads
    assert len(once) == 1
    fan_alerts = [alert for alert in heard if alert.sensor.description == "Chassis Fan"]
    assert fan_alerts, heard
    for alert in fan_alerts:
        # A fan's alert reading is unscaled RPM: below the critical
        # threshold when asserted, above it when cleared.
        assert alert.value == alert.raw
        asserted = alert.state == svcproc.SensorState.CRITICAL
        assert asserted == (alert.value < alert.sensor.lower_critical)
