// One run of the monitor (or, with --listen, the exporter) with its output
// captured: start-up answers `startup`, and the run is stopped before it
// would wait.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

#include "exporter/Exporter.h"
#include "run/Monitor.h"
#include "run/MonitorOptions.h"
#include "support/FileContents.h"

struct CapturedRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline CapturedRun RunCaptured(const MonitorOptions& options, SERVICE_CODE startup) {
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    MonitorStreams streams;
    streams.out = out;
    streams.err = err;
    MonitorHooks hooks = DefaultMonitorHooks();
    hooks.initialise = [startup] { return startup; };
    const std::atomic<bool> stop{true};
    CapturedRun run;
    run.status = options.listen.empty() ? RunMonitor(options, streams, stop, hooks)
                                        : RunExporter(options, streams, stop, hooks);
    run.out = FileContents(out);
    run.err = FileContents(err);
    std::fclose(out);
    std::fclose(err);
    return run;
}
