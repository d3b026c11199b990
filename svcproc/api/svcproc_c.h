/* svcproc's C interface: the same library and the same behaviour as
   ServiceApi.h, for applications and foreign-function interfaces that cannot
   use C++ classes (MSVC and other compilers, .NET P/Invoke, Java, Python's
   ctypes). Valid C89, C99 and C++.

   Every function returns an SVCP_RESULT: the SERVICE_CODE numbers 0 to 7 of
   the C++ interface, and three of this interface's own (8 to 10). None
   throws or longjmps. SvcpResultName and SvcpResultMeaning put any result
   into words.

   Calling convention: SVCP_CALL, which is __cdecl on Windows (32 and 64
   bit) and the platform's C convention elsewhere; the exported names are
   undecorated ("SvcpReadSensor"). In .NET declare every import with
   CallingConvention = CallingConvention.Cdecl and the listener delegate
   with [UnmanagedFunctionPointer(CallingConvention.Cdecl)]; in ctypes load
   the library with CDLL and make callbacks with CFUNCTYPE.

   Types: SVCP_UINT32 and SVCP_INT32 are 32 bits on every supported platform
   (the library checks it when it is built); every field of the records is
   one of them, so the records have no padding and the same layout for every
   compiler and for 32- and 64-bit code. Texts are UTF-8. Lengths are in
   bytes and never count the terminating zero.

   Threads: every function may be called from any thread; listeners are
   called on the library's polling thread (see
   SvcpRegisterSensorStateListener). */
#ifndef SVCPROC_API_SVCPROC_C_H
#define SVCPROC_API_SVCPROC_C_H

#include <stddef.h>

#include "svcproc/api/svcproc_export.h"

/* The version of this interface: changes whenever a declaration below does. */
#define SVCP_C_API_VERSION 0x00020100

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int SVCP_UINT32;
typedef int SVCP_INT32;
/* A sensor or LED handle: kind in bits 16-31 (1 voltage, 2 fan,
   3 temperature, 4 LED), index within the kind in bits 0-15. */
typedef SVCP_UINT32 SVCP_HANDLE;
typedef SVCP_INT32 SVCP_RESULT;

#define SVCP_SUCCESS 0
/* No successful SvcpInitialiseServiceDriver yet. */
#define SVCP_NOT_INITIALISED 1
/* Start-up failures, as InitialiseServiceDriver returns them. */
#define SVCP_SMBIOS_UNREADABLE 2
#define SVCP_SMBIOS_INVENTORY_FAILED 3
#define SVCP_POS_SYSTEM_UNAVAILABLE 4
#define SVCP_NO_SERVICE_PROCESSOR 5
#define SVCP_DRIVER_UNAVAILABLE 6
/* Invalid handle, handle of the wrong kind, or no entry with that handle. */
#define SVCP_INVALID_HANDLE 7
/* C interface only: the caller's array or text buffer is too small; the
   count or length needed has been stored, nothing else. */
#define SVCP_BUFFER_TOO_SMALL 8
/* C interface only: a required pointer is null, or a state index is out of
   range. */
#define SVCP_INVALID_ARGUMENT 9
/* C interface only: memory ran out during the call; nothing was changed and
   the call may be retried. */
#define SVCP_OUT_OF_MEMORY 10

/* The kind bits of a handle. */
#define SVCP_HANDLE_KIND(handle) ((SVCP_UINT32)(handle) >> 16)
#define SVCP_KIND_VOLTAGE 1
#define SVCP_KIND_FAN 2
#define SVCP_KIND_TEMPERATURE 3
#define SVCP_KIND_LED 4

/* Unknown values taken from SMBIOS arrive as this (0x80000000). */
#define SVCP_VALUE_UNKNOWN ((SVCP_INT32)(-2147483647 - 1))

/* Description of one voltage, fan or temperature sensor: the numbers of the
   C++ CSensorInformation in its order, each widened to 32 bits. Thresholds,
   limits and the nominal value are in the units BaseUnits and UnitModifier
   give (millivolts, revolutions per minute, tenths of a degree Celsius).
   The description comes in a buffer of the caller's (SvcpGetSensorInformation),
   the state names through SvcpGetSensorPossibleState. 72 bytes. */
