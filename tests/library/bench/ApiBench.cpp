// What applications pay: the exported functions on the simulated machine,
// with the tick running as it does in a process (no frozen clock), beside the
// bare std::map find and copy that a cached read can at best be.
//
// At the end each time is given as a multiple of the bare map's, measured in
// the same run, on the same machine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "LogControl.h"
#include "TestMachine.h"
#include "platform_seams.h"
#include "svcproc/api/ServiceApi.h"

namespace {

TestMachine& Machine() {
    // Started once, never stopped: the library stays initialised for the run.
    static TestMachine* machine = [] {
        auto* started = new TestMachine();
        started->Install();
        if (ServiceApi::InitialiseServiceDriver() != ServiceCode_Success) {
            std::fprintf(stderr, "start-up failed\n");
            std::abort();
        }
        return started;
    }();
    return *machine;
}

// The reference: the entry's two numbers found in an ordered map of the size
// of one kind and copied out, as the cache must at least do.
struct Entry {
    int32_t state;
    int32_t reading;
};

void BM_BareMapFindCopy(benchmark::State& state) {
    std::map<unsigned short, Entry> map;
    for (unsigned short i = 0; i < 3; ++i) {
        map[i] = Entry{0, 1000 + i};
    }
    unsigned short key = 1;
    CSensorReading reading{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(key);
        const auto found = map.find(key);
        if (found != map.end()) {
            reading.CurrentReading = static_cast<uint32_t>(found->second.reading);
            reading.CurrentState = static_cast<uint32_t>(found->second.state);
        }
        benchmark::DoNotOptimize(reading);
    }
}
BENCHMARK(BM_BareMapFindCopy)->Threads(1)->Threads(2)->UseRealTime();

void BM_ApiReadSensorCached(benchmark::State& state) {
    Machine();
    CSensorReading reading{};
    const uint32_t before = Machine().Exchanges(0xA2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ServiceApi::ReadSensor(0x20001, reading));
    }
    // About two exchanges a second: the 500 ms window still runs.
    state.counters["exchanges"] = static_cast<double>(Machine().Exchanges(0xA2) - before);
}
BENCHMARK(BM_ApiReadSensorCached)->Threads(1)->Threads(2)->UseRealTime();

void BM_ApiReadLedCached(benchmark::State& state) {
    Machine();
    CLedReading reading{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ServiceApi::ReadLed(0x40002, reading));
    }
}
BENCHMARK(BM_ApiReadLedCached)->Threads(1)->Threads(2)->UseRealTime();

void BM_ApiGetSensorInformation(benchmark::State& state) {
    Machine();
    CSensorInformation information;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ServiceApi::GetSensorInformation(0x10000, information));
    }
}
BENCHMARK(BM_ApiGetSensorInformation)->Threads(1)->Threads(2)->UseRealTime();

// Every read finds its kind 500 ms old: one exchange with the in-process
// simulated service processor each time.
void BM_ApiReadSensorRefreshing(benchmark::State& state) {
    Machine();
    CSensorReading reading{};
    const uint32_t before = Machine().Exchanges(0xA6);
    for (auto _ : state) {
        SvcpAdvanceTickCount(500);
        benchmark::DoNotOptimize(ServiceApi::ReadSensor(0x10001, reading));
    }
    state.counters["exchanges/read"] =
        benchmark::Counter(static_cast<double>(Machine().Exchanges(0xA6) - before),
                           benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ApiReadSensorRefreshing)->UseRealTime();

// The console output, then each benchmark's time over the bare map's with the
// same number of threads.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // With repetitions, the medians; else each run.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!run.error_message.empty() || (run.run_type != Run::RT_Iteration && !median)) {
                continue;
            }
            if (median && !m_bMedians) {
                m_bMedians = true;
                m_vTimes.clear();
            }
            if (median == m_bMedians) {
                m_vTimes.push_back({run.run_name.str(), run.GetAdjustedRealTime(),
                                    run.GetAdjustedCPUTime(), static_cast<int>(run.threads)});
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        // CPU time too: on a machine shared with other work, real time counts
        // the waits for a processor.
        std::printf("\nTime as a multiple of BM_BareMapFindCopy with as many threads%s:\n",
                    m_bMedians ? " (medians)" : "");
        std::printf("  %-48s %8s %8s\n", "", "real", "CPU");
        for (const Timed& timed : m_vTimes) {
            const Timed* bare = nullptr;
            for (const Timed& candidate : m_vTimes) {
                if (candidate.name.rfind("BM_BareMapFindCopy", 0) == 0 &&
                    candidate.threads == timed.threads) {
                    bare = &candidate;
                }
            }
            if (bare != nullptr && bare->time > 0 && bare->cpu > 0) {
                std::printf("  %-48s %8.1f %8.1f\n", timed.name.c_str(), timed.time / bare->time,
                            timed.cpu / bare->cpu);
            }
        }
    }

private:
    struct Timed {
        std::string name;
        double time;
        double cpu;
        int threads;
    };
    std::vector<Timed> m_vTimes;
    bool m_bMedians = false;
};

}  // namespace

int main(int argc, char** argv) {
    // The level applications run with: the per-call lines are filtered, and
    // their calls stay in the measured path.
    LogSetLevel(1);
    LogSetFile("stderr");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    Machine();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
