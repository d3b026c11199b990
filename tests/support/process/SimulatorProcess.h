// svcproc-sim as a process of its own, serving a device directory of its
// own; started again on demand, on the same directory.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/process/ChildProcess.h"
#include "TempDirectory.h"

class CSimulatorProcess {
public:
    // `program`: the path of svcproc-sim.
    explicit CSimulatorProcess(std::string program);

    // Starts it with `arguments` after the device directory; true once it
    // says it serves.
    bool Start(const std::vector<std::string>& arguments = {"--quiet"});
    // Starts it without waiting.
    bool Launch(const std::vector<std::string>& arguments = {"--quiet"});
    // SIGKILL, as a crash: the server leaves its socket behind. The exit
    // status (Wait).
    int Kill();
    // SIGTERM; the exit status (Wait).
    int Stop();

    const std::string& Directory() const { return m_Directory.Path(); }
    // What points a client process at this simulator.
    std::vector<std::string> Environment() const;
    CChildProcess& Process() { return *m_pProcess; }

private:
    std::string m_sProgram;
    CTempDirectory m_Directory{"svcp-sim"};
    std::unique_ptr<CChildProcess> m_pProcess;
};
