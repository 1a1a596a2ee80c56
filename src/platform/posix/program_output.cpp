// Short programs run to their end, their output taken whole.
#include "platform/posix/program_output.h"

#include "platform/posix/posix_processes.h"

#include <sys/wait.h>

#include <cerrno>
#include <cstring>

namespace platform {

bool RunProgram(const std::vector<std::string>& argv, std::string& output, int& status) {
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
    error = processes.Start(argv, writeEnd, pid);
    processes.Close(writeEnd);
    if (error != 0) {
        processes.Close(readEnd);
        output = argv.front() + ": " + std::strerror(error);
        return false;
    }
    char buffer[4096];
    long got = 0;
    while ((got = processes.Read(readEnd, buffer, sizeof buffer)) > 0) {
        if (output.size() < kMaxProgramOutput) {
            output.append(buffer, static_cast<size_t>(got));
        }
    }
    processes.Close(readEnd);
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0) {
        if (errno != EINTR) {
            return true;
        }
    }
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
    return true;
}

} // namespace platform