typedef struct SVCP_SENSOR_INFORMATION {
    SVCP_INT32 Accuracy;    /* hundredths of a percent; unknown for fans */
    SVCP_UINT32 BaseUnits;  /* 5 volts, 19 revolutions per minute, 2 degrees Celsius */
    SVCP_UINT32 Hysteresis; /* always 10 */
    SVCP_UINT32 IsLinear;   /* always 1 */
    SVCP_INT32 LowerThresholdCritical;
    SVCP_INT32 LowerThresholdFatal;
    SVCP_INT32 LowerThresholdNonCritical;
    SVCP_INT32 MaxReadable;    /* unknown for fans */
    SVCP_INT32 MinReadable;    /* unknown for fans */
    SVCP_INT32 NominalReading; /* for a fan, its nominal speed */
    SVCP_UINT32 RateUnits;     /* always 0 */
    SVCP_UINT32 Resolution;    /* unknown (0x80000000) for fans */
    SVCP_UINT32 SensorType;    /* 3 voltage, 5 tachometer, 2 temperature */
    SVCP_INT32 UnitModifier;   /* power of ten: -3 voltage, 0 fan, -1 temperature */
    SVCP_INT32 UpperThresholdCritical;
    SVCP_INT32 UpperThresholdFatal;
    SVCP_INT32 UpperThresholdNonCritical;
    SVCP_UINT32 PossibleStateCount; /* 2: "Ok" and "Critical" */
} SVCP_SENSOR_INFORMATION;

/* Description of one LED. 8 bytes. */
typedef struct SVCP_LED_INFORMATION {
    SVCP_UINT32 Kind;   /* always 5 */
    SVCP_UINT32 BitMap; /* the LED's bit in the LED state word; its handle's index */
} SVCP_LED_INFORMATION;

/* A sensor's reading and alert state. 8 bytes. */
typedef struct SVCP_SENSOR_READING {
    SVCP_UINT32 CurrentReading; /* in the units of the sensor's information */
    SVCP_UINT32 CurrentState;   /* 0 "Ok", 1 "Critical" */
} SVCP_SENSOR_READING;

/* An LED's state. 4 bytes. */
typedef struct SVCP_LED_READING {
    SVCP_UINT32 State; /* 1 on, 0 off */
} SVCP_LED_READING;

/* A listener: called on the library's polling thread, one call at a time,
   once per change of one sensor's alert state, with the context given at
   registration. state is 1 asserted, 0 deasserted; reading is the raw
   reading that came with the alert (at most 16 bits), without the scaling
   SvcpReadSensor applies (which reports ten times it for voltages and
   temperatures). It may call any function of this interface, including
   registering and unregistering listeners, but must not wait for a thread
   that is itself waiting in SvcpUnregisterSensorStateListener. */
typedef void(SVCP_CALL* SVCP_SENSOR_STATE_CALLBACK)(void* context, SVCP_HANDLE handle,
                                                    SVCP_UINT32 state, SVCP_UINT32 reading);

/* SVCP_C_API_VERSION of the library loaded. */
SVCPROC_EXPORT SVCP_UINT32 SVCP_CALL SvcpGetApiVersion(void);

/* Reads the SMBIOS inventory, opens the service processor's driver, takes a
   first reading of everything and starts alert polling. 0 on success (also
   when already initialised), else 2 to 6; a failed call can be retried. */
SVCPROC_EXPORT SVCP_RESULT SVCP_CALL SvcpInitialiseServiceDriver(void);

/* The handles of every voltage, fan and temperature sensor (in that order,
   by ascending index within each kind) into handles[0..*count-1]. *count
   receives the number of sensors. With handles null only the count is
   stored (result 0); with capacity below it the result is
   SVCP_BUFFER_TOO_SMALL and only the count is stored. The set of handles
   never changes after start-up. count must not be null. */
SVCPROC_EXPORT SVCP_RESULT SVCP_CALL SvcpEnumerateSensorHandles(SVCP_HANDLE* handles,
                                                                size_t capacity, size_t* count);

