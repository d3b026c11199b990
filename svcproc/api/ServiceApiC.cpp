// The C interface: each function forwards to its ServiceApi function and
// converts the records. Nothing crosses it as an exception: the only ones
// the library raises are allocation failures, which become
// SVCP_OUT_OF_MEMORY.
#include <cstring>
#include <new>
#include <string>

#include "svcproc/api/CListenerRegistry.h"
#include "svcproc/api/ModuleState.h"
#include "svcproc/api/ServiceApi.h"
#include "svcproc/api/ServiceCodeText.h"
#include "svcproc/api/Utf8Text.h"
#include "svcproc/api/svcproc_c.h"

static_assert(sizeof(SVCP_UINT32) == 4 && sizeof(SVCP_INT32) == 4, "32-bit record fields");
static_assert(sizeof(SVCP_SENSOR_INFORMATION) == 72, "no padding");
static_assert(sizeof(SVCP_LED_INFORMATION) == 8 && sizeof(SVCP_SENSOR_READING) == 8 &&
                  sizeof(SVCP_LED_READING) == 4,
              "no padding");

namespace {

template <typename Call>
SVCP_RESULT Guarded(Call call) noexcept {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return SVCP_OUT_OF_MEMORY;
    } catch (...) {
        // Nothing else is thrown inside the library; should it ever be,
        // the caller still gets a result rather than a crash.
        return SVCP_OUT_OF_MEMORY;
    }
}

SVCP_RESULT ToResult(SERVICE_CODE code) {
    return static_cast<SVCP_RESULT>(code);
}

template <typename List>
SVCP_RESULT CopyHandles(SERVICE_CODE (*enumerate)(List&), SVCP_HANDLE* handles, size_t capacity,
                        size_t* count) {
    if (count == nullptr) {
        return SVCP_INVALID_ARGUMENT;
    }
    List list;
    const SERVICE_CODE result = enumerate(list);
    if (result != ServiceCode_Success) {
        return ToResult(result);
    }
    *count = list.size();
    if (handles == nullptr) {
        return SVCP_SUCCESS;
    }
    if (capacity < list.size()) {
        return SVCP_BUFFER_TOO_SMALL;
    }
    for (unsigned long handle : list) {
        *handles++ = static_cast<SVCP_HANDLE>(handle);
    }
    return SVCP_SUCCESS;
}

void Convert(const CSensorInformation& from, SVCP_SENSOR_INFORMATION& to) {
    to.Accuracy = from.Accuracy;
    to.BaseUnits = from.BaseUnits;
    to.Hysteresis = from.Hysteresis;
    to.IsLinear = from.IsLinear ? 1u : 0u;
    to.LowerThresholdCritical = from.LowerThresholdCritical;
    to.LowerThresholdFatal = from.LowerThresholdFatal;
    to.LowerThresholdNonCritical = from.LowerThresholdNonCritical;
    to.MaxReadable = from.MaxReadable;
    to.MinReadable = from.MinReadable;
    to.NominalReading = from.NominalReading;
    to.RateUnits = from.RateUnits;
    to.Resolution = from.Resolution;
    to.SensorType = from.SensorType;
    to.UnitModifier = from.UnitModifier;
    to.UpperThresholdCritical = from.UpperThresholdCritical;
    to.UpperThresholdFatal = from.UpperThresholdFatal;
    to.UpperThresholdNonCritical = from.UpperThresholdNonCritical;
    to.PossibleStateCount = static_cast<SVCP_UINT32>(from.PossibleStates.size());
}

void Convert(const CLedInformation& from, SVCP_LED_INFORMATION& to) {
    to.Kind = from.Kind;
    to.BitMap = from.BitMap;
}

// A sensor's or LED's information: the record and its description, or only
// the description's length when the caller's buffer is short.
template <typename Record, typename Information>
SVCP_RESULT CopyInformation(SERVICE_CODE (*get)(unsigned long, Record&), SVCP_HANDLE handle,
                            Information* information, char* description, size_t descriptionSize,
                            size_t* descriptionLength) {
    if (information == nullptr) {
        return SVCP_INVALID_ARGUMENT;
    }
    Record record;
    const SERVICE_CODE result = get(handle, record);
    if (result != ServiceCode_Success) {
        return ToResult(result);
    }
    if (!CopyText(WideToUtf8(record.Description), description, descriptionSize,
                  descriptionLength)) {
        return SVCP_BUFFER_TOO_SMALL;
    }
    Convert(record, *information);
    return SVCP_SUCCESS;
}

void Convert(const CSensorReading& from, SVCP_SENSOR_READING& to) {
    to.CurrentReading = from.CurrentReading;
    to.CurrentState = from.CurrentState;
}

void Convert(const CLedReading& from, SVCP_LED_READING& to) {
    to.State = from.State;
}

// A sensor's or LED's reading; the caller's record is written only on success.
template <typename Record, typename Reading>
SVCP_RESULT CopyReading(SERVICE_CODE (*read)(unsigned long, Record&), SVCP_HANDLE handle,
                        Reading* reading) {
    if (reading == nullptr) {
        return SVCP_INVALID_ARGUMENT;
    }
    Record record{};
    const SERVICE_CODE result = read(handle, record);
    if (result == ServiceCode_Success) {
        Convert(record, *reading);
    }
    return ToResult(result);
}

