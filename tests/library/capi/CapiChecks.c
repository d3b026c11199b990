/* The C interface end to end, as a C application uses it. */
#include "CapiChecks.h"

#include <stdatomic.h>
#include <stdio.h>
#include <string.h>

#include "svcproc/api/machine/svcproc_machine_c.h"
#include "svcproc/api/svcproc_c.h"

static int g_failures;

#define CHECK(condition)                                                  \
    do {                                                                  \
        if (!(condition)) {                                               \
            printf("FAILED %s:%d: %s\n", __FILE__, __LINE__, #condition); \
            ++g_failures;                                                 \
        }                                                                 \
    } while (0)
#define CHECK_RESULT(expected, call)                                                     \
    do {                                                                                 \
        SVCP_RESULT result_ = (call);                                                    \
        if (result_ != (expected)) {                                                     \
            printf("FAILED %s:%d: %s gave %d (%s), not %s\n", __FILE__, __LINE__, #call, \
                   (int)result_, SvcpResultName(result_), #expected);                    \
            ++g_failures;                                                                \
        }                                                                                \
    } while (0)

enum { kMaxHandles = 64, kMaxEvents = 64 };

/* What one registered pair has heard. Written on the polling thread, read
   on the main thread. */
typedef struct Listener {
    atomic_int calls;
    atomic_int callsAfterUnregister;
    atomic_int unregistered;
    atomic_int selfUnregister;      /* unregisters itself from its first call */
    atomic_uint events[kMaxEvents]; /* handle << 1 | state */
} Listener;

static void SVCP_CALL OnChange(void* context, SVCP_HANDLE handle, SVCP_UINT32 state,
                               SVCP_UINT32 reading) {
    Listener* listener = (Listener*)context;
    int call = atomic_fetch_add(&listener->calls, 1);
    if (atomic_load(&listener->unregistered)) {
        atomic_fetch_add(&listener->callsAfterUnregister, 1);
    }
    if (call < kMaxEvents) {
        atomic_store(&listener->events[call], (handle << 1) | (state & 1u));
    }
    printf("alert: sensor 0x%05x is %s (raw reading %u)\n", handle, state ? "Critical" : "Ok",
           reading);
    fflush(stdout);
    if (call == 0 && atomic_load(&listener->selfUnregister)) {
        /* From inside its own call: returns at once; no further calls. */
        CHECK_RESULT(SVCP_SUCCESS, SvcpUnregisterSensorStateListener(OnChange, context));
        atomic_store(&listener->unregistered, 1);
    }
}

static void CheckResultTexts(void) {
    CHECK(strcmp(SvcpResultName(SVCP_SUCCESS), "Success") == 0);
    CHECK(strcmp(SvcpResultName(SVCP_INVALID_HANDLE), "InvalidHandle") == 0);
    CHECK(strcmp(SvcpResultName(SVCP_OUT_OF_MEMORY), "OutOfMemory") == 0);
    CHECK(strcmp(SvcpResultName(11), "Unknown") == 0);
    CHECK(strcmp(SvcpResultName(-1), "Unknown") == 0);
    CHECK(strlen(SvcpResultMeaning(SVCP_NOT_INITIALISED)) > 10);
    CHECK(SvcpGetApiVersion() == SVCP_C_API_VERSION);
}

static void CheckBeforeStartUp(void) {
    SVCP_SENSOR_READING reading = {12345u, 6u};
    SVCP_MACHINE_INFO machine;
    Listener unused;
    memset(&unused, 0, sizeof unused);
    memset(&machine, 0x5A, sizeof machine);
    CHECK_RESULT(SVCP_NOT_INITIALISED, SvcpGetMachineInfo(&machine));
    CHECK(machine.BiosVersion[0] == 0x5A && machine.ServiceProcessorAddress == 0x5A5A5A5Au);
    CHECK_RESULT(SVCP_NOT_INITIALISED, SvcpReadSensor(0x10000u, &reading));
    CHECK(reading.CurrentReading == 12345u && reading.CurrentState == 6u);
    CHECK_RESULT(SVCP_NOT_INITIALISED, SvcpRegisterSensorStateListener(OnChange, &unused));
}

/* What start-up read of the machine, printed for the host to compare with
   the machine it set up. */
static void CheckMachineInfo(void) {
    SVCP_MACHINE_INFO machine;
    memset(&machine, 0x5A, sizeof machine);
    CHECK_RESULT(SVCP_INVALID_ARGUMENT, SvcpGetMachineInfo(NULL));
    CHECK_RESULT(SVCP_SUCCESS, SvcpGetMachineInfo(&machine));
    CHECK(memchr(machine.BiosVersion, 0, sizeof machine.BiosVersion) != NULL);
    CHECK(memchr(machine.ServiceProcessor, 0, sizeof machine.ServiceProcessor) != NULL);
    CHECK(machine.ServiceProcessor[0] != '\0' && machine.ServiceProcessorAddress != 0u);
    printf("machine: BIOS %.255s, %.255s at 0x%x\n", machine.BiosVersion, machine.ServiceProcessor,
           machine.ServiceProcessorAddress);
}

/* Lists the handles through the count, a short array and a full one. */
static size_t ListHandles(SVCP_RESULT (*enumerate)(SVCP_HANDLE*, size_t, size_t*),
                          SVCP_HANDLE* handles) {
    size_t count = 0;
    size_t shortCount = 0;
    SVCP_HANDLE sentinel[kMaxHandles];
    CHECK_RESULT(SVCP_INVALID_ARGUMENT, enumerate(handles, kMaxHandles, NULL));
    CHECK_RESULT(SVCP_SUCCESS, enumerate(NULL, 0, &count));
    CHECK(count > 0 && count <= kMaxHandles);
    if (count == 0 || count > kMaxHandles) {
        return 0;
    }
    memset(sentinel, 0xA5, sizeof sentinel);
    CHECK_RESULT(SVCP_BUFFER_TOO_SMALL, enumerate(sentinel, count - 1, &shortCount));
    CHECK(shortCount == count);
    CHECK(sentinel[0] == 0xA5A5A5A5u);
    CHECK_RESULT(SVCP_SUCCESS, enumerate(handles, kMaxHandles, &shortCount));
    CHECK(shortCount == count);
    return count;
}

/* Lists the handles, then checks each in turn: they come in ascending order. */
static void CheckEach(SVCP_RESULT (*enumerate)(SVCP_HANDLE*, size_t, size_t*),
                      void (*check)(SVCP_HANDLE handle)) {
    SVCP_HANDLE handles[kMaxHandles];
    size_t count = ListHandles(enumerate, handles);
    size_t i;
    for (i = 0; i < count; ++i) {
        CHECK(i == 0 || handles[i] > handles[i - 1]);
        check(handles[i]);
    }
}

static void CheckSensor(SVCP_HANDLE handle) {
    SVCP_SENSOR_INFORMATION information;
    SVCP_SENSOR_READING reading;
    char description[128];
    char state[16];
    size_t length = 0;
    size_t stateLength = 0;
    SVCP_UINT32 kind = SVCP_HANDLE_KIND(handle);
    CHECK(kind >= SVCP_KIND_VOLTAGE && kind <= SVCP_KIND_TEMPERATURE);

    CHECK_RESULT(SVCP_SUCCESS, SvcpGetSensorInformation(handle, &information, NULL, 0, &length));
    CHECK(length > 0 && length < sizeof description);
    /* One byte short: the length is stored, the buffer left alone. */
    memset(description, 'x', sizeof description);
    CHECK_RESULT(SVCP_BUFFER_TOO_SMALL,
                 SvcpGetSensorInformation(handle, &information, description, length, &length));
    CHECK(description[0] == 'x');
    CHECK_RESULT(SVCP_SUCCESS, SvcpGetSensorInformation(handle, &information, description,
                                                        sizeof description, &length));
    CHECK(strlen(description) == length);
    CHECK(information.Hysteresis == 10u && information.IsLinear == 1u);
    CHECK(information.PossibleStateCount == 2u);
    if (kind == SVCP_KIND_FAN) {
        CHECK(information.Accuracy == SVCP_VALUE_UNKNOWN);
        CHECK(information.BaseUnits == 19u && information.SensorType == 5u);
        CHECK(information.UnitModifier == 0);
    } else if (kind == SVCP_KIND_VOLTAGE) {
        CHECK(information.BaseUnits == 5u && information.UnitModifier == -3);
    } else {
        CHECK(information.BaseUnits == 2u && information.UnitModifier == -1);
    }
    CHECK_RESULT(SVCP_SUCCESS,
                 SvcpGetSensorPossibleState(handle, 1, state, sizeof state, &stateLength));
    CHECK(strcmp(state, "Critical") == 0 && stateLength == 8);
    CHECK_RESULT(SVCP_INVALID_ARGUMENT,
                 SvcpGetSensorPossibleState(handle, 2, state, sizeof state, NULL));

    CHECK_RESULT(SVCP_SUCCESS, SvcpReadSensor(handle, &reading));
    CHECK(reading.CurrentState < 2u);
    CHECK_RESULT(SVCP_SUCCESS, SvcpGetSensorPossibleState(handle, reading.CurrentState, state,
                                                          sizeof state, NULL));
    printf("sensor 0x%05x %-24s %8u x 10^%d, %s\n", handle, description, reading.CurrentReading,
           information.UnitModifier, state);
}

static void CheckLed(SVCP_HANDLE handle) {
    SVCP_LED_INFORMATION information;
    SVCP_LED_READING reading;
    char description[128];
    CHECK(SVCP_HANDLE_KIND(handle) == SVCP_KIND_LED);
    CHECK_RESULT(SVCP_SUCCESS, SvcpGetLedInformation(handle, &information, description,
                                                     sizeof description, NULL));
    CHECK(information.Kind == 5u && information.BitMap == (handle & 0xFFFFu));
    CHECK_RESULT(SVCP_SUCCESS, SvcpReadLed(handle, &reading));
    CHECK(reading.State <= 1u);
    printf("led    0x%05x %-24s %s\n", handle, description, reading.State ? "on" : "off");
}

static void CheckRefusals(void) {
    SVCP_SENSOR_INFORMATION sensor;
    SVCP_LED_INFORMATION led;
    SVCP_SENSOR_READING reading;
    SVCP_LED_READING ledReading;
    CHECK_RESULT(SVCP_INVALID_HANDLE, SvcpReadSensor(0xFFFFu, &reading));
    CHECK_RESULT(SVCP_INVALID_HANDLE, SvcpReadSensor(0x50000u, &reading));
    CHECK_RESULT(SVCP_INVALID_HANDLE, SvcpReadSensor(0x40001u, &reading));
    CHECK_RESULT(SVCP_INVALID_HANDLE, SvcpGetSensorInformation(0x40001u, &sensor, NULL, 0, NULL));
    CHECK_RESULT(SVCP_INVALID_HANDLE, SvcpGetLedInformation(0x10000u, &led, NULL, 0, NULL));
    CHECK_RESULT(SVCP_INVALID_HANDLE, SvcpReadLed(0x10000u, &ledReading));
    CHECK_RESULT(SVCP_INVALID_ARGUMENT, SvcpReadSensor(0x10000u, NULL));
    CHECK_RESULT(SVCP_INVALID_ARGUMENT, SvcpReadLed(0x40001u, NULL));
    CHECK_RESULT(SVCP_INVALID_ARGUMENT, SvcpGetSensorInformation(0x10000u, NULL, NULL, 0, NULL));
    CHECK_RESULT(SVCP_INVALID_ARGUMENT, SvcpRegisterSensorStateListener(NULL, NULL));
    CHECK_RESULT(SVCP_INVALID_ARGUMENT, SvcpUnregisterSensorStateListener(NULL, NULL));
}

static void CheckListeners(const CapiHost* host) {
    static Listener twice;
    static Listener once;
    unsigned waited = 0;
    int i;
    int calls;
    atomic_store(&once.selfUnregister, 1);
    CHECK_RESULT(SVCP_SUCCESS, SvcpRegisterSensorStateListener(OnChange, &twice));
    /* The same pair again is the same listener. */
    CHECK_RESULT(SVCP_SUCCESS, SvcpRegisterSensorStateListener(OnChange, &twice));
    CHECK_RESULT(SVCP_SUCCESS, SvcpRegisterSensorStateListener(OnChange, &once));
    while ((atomic_load(&twice.calls) < 2 || atomic_load(&once.calls) < 1) &&
           waited < host->AlertTimeoutMs) {
        if (host->RaiseAlerts != NULL && waited % 1000 == 0) {
            host->RaiseAlerts(host->Host);
        }
        host->SleepMs(50);
        waited += 50;
    }
    CHECK_RESULT(SVCP_SUCCESS, SvcpUnregisterSensorStateListener(OnChange, &twice));
    /* Returned on this thread: the callback is not running and never runs
       again for the pair. */
    atomic_store(&twice.unregistered, 1);
    CHECK_RESULT(SVCP_SUCCESS, SvcpUnregisterSensorStateListener(OnChange, &twice));
    if (host->RaiseAlerts != NULL) {
        host->RaiseAlerts(host->Host);
    }
    host->SleepMs(1000);

    calls = atomic_load(&twice.calls);
    CHECK(calls >= 2);
    CHECK(atomic_load(&twice.callsAfterUnregister) == 0);
    CHECK(atomic_load(&once.calls) == 1);
    CHECK(atomic_load(&once.callsAfterUnregister) == 0);
    /* Registered once, called once per change: a sensor's state alternates,
       so one change delivered twice would show the same event twice in a
       row. */
    for (i = 1; i < calls && i < kMaxEvents; ++i) {
        CHECK(atomic_load(&twice.events[i]) != atomic_load(&twice.events[i - 1]));
    }
    printf("listener heard %d alerts\n", calls);
}

int RunCapiChecks(const CapiHost* host) {
    g_failures = 0;
    CheckResultTexts();
    CheckBeforeStartUp();
    CHECK_RESULT(SVCP_SUCCESS, SvcpInitialiseServiceDriver());
    CHECK_RESULT(SVCP_SUCCESS, SvcpInitialiseServiceDriver());
    CheckMachineInfo();
    CheckEach(SvcpEnumerateSensorHandles, CheckSensor);
    CheckEach(SvcpEnumerateLedHandles, CheckLed);
    CheckRefusals();
    CheckListeners(host);
    printf("C interface: %d failures\n", g_failures);
    fflush(stdout);
    return g_failures;
}
