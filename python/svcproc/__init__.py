"""svcproc: hardware health from the service processor, for Python.

    machine = ServiceProcessor()            # loads and starts the library
    for sensor in machine.sensors():
        print(sensor.description, sensor.read().value, sensor.units)
    token = machine.add_listener(lambda alert: print(alert))
    ...
    machine.remove_listener(token)

Values are in base units (volts, revolutions per minute, degrees Celsius);
limits and thresholds SMBIOS does not give are None. Every failure of the
library raises ServiceError (or a subclass) carrying the result code, its
name and its meaning.

Listeners are called on the library's polling thread, one at a time; one
that touches data other threads use must lock it. They may add and remove
listeners. The library is process-wide: every ServiceProcessor of a process
shares one start-up, one set of sensors and one set of listeners. A listener
stays registered until it is removed (through any ServiceProcessor), even
when the ServiceProcessor that added it is dropped; at interpreter exit
every listener is removed, after the call in progress, if any, returns.
"""

import ctypes
import enum
import operator
from typing import Callable, List, NamedTuple, Optional

from . import _listeners, _native

__all__ = [
    "Alert", "Led", "MachineInfo", "NotInitialisedError", "InvalidHandleError", "Reading", "Sensor",
    "SensorKind", "SensorState", "ServiceError", "ServiceProcessor",
]
__version__ = "2.1.0"


class ServiceError(Exception):
    """A result other than success: code, name ("InvalidHandle") and
    meaning (one line)."""

    def __init__(self, code: int, name: str, meaning: str):
        super().__init__("%s (%d): %s" % (name, code, meaning))
        self.code = code
        self.name = name
        self.meaning = meaning


class NotInitialisedError(ServiceError):
    """The library has not been started up."""


class InvalidHandleError(ServiceError):
    """The handle names no sensor or LED of that kind."""


_ERRORS = {_native.NOT_INITIALISED: NotInitialisedError, _native.INVALID_HANDLE: InvalidHandleError}

# What the C types hold: ctypes would silently keep the low 32 bits.
_LAST_HANDLE = 0xFFFFFFFF
_RESULT_RANGE = range(-2**31, 2**31)


def _integer(value, what: str) -> int:
    try:
        return operator.index(value)
    except TypeError:
        raise TypeError("%s must be an integer, not %s" % (what, type(value).__name__)) from None


class SensorKind(enum.IntEnum):
    VOLTAGE = 1
    FAN = 2
    TEMPERATURE = 3


class SensorState(enum.IntEnum):
    OK = 0
    CRITICAL = 1


# DMTF CIM base unit codes the library uses.
_UNIT_SYMBOLS = {2: "\u00b0C", 5: "V", 19: "RPM"}


class Reading(NamedTuple):
    value: float  # in base units
    raw: int  # as the library gives it, in the sensor's units (e.g. millivolts)
    state: SensorState


class Alert(NamedTuple):
    sensor: "Sensor"
    state: SensorState  # CRITICAL when asserted, OK when deasserted
    raw: int  # the reading that came with the alert, unscaled
    value: float  # that reading in base units


class MachineInfo(NamedTuple):
    bios_version: str  # "" when SMBIOS gives none
    service_processor: str  # the management device's description; "" when none
    service_processor_address: int  # its I/O port; 0 when none


def _smbios_text(raw: bytes) -> str:
    # SMBIOS strings are in the machine's code page, normally ASCII.
    return raw.decode("utf-8", errors="replace")


