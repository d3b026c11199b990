"""The C interface (svcproc_c.h, machine/svcproc_machine_c.h) through ctypes: finding and loading the
library, the records and the function prototypes."""

import ctypes
import ctypes.util
import os
import sys

ENVIRONMENT_VARIABLE = "SVCPROC_LIBRARY"

# The C interface's calling convention is cdecl everywhere, so CDLL and
# CFUNCTYPE also on 32-bit Windows.
_LOADER = ctypes.CDLL

UINT32 = ctypes.c_uint32
INT32 = ctypes.c_int32
HANDLE = UINT32
RESULT = INT32

SUCCESS = 0
NOT_INITIALISED = 1
INVALID_HANDLE = 7
BUFFER_TOO_SMALL = 8
VALUE_UNKNOWN = -0x80000000


class SensorInformationRecord(ctypes.Structure):
    _fields_ = [
        ("Accuracy", INT32),
        ("BaseUnits", UINT32),
        ("Hysteresis", UINT32),
        ("IsLinear", UINT32),
        ("LowerThresholdCritical", INT32),
        ("LowerThresholdFatal", INT32),
        ("LowerThresholdNonCritical", INT32),
        ("MaxReadable", INT32),
        ("MinReadable", INT32),
        ("NominalReading", INT32),
        ("RateUnits", UINT32),
        ("Resolution", UINT32),
        ("SensorType", UINT32),
        ("UnitModifier", INT32),
        ("UpperThresholdCritical", INT32),
        ("UpperThresholdFatal", INT32),
        ("UpperThresholdNonCritical", INT32),
        ("PossibleStateCount", UINT32),
    ]


class LedInformationRecord(ctypes.Structure):
    _fields_ = [("Kind", UINT32), ("BitMap", UINT32)]


class SensorReadingRecord(ctypes.Structure):
    _fields_ = [("CurrentReading", UINT32), ("CurrentState", UINT32)]


class LedReadingRecord(ctypes.Structure):
    _fields_ = [("State", UINT32)]


MACHINE_TEXT_SIZE = 256


class MachineInfoRecord(ctypes.Structure):
    _fields_ = [
        ("BiosVersion", ctypes.c_char * MACHINE_TEXT_SIZE),
        ("ServiceProcessor", ctypes.c_char * MACHINE_TEXT_SIZE),
        ("ServiceProcessorAddress", UINT32),
    ]


assert ctypes.sizeof(SensorInformationRecord) == 72
assert ctypes.sizeof(LedInformationRecord) == 8
assert ctypes.sizeof(MachineInfoRecord) == 516

CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_void_p, HANDLE, UINT32, UINT32)

_SIZE_P = ctypes.POINTER(ctypes.c_size_t)
_PROTOTYPES = {
    "SvcpGetApiVersion": (UINT32, []),
    "SvcpInitialiseServiceDriver": (RESULT, []),
    "SvcpEnumerateSensorHandles": (RESULT, [ctypes.POINTER(HANDLE), ctypes.c_size_t, _SIZE_P]),
    "SvcpEnumerateLedHandles": (RESULT, [ctypes.POINTER(HANDLE), ctypes.c_size_t, _SIZE_P]),
    "SvcpGetSensorInformation": (
        RESULT,
        [HANDLE, ctypes.POINTER(SensorInformationRecord), ctypes.c_char_p, ctypes.c_size_t, _SIZE_P],
    ),
    "SvcpGetSensorPossibleState": (
        RESULT,
        [HANDLE, UINT32, ctypes.c_char_p, ctypes.c_size_t, _SIZE_P],
    ),
    "SvcpGetLedInformation": (
        RESULT,
        [HANDLE, ctypes.POINTER(LedInformationRecord), ctypes.c_char_p, ctypes.c_size_t, _SIZE_P],
    ),
    "SvcpReadSensor": (RESULT, [HANDLE, ctypes.POINTER(SensorReadingRecord)]),
    "SvcpReadLed": (RESULT, [HANDLE, ctypes.POINTER(LedReadingRecord)]),
    "SvcpRegisterSensorStateListener": (RESULT, [CALLBACK, ctypes.c_void_p]),
    "SvcpUnregisterSensorStateListener": (RESULT, [CALLBACK, ctypes.c_void_p]),
    "SvcpResultName": (ctypes.c_char_p, [RESULT]),
    "SvcpResultMeaning": (ctypes.c_char_p, [RESULT]),
    "SvcpGetMachineInfo": (RESULT, [ctypes.POINTER(MachineInfoRecord)]),
}


def candidate_paths(path=None):
    """Where the library is looked for, in order: the explicit path, the
    environment variable, then names the system's loader resolves."""
    if path:
        return [os.fspath(path)]
    explicit = os.environ.get(ENVIRONMENT_VARIABLE)
    if explicit:
        return [explicit]
    names = []
    found = ctypes.util.find_library("svcproc")
    if found:
        names.append(found)
    if sys.platform == "win32":
        names.append("svcproc.dll")
    else:
        names += ["libsvcproc.so.2", os.path.join(sys.prefix, "lib", "libsvcproc.so.2")]
    return names


def load(path=None):
    """The loaded library with its prototypes set. An explicit path (the
    argument or the environment variable) is the only one tried; OSError
    when nothing can be loaded."""
    errors = []
    for candidate in candidate_paths(path):
        try:
            library = _LOADER(candidate)
        except OSError as error:
            errors.append("%s: %s" % (candidate, error))
            continue
        for name, (restype, argtypes) in _PROTOTYPES.items():
            function = getattr(library, name)
            function.restype = restype
            function.argtypes = argtypes
        return library
    raise OSError("svcproc library not found (set %s to its path): %s"
                  % (ENVIRONMENT_VARIABLE, "; ".join(errors)))
