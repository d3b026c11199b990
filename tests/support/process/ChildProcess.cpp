#include "support/process/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

CChildProcess::~CChildProcess() {
    if (m_Pid > 0) {
        kill(m_Pid, SIGKILL);
        waitpid(m_Pid, nullptr, 0);
    }
    for (int fd : {m_OutFd, m_ErrFd}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool CChildProcess::Start(const std::vector<std::string>& argv,
                          const std::vector<std::string>& environment) {
    std::vector<std::string> variables = environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('=') + 1);
        bool replaced = false;
        for (const std::string& given : environment) {
            replaced = replaced || given.compare(0, name.size(), name) == 0;
        }
        if (!replaced) {
            variables.push_back(variable);
        }
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& variable : variables) {
        env.push_back(const_cast<char*>(variable.c_str()));
    }
    env.push_back(nullptr);

    int out[2];
    int err[2];
    if (pipe(out) != 0 || pipe(err) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    for (int fd : {out[0], out[1], err[0], err[1]}) {
        posix_spawn_file_actions_addclose(&actions, fd);
    }
    const int spawned = posix_spawn(&m_Pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    m_OutFd = out[0];
    m_ErrFd = err[0];
    for (int fd : {m_OutFd, m_ErrFd}) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    if (spawned != 0) {
        m_Pid = -1;
        return false;
    }
    return true;
}

bool CChildProcess::Pump(std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{m_OutFd, POLLIN, 0}, {m_ErrFd, POLLIN, 0}};
    if (m_OutFd < 0 && m_ErrFd < 0) {
        return false;
    }
    const int ready = poll(fds, 2, static_cast<int>(timeout.count()));
    if (ready <= 0) {
        return ready == 0 || errno == EINTR;
    }
    int* fdsOwned[2] = {&m_OutFd, &m_ErrFd};
    std::string* texts[2] = {&m_sOut, &m_sErr};
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0) {
            texts[i]->append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            close(*fdsOwned[i]);
            *fdsOwned[i] = -1;
        }
    }
    return m_OutFd >= 0 || m_ErrFd >= 0;
}

bool CChildProcess::WaitForLine(const std::string& text, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (true) {
        const size_t end = m_sOut.rfind('\n');
        if (end != std::string::npos && end + 1 > m_nSearched) {
            const size_t found = m_sOut.find(text, m_nSearched);
            if (found != std::string::npos && found < end) {
                // The lines after the one found may have come in the same read.
                m_nSearched = m_sOut.find('\n', found) + 1;
                return true;
            }
            m_nSearched = end + 1;
        }
        if (Clock::now() >= deadline ||
            !Pump(std::chrono::milliseconds(MillisecondsUntil(deadline)))) {
            return false;
        }
    }
}

void CChildProcess::Signal(int signal) {
    if (m_Pid > 0) {
        kill(m_Pid, signal);
    }
}

int CChildProcess::Wait(std::chrono::milliseconds timeout) {
    if (m_Pid <= 0) {
        return -1;  // waitpid and kill would take -1 as every child, every process
    }
    const Clock::time_point deadline = Clock::now() + timeout;
    while (Clock::now() < deadline &&
           Pump(std::chrono::milliseconds(MillisecondsUntil(deadline)))) {
    }
    int status = 0;
    pid_t reaped = 0;
    while ((reaped = waitpid(m_Pid, &status, WNOHANG)) == 0 && Clock::now() < deadline) {
        poll(nullptr, 0, 10);  // the streams have ended; the exit follows
    }
    if (reaped != m_Pid) {
        kill(m_Pid, SIGKILL);
        waitpid(m_Pid, nullptr, 0);
        m_Pid = -1;
        return -1;
    }
    m_Pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