class Sensor:
    """One voltage, fan or temperature sensor, as described at start-up."""

    def __init__(self, machine: "ServiceProcessor", handle: int,
                 record: "_native.SensorInformationRecord", description: str, states: List[str]):
        self._machine = machine
        self.handle = handle
        self.kind = SensorKind(handle >> 16)
        self.description = description
        self.possible_states = states
        self.base_units = record.BaseUnits
        self.unit_modifier = record.UnitModifier
        self.units = _UNIT_SYMBOLS.get(record.BaseUnits, "unit %d" % record.BaseUnits)
        self.sensor_type = record.SensorType
        self.hysteresis = record.Hysteresis
        self.accuracy_percent = (None if record.Accuracy == _native.VALUE_UNKNOWN
                                 else record.Accuracy / 100.0)
        self.resolution = self._scaled(ctypes.c_int32(record.Resolution).value)
        self.nominal = self._scaled(record.NominalReading)
        self.min_readable = self._scaled(record.MinReadable)
        self.max_readable = self._scaled(record.MaxReadable)
        self.lower_non_critical = self._scaled(record.LowerThresholdNonCritical)
        self.lower_critical = self._scaled(record.LowerThresholdCritical)
        self.lower_fatal = self._scaled(record.LowerThresholdFatal)
        self.upper_non_critical = self._scaled(record.UpperThresholdNonCritical)
        self.upper_critical = self._scaled(record.UpperThresholdCritical)
        self.upper_fatal = self._scaled(record.UpperThresholdFatal)

    def _scaled(self, raw: int) -> Optional[float]:
        if raw == _native.VALUE_UNKNOWN:
            return None
        return raw * 10.0 ** self.unit_modifier

    def read(self) -> Reading:
        """The current reading, at most 500 ms old."""
        record = _native.SensorReadingRecord()
        self._machine._check(self._machine._lib.SvcpReadSensor(self.handle, ctypes.byref(record)))
        return Reading(self._scaled(record.CurrentReading), record.CurrentReading,
                       SensorState(record.CurrentState))

    def alert_value(self, raw: int) -> float:
        """An alert's raw reading in base units: the service processor sends
        voltages and temperatures in tenths of the units ReadSensor gives."""
        scale = 1 if self.kind == SensorKind.FAN else 10
        return raw * scale * 10.0 ** self.unit_modifier

    def __repr__(self):
        return "Sensor(0x%05x, %s, %r)" % (self.handle, self.kind.name, self.description)


class Led:
    """One LED."""

    def __init__(self, machine: "ServiceProcessor", handle: int,
                 record: "_native.LedInformationRecord", description: str):
        self._machine = machine
        self.handle = handle
        self.description = description
        self.bit_map = record.BitMap
        self.kind = record.Kind

    def read(self) -> bool:
        """True when the LED is on."""
        record = _native.LedReadingRecord()
        self._machine._check(self._machine._lib.SvcpReadLed(self.handle, ctypes.byref(record)))
        return record.State == 1

    def __repr__(self):
        return "Led(0x%05x, %r)" % (self.handle, self.description)


