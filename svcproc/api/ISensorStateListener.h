// The callback interface applications implement to hear sensor alert changes.
#pragma once

#include "svcproc/api/svcproc_export.h"

class SVCPROC_EXPORT ISensorStateListener {
public:
    // Called on the library's polling thread, never on the caller's thread,
    // once per change of one sensor's alert state:
    //   handle  - the sensor's handle (kind 1, 2 or 3)
    //   state   - 1 asserted ("Critical"), 0 deasserted ("Ok")
    //   reading - the raw reading that came with the alert, at most 16 bits,
    //             without the scaling ReadSensor applies (ReadSensor reports
    //             ten times this value for voltages and temperatures)
    // Listeners run one at a time; one that touches shared data must lock it.
    // A listener may register or unregister listeners from inside the call.
    virtual void OnSensorStateChange(unsigned long handle, unsigned long state,
                                     unsigned long reading) = 0;

protected:
    ISensorStateListener() = default;
    ISensorStateListener(const ISensorStateListener&) = default;
    ISensorStateListener& operator=(const ISensorStateListener&) { return *this; }
    // The library never deletes a listener: there is no virtual destructor.
    ~ISensorStateListener() = default;
};
