// The operating-system operations behind the child process runner: an output pipe, starting a
// program on it, reading, closing and reaping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A process as it can be recognised again later, by another program too: its id, its start
// time in clock ticks after boot, and the boot it belongs to (ids and ticks repeat after a
// reboot).
struct ProcessIdentity {
    int pid = -1;
    uint64_t startTicks = 0;
    std::string bootId;
};

// Error codes are the system's error numbers (errno values); 0 means success.
class Processes {
public:
    virtual ~Processes() = default;

    // Creates a pipe whose two ends are closed on exec. On success sets both descriptors and
    // returns 0; otherwise returns the error and sets nothing.
    virtual int CreatePipe(int& readEnd, int& writeEnd) = 0;

    // Starts the program `argv[0]` with arguments `argv` directly (no shell), with standard
    // input from the null device and standard output and standard error both on `outputFd`;
    // the child inherits no other descriptor, the caller's environment and working folder,
    // and default signal handling. A program name without "/" is searched in PATH. On success
    // sets `pid` and returns 0; otherwise returns the error (ENOENT, EACCES, ENOEXEC, ...).
    // Thread-safe. `argv` must not be empty.
    virtual int Start(const std::vector<std::string>& argv, int outputFd, int& pid) = 0;

    // Reads up to `size` bytes, retrying on interruption. Returns the number read (> 0), 0 at
    // the end of the pipe, or minus the error.
    virtual long Read(int fd, char* buffer, size_t size) = 0;

    // Closes a descriptor created here.
    virtual void Close(int fd) = 0;

    // Waits for the child `pid` to end and releases it, so that it leaves no zombie.
    virtual void Reap(int pid) = 0;

    // As Start, with the child leading a process group of its own (so that the group can be
    // signalled as a whole, and a terminal's signals for this program do not reach it) and
    // with its output going to `outputFd`, which may be a file. The default starts it as Start
    // does.
    virtual int StartInOwnGroup(const std::vector<std::string>& argv, int outputFd, int& pid) {
        return Start(argv, outputFd, pid);
    }

    // True when the child `pid` has ended; it is reaped then. Does not wait.
    virtual bool TryReap(int pid) = 0;

    // Sends `signal` to the process group led by `pid`. Returns 0 or the error.
    virtual int SignalGroup(int pid, int signal) = 0;

    // Fills `identity` for the running process `pid`; false when there is none.
    virtual bool Identify(int pid, ProcessIdentity& identity) = 0;

    // True while the process `identity` names is still there (not ended, not a zombie): the
    // same id, start time and boot.
    virtual bool IsRunning(const ProcessIdentity& identity) = 0;
};

} // namespace platform
