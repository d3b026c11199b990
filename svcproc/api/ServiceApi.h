// svcproc: hardware health from the service processor.
//
// The one header an application includes. Call InitialiseServiceDriver once
// (it is safe to call it again, and from several threads); then list handles,
// describe and read sensors and LEDs, and register listeners for alert changes.
//
// Every function logs through the logging library and never throws. Every
// function with a result returns ServiceCode_NotInitialised until an
// InitialiseServiceDriver has succeeded; on any result other than
// ServiceCode_Success the caller's record or list is left as it was, except
// as said below for an allocation failure.
//
// Out of memory: when memory cannot be allocated inside a call, the call is
// refused with the level-1 line "API: <function> - out of memory" (for
// example "API: ReadSensor - out of memory"), and nothing else changes:
//   - functions with a result return ServiceCode_SmbiosInventoryFailed (3):
//     the inventory, or the copy of it the call makes, could not be built
//     in memory. The call may be repeated; a failed InitialiseServiceDriver
//     starts again from the beginning.
//   - EnumerateSensorHandles and EnumerateLedHandles leave the list as it
//     was. GetSensorInformation and GetLedInformation may leave the record
//     partly overwritten (its texts are copied one by one): use it only after
//     ServiceCode_Success.
//   - RegisterSensorStateListener registers nothing; the listener will not be
//     called. UnregisterSensorStateListener allocates nothing.
//   - ReadSensor and ReadLed allocate nothing in the library itself.
// Alerts are processed and delivered without allocating, so a shortage of
// memory never loses an alert or ends the polling thread.
#pragma once

#include "svcproc/api/ISensorStateListener.h"
#include "svcproc/api/SensorHandle.h"
#include "svcproc/api/SensorRecords.h"
#include "svcproc/api/ServiceCode.h"
#include "svcproc/api/svcproc_export.h"

namespace ServiceApi {

// Reads the SMBIOS inventory, opens the service processor's driver, takes a
// first reading of everything and starts alert polling. Returns 0 on success
// (also when already initialised), else 2 to 6; a failed call can be retried.
SVCPROC_EXPORT SERVICE_CODE InitialiseServiceDriver();

// Appends the handles of every voltage, fan and temperature sensor, in that
// order and by ascending index within each kind.
SVCPROC_EXPORT SERVICE_CODE EnumerateSensorHandles(CSensorHandleList& handles);

// Appends the handle of every LED, by ascending bit mask.
SVCPROC_EXPORT SERVICE_CODE EnumerateLedHandles(CLedHandleList& handles);

// Overwrites `information` with the sensor's description; 7 for a handle that
// is not a known sensor.
SVCPROC_EXPORT SERVICE_CODE GetSensorInformation(unsigned long handle,
                                                 CSensorInformation& information);

// Overwrites `information` with the LED's description; 7 for a handle that is
// not a known LED.
SVCPROC_EXPORT SERVICE_CODE GetLedInformation(unsigned long handle, CLedInformation& information);

// The sensor's current reading and alert state. Readings are at most 500 ms
// old: an older kind is refreshed from the service processor first. When the
// service processor does not answer, the last known values are returned.
SVCPROC_EXPORT SERVICE_CODE ReadSensor(unsigned long handle, CSensorReading& reading);

// The LED's current state, refreshed like ReadSensor.
SVCPROC_EXPORT SERVICE_CODE ReadLed(unsigned long handle, CLedReading& reading);

// Adds a listener (once; registering it again changes nothing). Ignored before
// initialisation and for a null pointer. The library never deletes it.
SVCPROC_EXPORT void RegisterSensorStateListener(ISensorStateListener* listener);

// Removes a listener. When this returns on a thread other than the polling
// thread, the listener is not running and will not be called again, so it may
// be deleted.
SVCPROC_EXPORT void UnregisterSensorStateListener(ISensorStateListener* listener);

}  // namespace ServiceApi
