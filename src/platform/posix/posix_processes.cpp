// Child processes and pipes on POSIX: pipe2 with close-on-exec, posix_spawn without a shell.
#include "platform/posix/posix_processes.h"

#include <cerrno>
#include <csignal>
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
    if (rc == 0) {
        rc = posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
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

} // namespace platform