class ServiceProcessor:
    """The library, loaded and started up. `library` is a path to it;
    without one, $SVCPROC_LIBRARY, then the system's loader."""

    def __init__(self, library: Optional[str] = None, start: bool = True):
        self._lib = _native.load(library)
        self._sensors = None
        if start:
            self.start()

    # Results.
    def describe_result(self, code: int):
        """(name, meaning) of a result code, a 32-bit signed integer
        (ValueError outside that range)."""
        code = _integer(code, "a result code")
        if code not in _RESULT_RANGE:
            raise ValueError("a result code is a 32-bit signed integer, not %d" % code)
        return (self._lib.SvcpResultName(code).decode(), self._lib.SvcpResultMeaning(code).decode())

    def _check(self, code: int) -> None:
        if code != _native.SUCCESS:
            name, meaning = self.describe_result(code)
            raise _ERRORS.get(code, ServiceError)(code, name, meaning)

    # Start-up and inventory.
    def start(self) -> None:
        """Starts the library up (again after a failure; nothing when it is
        running)."""
        self._check(self._lib.SvcpInitialiseServiceDriver())

    def machine_info(self) -> MachineInfo:
        """What the latest start-up that read SMBIOS found of the machine,
        also when it failed afterwards (e.g. a BIOS of another family);
        NotInitialisedError while none has read it."""
        record = _native.MachineInfoRecord()
        self._check(self._lib.SvcpGetMachineInfo(ctypes.byref(record)))
        return MachineInfo(_smbios_text(record.BiosVersion), _smbios_text(record.ServiceProcessor),
                           record.ServiceProcessorAddress)

    @property
    def api_version(self) -> int:
        return self._lib.SvcpGetApiVersion()

    def _handles(self, enumerate_function) -> List[int]:
        count = ctypes.c_size_t(0)
        self._check(enumerate_function(None, 0, ctypes.byref(count)))
        handles = (_native.HANDLE * count.value)()
        self._check(enumerate_function(handles, count.value, ctypes.byref(count)))
        return list(handles[:count.value])

    def _text(self, function, *arguments) -> str:
        length = ctypes.c_size_t(0)
        self._check(function(*arguments, None, 0, ctypes.byref(length)))
        buffer = ctypes.create_string_buffer(length.value + 1)
        self._check(function(*arguments, buffer, len(buffer), ctypes.byref(length)))
        return buffer.value.decode("utf-8")

    def _handle(self, handle) -> int:
        """The handle as the C interface takes it. A number outside 32 bits
        names no sensor or LED: InvalidHandleError, as for any unknown one."""
        handle = _integer(handle, "a handle")
        if not 0 <= handle <= _LAST_HANDLE:
            name, meaning = self.describe_result(_native.INVALID_HANDLE)
            raise InvalidHandleError(_native.INVALID_HANDLE, name, meaning)
        return handle

    def _information(self, handle: int, record_type, get):
        """The handle checked, its information record and its description."""
        handle = self._handle(handle)
        record = record_type()
        description = self._text(
            lambda text, size, length: get(handle, ctypes.byref(record), text, size, length))
        return handle, record, description

    def sensor(self, handle: int) -> Sensor:
        handle, record, description = self._information(
            handle, _native.SensorInformationRecord, self._lib.SvcpGetSensorInformation)
        states = [self._text(self._lib.SvcpGetSensorPossibleState, handle, state)
                  for state in range(record.PossibleStateCount)]
        return Sensor(self, handle, record, description, states)

    def led(self, handle: int) -> Led:
        handle, record, description = self._information(
            handle, _native.LedInformationRecord, self._lib.SvcpGetLedInformation)
        return Led(self, handle, record, description)

    def sensors(self) -> List[Sensor]:
        """Every sensor: voltages, fans, temperatures, by index within each."""
        if self._sensors is None:
            self._sensors = [self.sensor(handle)
                             for handle in self._handles(self._lib.SvcpEnumerateSensorHandles)]
        return list(self._sensors)

    def leds(self) -> List[Led]:
        return [self.led(handle) for handle in self._handles(self._lib.SvcpEnumerateLedHandles)]

    # Listeners.
    def add_listener(self, listener: Callable[[Alert], None]) -> int:
        """Calls listener(Alert) on the library's polling thread at each
        change of a sensor's alert state. Returns a token for
        remove_listener. An exception the listener raises is printed and
        dropped (it cannot cross into the library). TypeError when listener
        is not callable; RuntimeError once the interpreter is exiting."""
        if not callable(listener):
            raise TypeError("a listener must be callable, not %s" % type(listener).__name__)
        by_handle = {sensor.handle: sensor for sensor in self.sensors()}

        def deliver(handle, state, raw):
            sensor = by_handle.get(handle) or self.sensor(handle)
            listener(Alert(sensor, SensorState(state), raw, sensor.alert_value(raw)))

        result, token = _listeners.register(self._lib, deliver)
        self._check(result)
        return token

    def remove_listener(self, token: int) -> None:
        """Stops the listener's calls (a token from any ServiceProcessor of
        the process; nothing for one already removed). From any thread but
        the polling thread it waits for a call in progress, so after it
        returns the listener is not running; it must not be called holding
        a lock the listener takes."""
        self._check(_listeners.unregister(token))