bool Initialised() {
    return bInit.load(std::memory_order_acquire);
}

// What (un)registering a listener refuses: a null callback, and any call
// before start-up, where the C++ interface ignores a registration (an
// adapter kept here for it would never be called).
SVCP_RESULT ListenerRefusal(SVCP_SENSOR_STATE_CALLBACK callback) {
    if (callback == nullptr) {
        return SVCP_INVALID_ARGUMENT;
    }
    return Initialised() ? SVCP_SUCCESS : SVCP_NOT_INITIALISED;
}

}  // namespace

extern "C" {

SVCP_UINT32 SVCP_CALL SvcpGetApiVersion(void) {
    return SVCP_C_API_VERSION;
}

SVCP_RESULT SVCP_CALL SvcpInitialiseServiceDriver(void) {
    return Guarded([] { return ToResult(ServiceApi::InitialiseServiceDriver()); });
}

SVCP_RESULT SVCP_CALL SvcpEnumerateSensorHandles(SVCP_HANDLE* handles, size_t capacity,
                                                 size_t* count) {
    return Guarded([&] {
        return CopyHandles<CSensorHandleList>(ServiceApi::EnumerateSensorHandles, handles, capacity,
                                              count);
    });
}

SVCP_RESULT SVCP_CALL SvcpEnumerateLedHandles(SVCP_HANDLE* handles, size_t capacity,
                                              size_t* count) {
    return Guarded([&] {
        return CopyHandles<CLedHandleList>(ServiceApi::EnumerateLedHandles, handles, capacity,
                                           count);
    });
}

SVCP_RESULT SVCP_CALL SvcpGetSensorInformation(SVCP_HANDLE handle,
                                               SVCP_SENSOR_INFORMATION* information,
                                               char* description, size_t descriptionSize,
                                               size_t* descriptionLength) {
    return Guarded([&] {
        return CopyInformation(ServiceApi::GetSensorInformation, handle, information, description,
                               descriptionSize, descriptionLength);
    });
}

SVCP_RESULT SVCP_CALL SvcpGetSensorPossibleState(SVCP_HANDLE handle, SVCP_UINT32 state, char* text,
                                                 size_t textSize, size_t* textLength) {
    return Guarded([&] {
        CSensorInformation record;
        const SERVICE_CODE result = ServiceApi::GetSensorInformation(handle, record);
        if (result != ServiceCode_Success) {
            return ToResult(result);
        }
        if (state >= record.PossibleStates.size()) {
            return SVCP_INVALID_ARGUMENT;
        }
        if (!CopyText(WideToUtf8(record.PossibleStates[state]), text, textSize, textLength)) {
            return SVCP_BUFFER_TOO_SMALL;
        }
        return SVCP_SUCCESS;
    });
}

SVCP_RESULT SVCP_CALL SvcpGetLedInformation(SVCP_HANDLE handle, SVCP_LED_INFORMATION* information,
                                            char* description, size_t descriptionSize,
                                            size_t* descriptionLength) {
    return Guarded([&] {
        return CopyInformation(ServiceApi::GetLedInformation, handle, information, description,
                               descriptionSize, descriptionLength);
    });
}

SVCP_RESULT SVCP_CALL SvcpReadSensor(SVCP_HANDLE handle, SVCP_SENSOR_READING* reading) {
    return Guarded([&] { return CopyReading(ServiceApi::ReadSensor, handle, reading); });
}

SVCP_RESULT SVCP_CALL SvcpReadLed(SVCP_HANDLE handle, SVCP_LED_READING* reading) {
    return Guarded([&] { return CopyReading(ServiceApi::ReadLed, handle, reading); });
}

SVCP_RESULT SVCP_CALL SvcpRegisterSensorStateListener(SVCP_SENSOR_STATE_CALLBACK callback,
                                                      void* context) {
    return Guarded([&] {
        const SVCP_RESULT refusal = ListenerRefusal(callback);
        return refusal != SVCP_SUCCESS ? refusal
                                       : CListenerRegistry::Instance().Register(callback, context);
    });
}

SVCP_RESULT SVCP_CALL SvcpUnregisterSensorStateListener(SVCP_SENSOR_STATE_CALLBACK callback,
                                                        void* context) {
    return Guarded([&] {
        const SVCP_RESULT refusal = ListenerRefusal(callback);
        if (refusal == SVCP_SUCCESS) {
            CListenerRegistry::Instance().Unregister(callback, context);
        }
        return refusal;
    });
}

const char* SVCP_CALL SvcpResultName(SVCP_RESULT result) {
    return result < 0 ? ServiceApi::ServiceCodeName(~0ul)
                      : ServiceApi::ServiceCodeName(static_cast<unsigned long>(result));
}

const char* SVCP_CALL SvcpResultMeaning(SVCP_RESULT result) {
    return result < 0 ? ServiceApi::ServiceCodeMeaning(~0ul)
                      : ServiceApi::ServiceCodeMeaning(static_cast<unsigned long>(result));
}

}  // extern "C"
