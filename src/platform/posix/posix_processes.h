// Child processes and pipes on POSIX: pipe2 and posix_spawn, no shell involved.
#pragma once

#include "platform/processes.h"

namespace platform {

// Stateless; one object may serve every runner of the program, from any thread.
class PosixProcesses : public Processes {
public:
    int CreatePipe(int& readEnd, int& writeEnd) override;
    int Start(const std::vector<std::string>& argv, int outputFd, int& pid) override;
    long Read(int fd, char* buffer, size_t size) override;
    void Close(int fd) override;
    void Reap(int pid) override;
    int StartInOwnGroup(const std::vector<std::string>& argv, int outputFd, int& pid) override;
    bool TryReap(int pid) override;
    int SignalGroup(int pid, int signal) override;
    bool Identify(int pid, ProcessIdentity& identity) override;
    bool IsRunning(const ProcessIdentity& identity) override;

private:
    int Spawn(const std::vector<std::string>& argv, int outputFd, bool ownGroup, int& pid);
};

} // namespace platform
