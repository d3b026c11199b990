// Fuzz target: arbitrary driver answers to the real CIOUnit and CDataCache.
// A driver in the platform's device registry answers every exchange from the
// input (IoFuzzInput.h); sensor reads, LED reads, alert polls, tick moves and
// listener changes come from the input too. After every step an independent
// model of the read and alert rules says what the cache, the alert masks, the
// last-update ticks, the LED flags, the results and the listener calls must
// be, and any difference aborts with a description.
//
// One unit and one cache serve the whole process (a unit per input would
// start a polling thread per input); each input starts from the state a
// freshly built cache has, filled with its own machine, and takes the first
// reads of a start-up: one of each kind, each finding its kind stale.
//
// The model holds the library's sound choices as well as its plain rules:
// voltages stored x10 in full, alert readings cached in the units of the
// reads while listeners get the raw value, indexes of 16 and up never change
// state, an alert with L below 4 is dropped, and a failed call is a failed
// exchange.
#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "IoFuzzInput.h"
#include "LogControl.h"
#include "device_registry.h"
#include "platform.h"
#include "platform_seams.h"
#include "svcproc/cache/DataCache.h"
#include "svcproc/io/IOUnit.h"
#include "svcproc/io/SvcpProtocol.h"

namespace {

using namespace io_fuzz;

[[noreturn]] void Diverged(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fprintf(stderr, "io_response_fuzzer: the library and the model disagree: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::abort();
}

// The input, read front to back; missing bytes read 0.
class CCursor {
public:
    CCursor(const uint8_t* data, size_t size) : m_pData(data), m_nSize(size) {}
    bool AtEnd() const { return m_nPos >= m_nSize; }
    uint8_t Byte() { return m_nPos < m_nSize ? m_pData[m_nPos++] : 0; }
    uint16_t BE16() {
        const uint16_t high = Byte();
        return static_cast<uint16_t>((high << 8) | Byte());
    }

private:
    const uint8_t* m_pData;
    size_t m_nSize;
    size_t m_nPos = 0;
};

// One exchange as the model sees it.
struct Exchanged {
    std::array<uint8_t, 96> request{};  // as the library sent it
    bool failed = false;
    std::array<uint8_t, 96> packet{};  // what the library holds after the call
};

// Answers each exchange from the input and keeps what it answered. Its
// record of the exchanges keeps its capacity from step to step, so that an
// exchange allocates nothing here.
class CFuzzDriver final : public svcp::IDeviceDriver {
public:
    CFuzzDriver() { m_vExchanges.reserve(8); }
    void Begin(CCursor* cursor) {
        m_pCursor = cursor;
        m_vExchanges.clear();
    }
    // The exchanges since the last Clear.
    size_t Count() const { return m_vExchanges.size(); }
    const Exchanged& At(size_t i) const { return m_vExchanges[i]; }
    void Clear() { m_vExchanges.clear(); }

    DWORD IoControl(DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize,
                    DWORD* bytesReturned) override {
        m_vExchanges.emplace_back();
        Exchanged& last = m_vExchanges.back();
        if (code != kIoctlSvcpRequestResponse || inputSize != 96 || outputSize != 96) {
            Diverged("ioctl 0x%08x with %u/%u bytes", static_cast<unsigned>(code),
                     static_cast<unsigned>(inputSize), static_cast<unsigned>(outputSize));
        }
        uint8_t* buffer = static_cast<uint8_t*>(output);
        std::array<uint8_t, 96> request{};
        std::memcpy(request.data(), input, 96);
        last.request = request;

        CCursor& in = *m_pCursor;
        if (in.AtEnd()) {
            last.failed = true;
            return ERROR_IO_DEVICE;
        }
        const uint8_t mode = in.Byte();
        std::array<uint8_t, 96> answer = request;
        if ((mode & 3) == kModeFail) {
            last.failed = true;
            return ERROR_IO_DEVICE;
        }
        if ((mode & 3) == kModeRaw) {
            for (uint8_t& byte : answer) {
                byte = in.Byte();
            }
        } else {
            const uint8_t length = in.Byte();
            answer[17] = length;
            answer[18] = in.Byte();
            const uint8_t nByte = in.Byte();
            answer[81] = (mode & kModeNFromLength)
                             ? static_cast<uint8_t>(length + 1 + static_cast<int8_t>(nByte))
                             : nByte;
            const uint8_t flag = in.Byte();
            std::memset(&answer[88], 0, 4);
            answer[88] = flag;
            const size_t dataBytes = length < 2 ? 0 : (length - 2u > 61u ? 61u : length - 2u);
            for (size_t i = 0; i < dataBytes; ++i) {
                answer[19 + i] = in.Byte();
            }
            if (!(mode & kModeKeepChecksum) && length >= 2 && length <= 63) {
                unsigned sum = 0;
                for (size_t offset = 18; offset < 17u + length; ++offset) {
                    sum += answer[offset];
                }
                answer[17 + length] = static_cast<uint8_t>(0x100u - (sum & 0xFFu));
            }
        }
        const DWORD returned = (mode & kModeShortReturn) ? in.Byte() % 97u : 96u;
        std::memcpy(buffer, answer.data(), 96);
        *bytesReturned = returned;
        // The platform copies back only what the driver says it returned.
        last.packet = request;
        std::memcpy(last.packet.data(), answer.data(), returned);
        return ERROR_SUCCESS;
    }

private:
    CCursor* m_pCursor = nullptr;
    std::vector<Exchanged> m_vExchanges;
};

struct ListenerCall {
    int listener;
    unsigned long handle;
    unsigned long state;
    unsigned long reading;
    // The cache's entry when the listener ran: it is written first.
    bool found;
    LONG cachedState;
    LONG cachedReading;
    bool operator==(const ListenerCall& other) const {
        return listener == other.listener && handle == other.handle && state == other.state &&
               reading == other.reading && found == other.found &&
               cachedState == other.cachedState && cachedReading == other.cachedReading;
    }
};

std::vector<ListenerCall> g_vCalls;
size_t g_nCallsChecked = 0;
const CDataCache* g_pCache = nullptr;

class CFuzzListener final : public ISensorStateListener {
public:
    explicit CFuzzListener(int id) : m_nId(id) {}
    void OnSensorStateChange(unsigned long handle, unsigned long state,
                             unsigned long reading) override {
        ListenerCall call{m_nId, handle, state, reading, false, 0, 0};
        call.found = g_pCache->GetSensorValues(handle, call.cachedState, call.cachedReading) ==
                     ServiceCode_Success;
        g_vCalls.push_back(call);
    }

private:
    int m_nId;
};

// The model. Fixed-size, so that an input allocates nothing for it: the
// sensor indexes of a machine are below kMaxSensors, and it has at most
// kMaxLeds LEDs.
constexpr unsigned kMaxSensors = 20;
constexpr unsigned kMaxLeds = 18;

struct SensorModel {
    bool present = false;
    LONG state = 0;
    LONG reading = 0;
};

struct KindModel {
    uint8_t command;
    bool wide;
    LONG scale;
    std::array<SensorModel, kMaxSensors> entries{};
    size_t count = 0;
    DWORD lastUpdate = 0;
    uint16_t alertBits = 0;

    SensorModel* Find(unsigned index) {
        return index < kMaxSensors && entries[index].present ? &entries[index] : nullptr;
    }
};

struct LedModel {
    unsigned short mask;
    bool state;
};

// Reused from input to input (Reset) so that the expected calls keep their
// capacity.
struct Model {
    std::array<KindModel, 3> kinds{{{kSvcpReadVoltages, true, 10, {}, 0, 0, 0},
                                    {kSvcpReadFans, true, 1, {}, 0, 0, 0},
                                    {kSvcpReadTemperatures, false, 10, {}, 0, 0, 0}}};
    std::array<LedModel, kMaxLeds> leds{};  // ascending masks
    size_t ledCount = 0;
    DWORD ledUpdate = 0;
    std::array<int, 3> listeners{};  // registration order
    size_t listenerCount = 0;
    std::vector<ListenerCall> calls;

    void Reset(DWORD built) {
        for (KindModel& kind : kinds) {
            kind.entries.fill(SensorModel());
            kind.count = 0;
            kind.lastUpdate = built;
            kind.alertBits = 0;
        }
        ledCount = 0;
        ledUpdate = built;
        listenerCount = 0;
        calls.clear();
    }
    // As the map does it: a mask already present is refused.
    void AddLed(unsigned short mask) {
        size_t at = 0;
        while (at < ledCount && leds[at].mask < mask) {
            ++at;
        }
        if (at < ledCount && leds[at].mask == mask) {
            return;
        }
        for (size_t i = ledCount; i > at; --i) {
            leds[i] = leds[i - 1];
        }
        leds[at] = {mask, false};
        ++ledCount;
    }
    LedModel* FindLed(unsigned short mask) {
        for (size_t i = 0; i < ledCount; ++i) {
            if (leds[i].mask == mask) {
                return &leds[i];
            }
        }
        return nullptr;
    }
    void Register(int id) {
        for (size_t i = 0; i < listenerCount; ++i) {
            if (listeners[i] == id) {
                return;
            }
        }
        listeners[listenerCount++] = id;
    }
    void Unregister(int id) {
        size_t kept = 0;
        for (size_t i = 0; i < listenerCount; ++i) {
            if (listeners[i] != id) {
                listeners[kept++] = listeners[i];
            }
        }
        listenerCount = kept;
    }
};

bool IsStale(DWORD last, DWORD now) {
    const DWORD distance = now >= last ? now - last : last - now;
    return distance >= 500;
}

unsigned BE16At(const std::array<uint8_t, 96>& packet, size_t offset) {
    return (static_cast<unsigned>(packet[offset]) << 8) | packet[offset + 1];
}

uint32_t AlertFlag(const std::array<uint8_t, 96>& packet) {
    uint32_t flag = 0;
    std::memcpy(&flag, &packet[88], 4);
    return flag;
}

bool PassesCheck(const std::array<uint8_t, 96>& packet) {
    const unsigned count = packet[81];
    const unsigned length = packet[17];
    if (count > 64 || (AlertFlag(packet) != 0 && count < 5) || length < 2 || length > 63) {
        return false;
    }
    unsigned sum = 0;
    for (unsigned offset = 18; offset <= 17 + length; ++offset) {
        sum += packet[offset];
    }
    return (sum & 0xFF) == 0;
}

// The request every exchange must carry.
void CheckRequest(const std::array<uint8_t, 96>& request, uint8_t command, bool poll) {
    std::array<uint8_t, 96> expected{};
    expected[0] = 2;
    expected[1] = command;
    expected[2] = static_cast<uint8_t>(0x100u - command);
    expected[16] = 3;
    expected[84] = poll ? 1 : 0;
    const uint32_t portBase = 0x2B0;
    std::memcpy(&expected[92], &portBase, 4);
    if (request != expected) {
        Diverged("request for command 0x%02x is not as built", command);
    }
}

// A read of one sensor kind after an exchange.
void ModelSensorRead(KindModel& kind, const Exchanged& exchanged, DWORD now) {
    const std::array<uint8_t, 96>& p = exchanged.packet;
    if (exchanged.failed || p[81] < 3 || !PassesCheck(p) || p[18] != kind.command) {
        return;
    }
    const int count = p[81];
    const int readings = kind.wide ? (count - 2) / 2 : count - 3;
    for (int i = 0; i < readings; ++i) {
        const unsigned raw = kind.wide ? BE16At(p, 19 + 2 * static_cast<size_t>(i)) : p[19 + i];
        if (SensorModel* entry = kind.Find(static_cast<unsigned>(i))) {
            entry->reading = static_cast<LONG>(raw) * kind.scale;
        }
    }
    kind.lastUpdate = now;
}

void ModelLedRead(Model& model, const Exchanged& exchanged, DWORD now) {
    const std::array<uint8_t, 96>& p = exchanged.packet;
    if (exchanged.failed || p[81] < 3 || !PassesCheck(p) || p[18] != kSvcpReadLeds) {
        return;
    }
    const unsigned word = BE16At(p, 19);
    if (model.ledCount <= 16) {
        for (size_t i = 0; i < model.ledCount; ++i) {
            model.leds[i].state = (word & model.leds[i].mask) != 0;
        }
    }
    model.ledUpdate = now;
}

void ModelPoll(Model& model, const Exchanged& exchanged) {
    const std::array<uint8_t, 96>& p = exchanged.packet;
    if (exchanged.failed || AlertFlag(p) == 0 || p[81] < 3 || !PassesCheck(p)) {
        return;
    }
    size_t which = 0;
    switch (p[18]) {
        case kSvcpReadVoltages:
            which = 0;
            break;
        case kSvcpReadFans:
            which = 1;
            break;
        case kSvcpReadTemperatures:
            which = 2;
            break;
        default:
            return;
    }
    KindModel& kind = model.kinds[which];
    const int length = p[17];
    const int count = p[81];
    const int expected = length < 4 ? -1 : (kind.wide ? (length - 4) / 2 : length - 4);
    const int collected = count <= 5 ? 0 : (kind.wide ? (count - 4) / 2 : count - 5);
    if (collected != expected) {
        return;
    }
    const unsigned newMask = BE16At(p, 19);
    const unsigned oldMask = kind.alertBits;
    kind.alertBits = static_cast<uint16_t>(newMask);
    for (int i = 0; i < expected; ++i) {
        const unsigned raw = kind.wide ? BE16At(p, 21 + 2 * static_cast<size_t>(i)) : p[21 + i];
        const LONG cached = static_cast<LONG>(raw) * kind.scale;
        const unsigned short index = static_cast<unsigned short>(i);
        SensorModel* entry = kind.Find(index);
        const bool newBit = i < 16 && ((newMask >> i) & 1) != 0;
        const bool oldBit = i < 16 && ((oldMask >> i) & 1) != 0;
        if (newBit == oldBit) {
            if (entry != nullptr) {
                entry->reading = cached;
            }
            continue;
        }
        const LONG state = newBit ? 1 : 0;
        if (entry != nullptr) {
            entry->state = state;
            entry->reading = cached;
        }
        const unsigned long handle = ((static_cast<unsigned long>(which) + 1) << 16) | index;
        for (size_t l = 0; l < model.listenerCount; ++l) {
            model.calls.push_back({model.listeners[l], handle, static_cast<unsigned long>(state),
                                   raw, entry != nullptr, entry != nullptr ? entry->state : 0,
                                   entry != nullptr ? entry->reading : 0});
        }
    }
}

// Everything the library holds against the model. The maps are walked
// directly, in key order, so the key sets are compared too and no lookup
// of the read path is needed (the steps' reads do those).
void Compare(const CDataCache& cache, const Model& model, const char* step) {
    const CSensorMap* maps[3] = {&cache.m_VoltageMap, &cache.m_FanMap, &cache.m_TemperatureMap};
    for (size_t k = 0; k < 3; ++k) {
        const KindModel& kind = model.kinds[k];
        if (maps[k]->m_dwLastUpdate.load() != kind.lastUpdate) {
            Diverged("%s: kind %zu last update %u, model %u", step, k + 1,
                     static_cast<unsigned>(maps[k]->m_dwLastUpdate.load()),
                     static_cast<unsigned>(kind.lastUpdate));
        }
        if (maps[k]->m_wLastAlertBits.load() != kind.alertBits) {
            Diverged("%s: kind %zu alert bits 0x%04x, model 0x%04x", step, k + 1,
                     maps[k]->m_wLastAlertBits.load(), kind.alertBits);
        }
        if (maps[k]->size() != kind.count) {
            Diverged("%s: kind %zu has %zu entries, model %zu", step, k + 1, maps[k]->size(),
                     kind.count);
        }
        unsigned index = 0;
        for (const auto& entry : *maps[k]) {
            while (index < kMaxSensors && !kind.entries[index].present) {
                ++index;
            }
            const unsigned long handle = ((k + 1) << 16) | entry.first;
            if (index >= kMaxSensors || entry.first != index) {
                Diverged("%s: sensor 0x%05lx is not in the model", step, handle);
            }
            LONG state = -7;
            LONG reading = -7;
            entry.second.GetValues(state, reading);
            const SensorModel& expected = kind.entries[index];
            if (state != expected.state || reading != expected.reading) {
                Diverged("%s: sensor 0x%05lx is %d/%d, model %d/%d", step, handle,
                         static_cast<int>(state), static_cast<int>(reading),
                         static_cast<int>(expected.state), static_cast<int>(expected.reading));
            }
            ++index;
        }
    }
    if (cache.m_LedMap.m_dwLastUpdate.load() != model.ledUpdate) {
        Diverged("%s: LED last update %u, model %u", step,
                 static_cast<unsigned>(cache.m_LedMap.m_dwLastUpdate.load()),
                 static_cast<unsigned>(model.ledUpdate));
    }
    if (cache.m_LedMap.size() != model.ledCount) {
        Diverged("%s: %zu LEDs, model %zu", step, cache.m_LedMap.size(), model.ledCount);
    }
    size_t i = 0;
    for (const auto& led : cache.m_LedMap) {
        const bool state = led.second.m_bState.load();
        if (led.first != model.leds[i].mask || state != model.leds[i].state) {
            Diverged("%s: LED 0x%04x is %d, model LED 0x%04x %d", step, led.first, state ? 1 : 0,
                     model.leds[i].mask, model.leds[i].state ? 1 : 0);
        }
        ++i;
    }
    // The calls up to the last step are already known to agree.
    if (g_vCalls.size() != model.calls.size() ||
        !std::equal(g_vCalls.begin() + static_cast<std::ptrdiff_t>(g_nCallsChecked), g_vCalls.end(),
                    model.calls.begin() + static_cast<std::ptrdiff_t>(g_nCallsChecked))) {
        Diverged("%s: %zu listener calls, model %zu%s", step, g_vCalls.size(), model.calls.size(),
                 g_vCalls.size() == model.calls.size() ? " (different arguments or order)" : "");
    }
    g_nCallsChecked = g_vCalls.size();
}

svcp::DeviceRegistration g_Registration = 0;
std::shared_ptr<CFuzzDriver> g_pDriver;

// Built once per process: a unit per input would create its polling thread
// per input, which cost several times what the input itself does. Every input
// starts from the state a freshly built unit and cache have (ReopenCache, no
// listener), and leaves nothing behind for the next one.
CDataCache* g_pTheCache = nullptr;
CIOUnit* g_pUnit = nullptr;
CFuzzListener g_aListeners[3] = {CFuzzListener(0), CFuzzListener(1), CFuzzListener(2)};
Model g_Model;

// The cache as its construction leaves it: empty, open, masks 0, every kind
// stamped with the tick now. Only the public members start-up and the I/O
// unit use anyway.
void ReopenCache(CDataCache& cache) {
    const DWORD now = GetTickCount();
    CSensorMap* maps[3] = {&cache.m_VoltageMap, &cache.m_FanMap, &cache.m_TemperatureMap};
    for (CSensorMap* map : maps) {
        map->clear();
        map->m_wLastAlertBits = 0;
        map->m_dwLastUpdate = now;
    }
    cache.m_LedMap.clear();
    cache.m_LedMap.m_dwLastUpdate = now;
    cache.m_bLocked = false;
}

void ForgetInput(CDataCache& cache) {
    for (CFuzzListener& listener : g_aListeners) {
        g_pUnit->UnregisterSensorStateListener(&listener);
    }
    ReopenCache(cache);
    // The calls keep their capacity: an input that allocates no more than it
    // frees is not run again by libFuzzer's leak check.
    g_vCalls.clear();
    g_nCallsChecked = 0;
}

// The one exchange a step that finds its kind stale must make.
const Exchanged& TakeOne(const char* what, unsigned long handle) {
    if (g_pDriver->Count() != 1) {
        Diverged("%s(0x%05lx) made %zu exchanges, model 1", what, handle, g_pDriver->Count());
    }
    return g_pDriver->At(0);
}

// ReadSensor on (kind, index) against the model; the number of exchanges the
// model expects goes to `exchanges`.
void ReadSensorStep(Model& model, unsigned kindNumber, unsigned index, DWORD now,
                    size_t& exchanges) {
    const unsigned long handle = (static_cast<unsigned long>(kindNumber) << 16) | index;
    CSensorReading reading{};
    reading.CurrentState = 0xDEADu;
    reading.CurrentReading = 0xBEEFu;
    const SERVICE_CODE result = g_pUnit->ReadSensor(handle, reading);
    SERVICE_CODE expected = ServiceCode_InvalidHandle;
    if (kindNumber >= 1 && kindNumber <= 3) {
        KindModel& kind = model.kinds[kindNumber - 1];
        if (IsStale(kind.lastUpdate, now)) {
            exchanges = 1;
            const Exchanged& made = TakeOne("ReadSensor", handle);
            CheckRequest(made.request, kind.command, false);
            ModelSensorRead(kind, made, now);
        }
        if (const SensorModel* entry = kind.Find(index)) {
            expected = ServiceCode_Success;
            if (result == ServiceCode_Success &&
                (reading.CurrentReading != static_cast<uint32_t>(entry->reading) ||
                 reading.CurrentState != static_cast<uint32_t>(entry->state))) {
                Diverged("ReadSensor(0x%05lx) gave %u/%u, model %d/%d", handle,
                         reading.CurrentState, reading.CurrentReading,
                         static_cast<int>(entry->state), static_cast<int>(entry->reading));
            }
        }
    }
    if (result != expected) {
        Diverged("ReadSensor(0x%05lx) returned %d, model %d", handle, result, expected);
    }
    if (result != ServiceCode_Success &&
        (reading.CurrentReading != 0xBEEFu || reading.CurrentState != 0xDEADu)) {
        Diverged("ReadSensor(0x%05lx) refused but wrote the record", handle);
    }
}

void ReadLedStep(Model& model, unsigned long kind, unsigned index, DWORD now, size_t& exchanges) {
    const unsigned long handle = (kind << 16) | index;
    CLedReading reading{0xA5};
    const SERVICE_CODE result = g_pUnit->ReadLed(handle, reading);
    SERVICE_CODE expected = ServiceCode_InvalidHandle;
    if (kind == 4) {
        if (IsStale(model.ledUpdate, now)) {
            exchanges = 1;
            const Exchanged& made = TakeOne("ReadLed", handle);
            CheckRequest(made.request, kSvcpReadLeds, false);
            ModelLedRead(model, made, now);
        }
        if (const LedModel* led = model.FindLed(static_cast<unsigned short>(index))) {
            expected = ServiceCode_Success;
            if (result == ServiceCode_Success && reading.State != (led->state ? 1 : 0)) {
                Diverged("ReadLed(0x%05lx) gave %u, model %d", handle, reading.State,
                         led->state ? 1 : 0);
            }
        }
    }
    if (result != expected) {
        Diverged("ReadLed(0x%05lx) returned %d, model %d", handle, result, expected);
    }
    if (result != ServiceCode_Success && reading.State != 0xA5) {
        Diverged("ReadLed(0x%05lx) refused but wrote the record", handle);
    }
}

// After a step: no exchange beyond those the model expects, and every value
// as the model says.
void EndStep(const CDataCache& cache, const Model& model, const char* name, size_t exchanges) {
    if (g_pDriver->Count() != exchanges) {
        Diverged("%s made %zu exchanges, model %zu", name, g_pDriver->Count(), exchanges);
    }
    g_pDriver->Clear();
    Compare(cache, model, name);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Only this driver: not the devices a simulator on this machine serves.
    setenv("SVCP_DEVICE_DIR", "", 1);
    LogSetLevel(0);
    LogSetFile("none");
    g_pDriver = std::make_shared<CFuzzDriver>();
    g_Registration =
        svcp::RegisterDevice(kGuidKsvcpInterface, L"\\\\?\\ROOT#FUZZ#0000#{io}", g_pDriver);
    if (g_Registration == 0) {
        std::fprintf(stderr, "io_response_fuzzer: cannot register the driver\n");
        std::abort();
    }

    // Start-up once, as the service processor does it: the cache filled
    // (here with nothing) and locked, then the unit initialised, which opens
    // the driver, creates the idle polling thread and reads every kind once,
    // in order. The thread is never told to run: the steps poll directly.
    g_pTheCache = new CDataCache();
    g_pCache = g_pTheCache;
    g_pTheCache->m_bLocked = true;
    g_pUnit = new CIOUnit(g_pTheCache);
    CCursor nothing(nullptr, 0);  // every exchange fails
    g_pDriver->Begin(&nothing);
    if (!g_pUnit->Initialise(0x2B0)) {
        Diverged("Initialise failed");
    }
    const uint8_t commands[4] = {kSvcpReadVoltages, kSvcpReadFans, kSvcpReadTemperatures,
                                 kSvcpReadLeds};
    if (g_pDriver->Count() != 4) {
        Diverged("Initialise made %zu exchanges", g_pDriver->Count());
    }
    for (size_t k = 0; k < 4; ++k) {
        CheckRequest(g_pDriver->At(k).request, commands[k], false);
    }
    g_pDriver->Clear();
    // The unit goes first: its destructor ends the polling thread and closes
    // the driver, before the platform's own statics go.
    std::atexit([] {
        delete g_pUnit;
        g_pUnit = nullptr;
        delete g_pTheCache;
        g_pTheCache = nullptr;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CCursor in(data, size);
    const unsigned counts[3] = {in.Byte() % 20u, in.Byte() % 20u, in.Byte() % 20u};
    const unsigned ledCount = in.Byte() % 18u;
    const unsigned skip = in.Byte() % 24u;
    uint32_t tick = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        tick |= static_cast<uint32_t>(in.Byte()) << shift;
    }

    // The cache as start-up leaves it: built (and so stamped) a while before
    // the first reads, filled, locked.
    const DWORD built = tick - 500u;
    SvcpSetTickCount(built);
    CDataCache& cache = *g_pTheCache;
    ReopenCache(cache);
    Model& model = g_Model;
    model.Reset(built);
    for (size_t k = 0; k < 3; ++k) {
        for (unsigned i = 0; i < counts[k]; ++i) {
            if (i == skip) {
                continue;
            }
            const unsigned short index = static_cast<unsigned short>(i);
            if (k == 0) {
                cache.AddVoltage(CSensorInformation(), index);
            } else if (k == 1) {
                cache.AddFan(CSensorInformation(), index);
            } else {
                cache.AddTemperature(CSensorInformation(), index);
            }
            model.kinds[k].entries[index].present = true;
            ++model.kinds[k].count;
        }
    }
    for (unsigned j = 0; j < ledCount; ++j) {
        const uint16_t mask = in.BE16();
        CLedInformation led;
        led.BitMap = mask;
        cache.AddLed(led, mask);
        model.AddLed(mask);
    }
    cache.m_bLocked = true;
    Compare(cache, model, "start");

    // The first reads, one of each kind in start-up's order, each finding its
    // kind stale: they take the input's first four answers.
    SvcpSetTickCount(tick);
    g_pDriver->Begin(&in);
    for (unsigned kindNumber = 1; kindNumber <= 3; ++kindNumber) {
        size_t exchanges = 0;
        ReadSensorStep(model, kindNumber, 0, tick, exchanges);
        EndStep(cache, model, "first ReadSensor", exchanges);
    }
    {
        size_t exchanges = 0;
        ReadLedStep(model, 4, 0, tick, exchanges);
        EndStep(cache, model, "first ReadLed", exchanges);
    }

    unsigned steps = 0;
    while (!in.AtEnd() && steps < 4096) {
        ++steps;
        const uint8_t opByte = in.Byte();
        const DWORD now = GetTickCount();
        const char* name = "";
        size_t exchanges = 0;
        switch (opByte % Op_Count) {
            case Op_ReadSensor: {
                name = "ReadSensor";
                const unsigned kindNumber = in.Byte() % 6u;
                ReadSensorStep(model, kindNumber, in.Byte(), now, exchanges);
                break;
            }
            case Op_ReadLed: {
                name = "ReadLed";
                const unsigned long kind = (opByte & 0x80) ? 3 : 4;
                ReadLedStep(model, kind, in.BE16(), now, exchanges);
                break;
            }
            case Op_PollAlerts: {
                name = "PollAlerts";
                g_pUnit->PollAlerts();
                exchanges = 1;
                if (g_pDriver->Count() != 1) {
                    Diverged("PollAlerts made %zu exchanges", g_pDriver->Count());
                }
                CheckRequest(g_pDriver->At(0).request, kSvcpPollAlerts, true);
                ModelPoll(model, g_pDriver->At(0));
                break;
            }
            case Op_Advance: {
                name = "Advance";
                DWORD milliseconds = in.BE16();
                if (opByte & 0x80) {
                    milliseconds <<= 16;
                }
                SvcpAdvanceTickCount(milliseconds);
                break;
            }
            case Op_Register: {
                name = "Register";
                const int id = in.Byte() % 3;
                g_pUnit->RegisterSensorStateListener(&g_aListeners[id]);
                model.Register(id);
                break;
            }
            case Op_Unregister: {
                name = "Unregister";
                const int id = in.Byte() % 3;
                g_pUnit->UnregisterSensorStateListener(&g_aListeners[id]);
                model.Unregister(id);
                break;
            }
        }
        EndStep(cache, model, name, exchanges);
    }
    ForgetInput(cache);
    return 0;
}
