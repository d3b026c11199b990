#include "support/process/SimulatorProcess.h"

#include <csignal>
#include <chrono>

namespace {

constexpr std::chrono::seconds kServingWithin(20);
constexpr std::chrono::seconds kEndsWithin(10);

}  // namespace

CSimulatorProcess::CSimulatorProcess(std::string program)
    : m_sProgram(std::move(program)), m_pProcess(std::make_unique<CChildProcess>()) {}

bool CSimulatorProcess::Launch(const std::vector<std::string>& arguments) {
    if (Directory().empty()) {
        return false;
    }
    m_pProcess = std::make_unique<CChildProcess>();
    std::vector<std::string> argv = {m_sProgram, "--device-dir", Directory()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return m_pProcess->Start(argv);
}

bool CSimulatorProcess::Start(const std::vector<std::string>& arguments) {
    return Launch(arguments) && m_pProcess->WaitForLine("svcproc-sim: serving", kServingWithin);
}

int CSimulatorProcess::Kill() {
    m_pProcess->Signal(SIGKILL);
    return m_pProcess->Wait(kEndsWithin);
}

int CSimulatorProcess::Stop() {
    m_pProcess->Signal(SIGTERM);
    return m_pProcess->Wait(kEndsWithin);
}

std::vector<std::string> CSimulatorProcess::Environment() const {
    return {"SVCP_DEVICE_DIR=" + Directory()};
}
