// Starts a program from an argument vector (never through a shell), reads its output line by
// line, forwards termination signals to it and reaps it.
#include "child_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace enc {

namespace {

volatile sig_atomic_t g_Target = 0;
volatile sig_atomic_t g_TargetIsGroup = 0;
volatile sig_atomic_t g_Received = 0;

void OnTerminationSignal(int sig) {
    g_Received = sig;
    const pid_t target = static_cast<pid_t>(g_Target);
    if (target > 0) {
        kill(g_TargetIsGroup ? -target : target, sig);
    }
}

// Idle I/O class for the calling process (ioprio_set has no libc wrapper).
bool SetIdleIoPriority() {
    constexpr int kWhoProcess = 1;
    constexpr int kClassIdle = 3;
    constexpr int kClassShift = 13;
    return syscall(SYS_ioprio_set, kWhoProcess, 0, kClassIdle << kClassShift) == 0;
}

// Runs in the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecChild(char* const* argv, const SpawnOptions& options, int outWrite,
                            int nullFd, int errorWrite) {
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    if (options.newProcessGroup) {
        setpgid(0, 0);
    }
    if (options.idlePriority) {
        setpriority(PRIO_PROCESS, 0, 19);
        SetIdleIoPriority();
    }
    if (outWrite >= 0) {
        dup2(outWrite, STDOUT_FILENO);
        if (options.mergeStderr) {
            dup2(outWrite, STDERR_FILENO);
        }
    } else if (nullFd >= 0) {
        dup2(nullFd, STDOUT_FILENO);
    }
    execvp(argv[0], argv);
    int err = errno;
    ssize_t ignored = write(errorWrite, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

} // namespace

ChildProcess::~ChildProcess() {
    if (m_OutputFd >= 0) {
        close(m_OutputFd);
    }
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const SpawnOptions& options,
                         std::string& error) {
    if (argv.empty()) {
        error = "no program to run";
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);

    int out[2] = {-1, -1};
    int report[2] = {-1, -1};
    int nullFd = -1;
    if (options.captureOutput && pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    if (!options.captureOutput && options.discardOutput) {
        nullFd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    }
    if (pipe2(report, O_CLOEXEC) != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(errno);
        for (int fd : {out[0], out[1], nullFd}) {
            if (fd >= 0) {
                close(fd);
            }
        }
        return false;
    }
    pid_t pid = fork();
    if (pid == 0) {
        ExecChild(args.data(), options, out[1], nullFd, report[1]);
    }
    int forkErrno = errno;
    close(report[1]);
    for (int fd : {out[1], nullFd}) {
        if (fd >= 0) {
            close(fd);
        }
    }
    if (pid < 0) {
        close(report[0]);
        if (out[0] >= 0) {
            close(out[0]);
        }
        error = std::string("cannot start ") + argv[0] + ": " + std::strerror(forkErrno);
        return false;
    }
    if (options.newProcessGroup) {
        setpgid(pid, pid); // also done by the child; whichever runs first wins the race
    }
    int childErrno = 0;
    ssize_t n;
    do {
        n = read(report[0], &childErrno, sizeof childErrno);
    } while (n < 0 && errno == EINTR);
    close(report[0]);
    m_Pid = pid;
    m_Group = options.newProcessGroup;
    m_OutputFd = out[0];
    if (n == static_cast<ssize_t>(sizeof childErrno)) {
        Wait();
        error = std::string("cannot run ") + argv[0] + ": " + std::strerror(childErrno);
        return false;
    }
    return true;
}

void ChildProcess::ReadLines(const std::function<void(const std::string&)>& onLine) {
    if (m_OutputFd < 0) {
        return;
    }
    std::string pending;
    bool lastWasCr = false;
    char buf[4096];
    for (;;) {
        ssize_t n = read(m_OutputFd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            char c = buf[i];
            if (c == '\n' && lastWasCr) {
                lastWasCr = false; // the LF of a CR LF pair
                continue;
            }
            lastWasCr = (c == '\r');
            if (c == '\n' || c == '\r') {
                onLine(pending);
                pending.clear();
            } else {
                pending += c;
            }
        }
    }
    if (!pending.empty()) {
        onLine(pending);
    }
    close(m_OutputFd);
    m_OutputFd = -1;
}

int ChildProcess::Wait() {
    if (m_Pid <= 0) {
        return -1;
    }
    int status = 0;
    pid_t r;
    do {
        r = waitpid(m_Pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    m_Pid = -1;
    if (r < 0) {
        return -1;
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return -1;
}

void ChildProcess::Signal(int sig) {
    if (m_Pid > 0) {
        kill(m_Group ? -m_Pid : m_Pid, sig);
    }
}

void InstallSignalForwarding() {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(sig, &sa, nullptr);
    }
}

void ForwardTo(pid_t target, bool group) {
    g_Target = 0;
    g_TargetIsGroup = group ? 1 : 0;
    g_Target = target;
    if (target > 0 && g_Received != 0) {
        kill(group ? -target : target, g_Received);
    }
}

int ReceivedSignal() {
    return g_Received;
}

} // namespace enc
