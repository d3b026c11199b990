// The library's hot path: a sensor read answered from the cache, on one and
// on several threads, and a read that refreshes its kind with one exchange.
#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>

#include "LogControl.h"
#include "platform_seams.h"
#include "sim/sp/SimDevice.h"
#include "svcproc/cache/DataCache.h"
#include "svcproc/io/IOUnit.h"

namespace {

struct Machine {
    Machine() {
        LogSetLevel(0);
        SvcpSetTickCount(1000);
        for (unsigned short i = 0; i < 6; ++i) {
            cache.AddVoltage(CSensorInformation(), i);
        }
        cache.m_bLocked = true;
        device = std::make_unique<svcpsim::CSimDevice>(serviceProcessor);
        unit.Initialise(0x2B0);
    }
    CDataCache cache;
    std::shared_ptr<svcpsim::CSimServiceProcessor> serviceProcessor =
        std::make_shared<svcpsim::CSimServiceProcessor>();
    std::unique_ptr<svcpsim::CSimDevice> device;
    CIOUnit unit{&cache};
};

Machine& TheMachine() {
    static Machine* machine = new Machine();
    return *machine;
}

void BM_ReadSensorFromCache(benchmark::State& state) {
    Machine& machine = TheMachine();
    CSensorReading reading{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(machine.unit.ReadSensor(0x10003, reading));
    }
    state.counters["exchanges"] =
        static_cast<double>(machine.serviceProcessor->GetCounters().exchanges[0xA6]);
}
BENCHMARK(BM_ReadSensorFromCache)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

void BM_ReadSensorWithRefresh(benchmark::State& state) {
    Machine& machine = TheMachine();
    CSensorReading reading{};
    for (auto _ : state) {
        SvcpAdvanceTickCount(500);
        benchmark::DoNotOptimize(machine.unit.ReadSensor(0x10003, reading));
    }
}
BENCHMARK(BM_ReadSensorWithRefresh);

}  // namespace

BENCHMARK_MAIN();
