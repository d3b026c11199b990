// The logging library's cost per line: lines of level 4 written to a file,
// as a trace at level 4 writes the library's entry and exit lines, and the
// cost of a line the level filters out.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "LogControl.h"
#include "svcproc/logging/Log.h"

namespace {

// The file the written lines go to, emptied now and then so that a long run
// does not fill the disk.
class CLogFile {
public:
    CLogFile() {
        const char* directory = std::getenv("TMPDIR");
        m_sPath = std::string(directory != nullptr && directory[0] != '\0' ? directory : "/tmp") +
                  "/svcproc-log-bench-" + std::to_string(getpid()) + ".log";
        Restart();
    }
    ~CLogFile() {
        LogSetFile("none");
        std::remove(m_sPath.c_str());
    }
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Empties the file and makes it the destination again.
    void Restart() {
        LogSetFile("none");
        if (std::FILE* file = std::fopen(m_sPath.c_str(), "wb")) {
            std::fclose(file);
        }
        if (LogSetFile(m_sPath.c_str()) != 0) {
            std::fprintf(stderr, "cannot open %s\n", m_sPath.c_str());
            std::abort();
        }
    }

private:
    std::string m_sPath;
};

CLogFile& File() {
    static CLogFile file;
    return file;
}

// Runs `write` once per iteration with the file at level 4; every 2^16 lines
// (a few MB) the file is emptied, outside the timing.
template <typename Write>
void WriteLines(benchmark::State& state, Write write) {
    if (state.thread_index() == 0) {
        File();
        LogSetLevel(LOG_LEVEL_DEBUG);
    }
    unsigned long count = 0;
    for (auto _ : state) {
        write(count);
        if ((++count & 0xFFFF) == 0 && state.threads() == 1) {
            state.PauseTiming();
            File().Restart();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        LogSetLevel(LOG_LEVEL_ERROR);
    }
}

// An entry line: three numbers, one of them an address.
void BM_LogFileLine(benchmark::State& state) {
    unsigned reading = 0;
    WriteLines(state, [&](unsigned long count) {
        Log(kLogCall, "CServiceProcessor::ReadSensor(0x%08x,0x%08x), m_bInit=%x",
            static_cast<unsigned>(0x20000 + (count & 3)), LogAddress(&reading), 1u);
    });
}
BENCHMARK(BM_LogFileLine)->Threads(1)->Threads(2)->UseRealTime();

// A line with a wide description, encoded to UTF-8.
void BM_WLogFileLine(benchmark::State& state) {
    WriteLines(state, [](unsigned long count) {
        WLog(kLogCall, L"CIOUnit::ProcessAlert - %s reading %d", L"CPU Temperature",
             static_cast<int>(count & 0xFF));
    });
}
BENCHMARK(BM_WLogFileLine)->UseRealTime();

// A fixed text.
void BM_LogQuickFileLine(benchmark::State& state) {
    WriteLines(state, [](unsigned long) { LogQuick(kLogCall, "CIOUnit::ReadLeds"); });
}
BENCHMARK(BM_LogQuickFileLine)->UseRealTime();

// A line of level 4 when only level 1 is written: what every entry and exit
// line costs in an application that does not trace.
void BM_LogFiltered(benchmark::State& state) {
    LogSetLevel(LOG_LEVEL_ERROR);
    unsigned reading = 0;
    for (auto _ : state) {
        Log(kLogCall, "CServiceProcessor::ReadSensor(0x%08x,0x%08x), m_bInit=%x", 0x20001u,
            LogAddress(&reading), 1u);
    }
}
BENCHMARK(BM_LogFiltered);

}  // namespace

BENCHMARK_MAIN();
