// Child processes and pipes on POSIX: pipe2 with close-on-exec, posix_spawn without a shell.
#include "platform/posix/posix_processes.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

int PosixProcesses::CreatePipe(int& readEnd, int& writeEnd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return errno;
    }
    // With a standard descriptor closed the pipe could land on 0, 1 or 2, where the child's
    // own standard streams are about to be installed; move such an end above them.
    for (int k = 0; k < 2; ++k) {
        if (fds[k] <= 2) {
            int moved = fcntl(fds[k], F_DUPFD_CLOEXEC, 3);
            int error = errno;
            close(fds[k]);
            if (moved < 0) {
                close(fds[1 - k]);
                return error;
            }
            fds[k] = moved;
        }
    }
    readEnd = fds[0];
    writeEnd = fds[1];
    return 0;
}

int PosixProcesses::Start(const std::vector<std::string>& argv, int outputFd, int& pid) {
    return Spawn(argv, outputFd, false, pid);
}

int PosixProcesses::StartInOwnGroup(const std::vector<std::string>& argv, int outputFd, int& pid) {
    return Spawn(argv, outputFd, true, pid);
}

int PosixProcesses::Spawn(const std::vector<std::string>& argv, int outputFd, bool ownGroup,
                          int& pid) {
    if (argv.empty() || argv[0].empty()) {
        return ENOENT;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    int rc = posix_spawn_file_actions_init(&actions);
    if (rc != 0) {
        return rc;
    }
    rc = posix_spawnattr_init(&attr);
    if (rc != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return rc;
    }

    // Standard output and error both become the pipe; every other descriptor the parent may
    // hold without close-on-exec is closed before the program runs.
    rc = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (rc == 0) {
        rc = posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    }
    if (rc == 0) {
        rc = posix_spawn_file_actions_adddup2(&actions, outputFd, 2);
    }
    if (rc == 0) {
        rc = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    }

    // The child starts with no blocked signals and default handling of all of them, whatever
    // the parent (or its test harness) has set up.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    if (rc == 0) {
        rc = posix_spawnattr_setsigmask(&attr, &none);
    }
    if (rc == 0) {
        rc = posix_spawnattr_setsigdefault(&attr, &all);
    }
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (rc == 0 && ownGroup) {
        // Group 0: the child's own id becomes its group's.
        rc = posix_spawnattr_setpgroup(&attr, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    if (rc == 0) {
        rc = posix_spawnattr_setflags(&attr, flags);
    }

    if (rc == 0) {
        pid_t child = -1;
        bool searchPath = argv[0].find('/') == std::string::npos;
        rc = searchPath ? posix_spawnp(&child, args[0], &actions, &attr, args.data(), environ)
                        : posix_spawn(&child, args[0], &actions, &attr, args.data(), environ);
        if (rc == 0) {
            pid = child;
        }
    }
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

long PosixProcesses::Read(int fd, char* buffer, size_t size) {
    for (;;) {
        ssize_t n = read(fd, buffer, size);
        if (n >= 0) {
            return static_cast<long>(n);
        }
        if (errno != EINTR) {
            return -static_cast<long>(errno);
        }
    }
}

void PosixProcesses::Close(int fd) {
    if (fd >= 0) {
        close(fd);
    }
}

void PosixProcesses::Reap(int pid) {
    if (pid <= 0) {
        return;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

bool PosixProcesses::TryReap(int pid) {
    if (pid <= 0) {
        return true;
    }
    int status = 0;
    pid_t r;
    while ((r = waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    // ECHILD: reaped already, or never ours.
    return r == pid || (r < 0 && errno == ECHILD);
}

int PosixProcesses::SignalGroup(int pid, int signal) {
    if (pid <= 1) {
        return EINVAL;
    }
    return ::kill(-pid, signal) == 0 ? 0 : errno;
}

namespace {

std::string ReadSmallFile(const std::string& path) {
    std::string text;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char buffer[1024];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 && text.size() < 65536) {
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return text;
}

// Field 3 (state) and field 22 (start time) of /proc/PID/stat; the command name before them
// may hold blanks and parentheses, so fields are counted after its last ')'.
bool ReadStat(int pid, char& state, uint64_t& startTicks) {
    std::string stat = ReadSmallFile("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return false;
    }
    size_t at = close + 2;
    int field = 3;
    while (at < stat.size() && field < 22) {
        if (field == 3) {
            state = stat[at];
        }
        at = stat.find(' ', at);
        if (at == std::string::npos) {
            return false;
        }
        ++at;
        ++field;
    }
    if (field != 22 || at >= stat.size()) {
        return false;
    }
    startTicks = std::strtoull(stat.c_str() + at, nullptr, 10);
    return true;
}

std::string BootId() {
    std::string id = ReadSmallFile("/proc/sys/kernel/random/boot_id");
    while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) {
        id.pop_back();
    }
    return id;
}

} // namespace

bool PosixProcesses::Identify(int pid, ProcessIdentity& identity) {
    char state = 0;
    uint64_t ticks = 0;
    if (pid <= 0 || !ReadStat(pid, state, ticks) || state == 'Z') {
        return false;
    }
    identity.pid = pid;
    identity.startTicks = ticks;
    identity.bootId = BootId();
    return true;
}

bool PosixProcesses::IsRunning(const ProcessIdentity& identity) {
    ProcessIdentity now;
    return Identify(identity.pid, now) && now.startTicks == identity.startTicks &&
           now.bootId == identity.bootId;
}

} // namespace platform
