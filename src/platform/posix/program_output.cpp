// Short programs run to their end, their output taken whole.
#include "platform/posix/program_output.h"

#include "platform/posix/posix_processes.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace platform {

bool RunProgram(const std::vector<std::string>& argv, std::string& output, int& status,
                int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    output.clear();
    status = -1;
    PosixProcesses processes;
    int readEnd = -1;
    int writeEnd = -1;
    int error = processes.CreatePipe(readEnd, writeEnd);
    if (error != 0) {
        output = std::strerror(error);
        return false;
    }
    int pid = -1;
    // In a group of its own, so that a program given up ends with whatever it started.
    error = processes.StartInOwnGroup(argv, writeEnd, pid);
    processes.Close(writeEnd);
    if (error != 0) {
        processes.Close(readEnd);
        output = argv.front() + ": " + std::strerror(error);
        return false;
    }
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool killed = false;
    char buffer[4096];
    while (true) {
        if (timeoutMs > 0 && !killed) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd ready{readEnd, POLLIN, 0};
            int got = left.count() > 0 ? ::poll(&ready, 1, static_cast<int>(left.count())) : 0;
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got == 0) {
                // Its time is up: its whole group ends (a child of it may hold the pipe).
                ::kill(-pid, SIGKILL);
                killed = true;
                break;
            }
        }
        long read = processes.Read(readEnd, buffer, sizeof buffer);
        if (read <= 0) {
            break;
        }
        if (output.size() < kMaxProgramOutput) {
            output.append(buffer, static_cast<size_t>(read));
        }
    }
    processes.Close(readEnd);
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0) {
        if (errno != EINTR) {
            return !killed;
        }
    }
    if (killed) {
        std::string said = output.substr(0, output.find('\n'));
        output = argv.front() + ": no answer within " +
                 (timeoutMs % 1000 == 0 ? std::to_string(timeoutMs / 1000) + " s"
                                        : std::to_string(timeoutMs) + " ms") +
                 (said.empty() ? std::string() : " (" + said + ")");
        return false;
    }
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
    return true;
}

} // namespace platform
