// Starts a program from an argument vector (never through a shell), reads its output line by
// line, forwards termination signals to it and reaps it.
#include "child_process.h"

#include "platform/posix/posix_processes.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace enc {

namespace {

volatile sig_atomic_t g_Target = 0;
volatile sig_atomic_t g_TargetIsGroup = 0;
volatile sig_atomic_t g_Received = 0;

constexpr int kForwardedSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

void OnTerminationSignal(int sig) {
    g_Received = sig;
    const pid_t target = static_cast<pid_t>(g_Target);
    if (target > 0) {
        kill(g_TargetIsGroup ? -target : target, sig);
    }
}

// The file actions and attributes of one posix_spawn call, released with the object.
class SpawnSetup {
public:
    SpawnSetup() {
        m_Result = posix_spawn_file_actions_init(&m_Actions);
        if (m_Result == 0) {
            m_HaveActions = true;
            m_Result = posix_spawnattr_init(&m_Attr);
            m_HaveAttr = m_Result == 0;
        }
    }
    ~SpawnSetup() {
        if (m_HaveAttr) {
            posix_spawnattr_destroy(&m_Attr);
        }
        if (m_HaveActions) {
            posix_spawn_file_actions_destroy(&m_Actions);
        }
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Each step is skipped once one has failed; Result() tells the first failure.
    void Open(int fd, const char* path, int flags) {
        Step(posix_spawn_file_actions_addopen(&m_Actions, fd, path, flags, 0));
    }
    void Dup(int from, int to) { Step(posix_spawn_file_actions_adddup2(&m_Actions, from, to)); }
    void CloseFrom(int fd) { Step(posix_spawn_file_actions_addclosefrom_np(&m_Actions, fd)); }
    void Signals(bool newGroup) {
        sigset_t none, reset;
        sigemptyset(&none);
        sigfillset(&reset);
        sigdelset(&reset, SIGPIPE);
        Step(posix_spawnattr_setsigmask(&m_Attr, &none));
        Step(posix_spawnattr_setsigdefault(&m_Attr, &reset));
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (newGroup) {
            flags |= POSIX_SPAWN_SETPGROUP;
            Step(posix_spawnattr_setpgroup(&m_Attr, 0));
        }
        Step(posix_spawnattr_setflags(&m_Attr, flags));
    }
    int Spawn(const std::vector<std::string>& argv, pid_t& pid) {
        if (m_Result != 0) {
            return m_Result;
        }
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        const bool searchPath = argv[0].find('/') == std::string::npos;
        return searchPath ? posix_spawnp(&pid, args[0], &m_Actions, &m_Attr, args.data(), environ)
                          : posix_spawn(&pid, args[0], &m_Actions, &m_Attr, args.data(), environ);
    }

private:
    void Step(int rc) {
        if (m_Result == 0) {
            m_Result = rc;
        }
    }

    posix_spawn_file_actions_t m_Actions;
    posix_spawnattr_t m_Attr;
    bool m_HaveActions = false;
    bool m_HaveAttr = false;
    int m_Result = 0;
};

} // namespace

ChildProcess::~ChildProcess() {
    if (m_OutputFd >= 0) {
        close(m_OutputFd);
    }
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const SpawnOptions& options,
                         std::string& error) {
    if (argv.empty() || argv[0].empty()) {
        error = "no program to run";
        return false;
    }
    platform::PosixProcesses pipes;
    int readEnd = -1;
    int writeEnd = -1;
    if (options.captureOutput) {
        const int rc = pipes.CreatePipe(readEnd, writeEnd);
        if (rc != 0) {
            error = std::string("cannot make a pipe: ") + std::strerror(rc);
            return false;
        }
    }
    SpawnSetup setup;
    setup.Open(STDIN_FILENO, "/dev/null", O_RDONLY);
    if (options.captureOutput) {
        setup.Dup(writeEnd, STDOUT_FILENO);
        if (options.mergeStderr) {
            setup.Dup(writeEnd, STDERR_FILENO);
        }
    } else if (options.discardOutput) {
        setup.Open(STDOUT_FILENO, "/dev/null", O_WRONLY);
    }
    setup.CloseFrom(3);
    setup.Signals(options.newProcessGroup);
    pid_t pid = -1;
    const int rc = setup.Spawn(argv, pid);
    if (writeEnd >= 0) {
        close(writeEnd);
    }
    if (rc != 0) {
        if (readEnd >= 0) {
            close(readEnd);
        }
        error = "cannot run " + argv[0] + ": " + std::strerror(rc);
        return false;
    }
    m_Pid = pid;
    m_Group = options.newProcessGroup;
    m_OutputFd = readEnd;
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
    for (int sig : kForwardedSignals) {
        sigaction(sig, &sa, nullptr);
    }
    // Output to a reader that has gone fails with EPIPE instead of ending the process.
    signal(SIGPIPE, SIG_IGN);
}

bool TakeIdlePriority() {
    // ioprio_set has no libc wrapper.
    constexpr int kWhoProcess = 1;
    constexpr int kClassIdle = 3;
    constexpr int kClassShift = 13;
    const bool nice = setpriority(PRIO_PROCESS, 0, 19) == 0;
    const bool io = syscall(SYS_ioprio_set, kWhoProcess, 0, kClassIdle << kClassShift) == 0;
    return nice && io;
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
