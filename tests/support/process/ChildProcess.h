// A program run as a child process for tests: its standard output and error
// captured, its lines awaited with a deadline, signals sent to it.
//
// Used from one thread. The destructor kills (SIGKILL) and reaps a child
// still running, so a failing test leaves no process behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class CChildProcess {
public:
    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Runs argv[0] with `argv`; `environment` entries ("NAME=value") are
    // added to this process's environment, replacing a variable of the same
    // name. False when the program cannot be started.
    bool Start(const std::vector<std::string>& argv,
               const std::vector<std::string>& environment = {});

    // Reads the output until a line containing `text` has arrived (true), or
    // until the timeout or the end of the output (false). The search starts
    // after the line an earlier call found, or after the lines it searched
    // in vain.
    bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout);

    void Signal(int signal);

    // Reads both streams to their end and reaps the child: its exit status,
    // 128 + the signal that ended it, or -1 when it had not ended within the
    // timeout (it is then killed).
    int Wait(std::chrono::milliseconds timeout);

    const std::string& Out() const { return m_sOut; }
    const std::string& Err() const { return m_sErr; }
    pid_t Pid() const { return m_Pid; }

private:
    // Reads what is available within the timeout; false at the end of both
    // streams.
    bool Pump(std::chrono::milliseconds timeout);

    pid_t m_Pid = -1;
    int m_OutFd = -1;
    int m_ErrFd = -1;
    std::string m_sOut;
    std::string m_sErr;
    size_t m_nSearched = 0;  // of m_sOut: where the next search starts
};