/* The same for the LEDs, by ascending bit mask. */
SVCPROC_EXPORT SVCP_RESULT SVCP_CALL SvcpEnumerateLedHandles(SVCP_HANDLE* handles, size_t capacity,
                                                             size_t* count);

/* Fills *information and writes the sensor's description, UTF-8 and
   zero-terminated, into description[0..descriptionSize-1]. When
   descriptionLength is not null it receives the description's length.
   With description null the description is left out (result 0). With
   descriptionSize not above the length the result is SVCP_BUFFER_TOO_SMALL:
   only the length is stored. 7 for a handle that is not a known sensor.
   information must not be null. */
SVCPROC_EXPORT SVCP_RESULT SVCP_CALL SvcpGetSensorInformation(SVCP_HANDLE handle,
                                                              SVCP_SENSOR_INFORMATION* information,
                                                              char* description,
                                                              size_t descriptionSize,
                                                              size_t* descriptionLength);

/* The name of the sensor's alert state `state` (0 "Ok", 1 "Critical": the
   C++ record's PossibleStates), into text as SvcpGetSensorInformation
   writes the description; SVCP_INVALID_ARGUMENT for a state at or past
   PossibleStateCount. */
SVCPROC_EXPORT SVCP_RESULT SVCP_CALL SvcpGetSensorPossibleState(SVCP_HANDLE handle,
                                                                SVCP_UINT32 state, char* text,
                                                                size_t textSize,
                                                                size_t* textLength);

/* Fills *information and the LED's description, as SvcpGetSensorInformation
   does; 7 for a handle that is not a known LED. */
SVCPROC_EXPORT SVCP_RESULT SVCP_CALL SvcpGetLedInformation(SVCP_HANDLE handle,
                                                           SVCP_LED_INFORMATION* information,
                                                           char* description,
                                                           size_t descriptionSize,
                                                           size_t* descriptionLength);

/* The sensor's current reading and alert state. Readings are at most 500 ms
   old: an older kind is refreshed from the service processor first. When
   the service processor does not answer, the last known values are
   returned. reading must not be null. */
SVCPROC_EXPORT SVCP_RESULT SVCP_CALL SvcpReadSensor(SVCP_HANDLE handle,
                                                    SVCP_SENSOR_READING* reading);

/* The LED's current state, refreshed like SvcpReadSensor. */
SVCPROC_EXPORT SVCP_RESULT SVCP_CALL SvcpReadLed(SVCP_HANDLE handle, SVCP_LED_READING* reading);

/* Registers callback with context. The pair is the listener: registering
   the same pair again changes nothing (result 0); the same callback with
   another context is another listener. SVCP_NOT_INITIALISED before a
   successful start-up (nothing is registered), SVCP_INVALID_ARGUMENT for a
   null callback; the context may be null. The library copies the two
   pointers and never touches the context itself. */
SVCPROC_EXPORT SVCP_RESULT SVCP_CALL
SvcpRegisterSensorStateListener(SVCP_SENSOR_STATE_CALLBACK callback, void* context);

/* Unregisters the pair (result 0 also when it was not registered). When this
   returns on a thread other than the polling thread, the callback is not
   running for the pair and will not be called for it again, so the context
   may be freed; it therefore waits for a call in progress, and must not be
   called while holding a lock the callback takes. Called from inside a
   callback it returns at once, and the pair is not called again after the
   running call. */
SVCPROC_EXPORT SVCP_RESULT SVCP_CALL
SvcpUnregisterSensorStateListener(SVCP_SENSOR_STATE_CALLBACK callback, void* context);

/* A result's name ("InvalidHandle") and a one-line meaning; "Unknown" and a
   line saying so for a number outside 0 to 10. Static texts, never null. */
SVCPROC_EXPORT const char* SVCP_CALL SvcpResultName(SVCP_RESULT result);
SVCPROC_EXPORT const char* SVCP_CALL SvcpResultMeaning(SVCP_RESULT result);

#ifdef __cplusplus
}
#endif

#endif /* SVCPROC_API_SVCPROC_C_H */
