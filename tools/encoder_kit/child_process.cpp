// Starts a program from an argument vector (never through a shell), reads its output line by
// line, forwards termination signals to it and reaps it.
#include "child_process.h"

#include "platform/posix/posix_processes.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
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
volatile sig_atomic_t g_GraceOver = 0;
volatile sig_atomic_t g_Killed = 0;
unsigned g_GraceSeconds = 0;

constexpr int kForwardedSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

void SendToTarget(int sig) {
    const pid_t target = static_cast<pid_t>(g_Target);
    if (target > 0) {
        kill(g_TargetIsGroup ? -target : target, sig);
        if (sig == SIGKILL) {
            g_Killed = 1;
        }
    }
}

void OnTerminationSignal(int sig) {
    const int savedErrno = errno;
    if (g_Received == 0 && g_GraceSeconds > 0) {
        // A target that ignores the request, or hangs, must not keep this process alive.
        alarm(g_GraceSeconds);
    }
    g_Received = sig;
    SendToTarget(g_GraceOver ? SIGKILL : sig);
    errno = savedErrno;
}

void OnGraceOver(int) {
    const int savedErrno = errno;
    g_GraceOver = 1;
    SendToTarget(SIGKILL);
    errno = savedErrno;
}

// Where argv[0] may be executed, worked out before the fork (the child may not allocate):
// the name itself when it holds a "/", else each PATH entry (the system's default path when
// PATH is unset), as execvp searches it, but without its fall-back to a shell.
std::vector<std::string> Candidates(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return {program};
    }
    const char* env = std::getenv("PATH");
    const std::string path = env ? env : "/bin:/usr/bin";
    std::vector<std::string> out;
    size_t from = 0;
    for (;;) {
        const size_t colon = path.find(':', from);
        std::string dir = path.substr(from, colon == std::string::npos ? colon : colon - from);
        // An empty entry is the working folder.
        out.push_back(dir.empty() ? program : dir + "/" + program);
        if (colon == std::string::npos) {
            break;
        }
        from = colon + 1;
    }
    return out;
}

// Everything the child does between fork and exec, prepared by the parent.
struct ChildSetup {
    std::vector<char*> argv;
    std::vector<const char*> candidates;
    int outputFd = -1; // the pipe's write end, or -1
    bool mergeStderr = false;
    bool discardOutput = false;
    bool newGroup = false;
    int stdinFd = -1;
    int stdoutFd = -1;
    int deathSignal = 0;
    pid_t parent = -1;
    int reportFd = -1; // close-on-exec; carries errno when exec fails
};

// Runs in the forked child: only async-signal-safe calls, no allocation. Never returns.
[[noreturn]] void ExecChild(const ChildSetup& s) {
    // Handlers would run this process's forwarding; ignored signals would stay ignored. Every
    // signal gets its default handling but SIGPIPE, whose disposition the child keeps.
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP && sig != SIGPIPE) {
            sigaction(sig, &dfl, nullptr);
        }
    }
    int err = 0;
    if (s.deathSignal != 0) {
        // Ends the child when this process's parent dies, whatever signal kills it. A parent
        // that died before the call would never send it: then the child ends now.
        if (prctl(PR_SET_PDEATHSIG, s.deathSignal) != 0) {
            err = errno;
        } else if (getppid() != s.parent) {
            _exit(128 + s.deathSignal);
        }
    }
    if (err == 0 && s.newGroup && setpgid(0, 0) != 0) {
        err = errno;
    }
    const int devNull = err == 0 ? open("/dev/null", O_RDWR) : -1;
    if (err == 0 && devNull < 0) {
        err = errno;
    }
    if (err == 0 && dup2(s.stdinFd >= 0 ? s.stdinFd : devNull, STDIN_FILENO) < 0) {
        err = errno;
    }
    if (err == 0 && s.stdoutFd >= 0) {
        if (dup2(s.stdoutFd, STDOUT_FILENO) < 0 ||
            (s.outputFd >= 0 && s.mergeStderr && dup2(s.outputFd, STDERR_FILENO) < 0)) {
            err = errno;
        }
    } else if (err == 0 && s.outputFd >= 0) {
        if (dup2(s.outputFd, STDOUT_FILENO) < 0 ||
            (s.mergeStderr && dup2(s.outputFd, STDERR_FILENO) < 0)) {
            err = errno;
        }
    } else if (err == 0 && s.discardOutput && dup2(devNull, STDOUT_FILENO) < 0) {
        err = errno;
    }
    if (err == 0) {
        // Only 0, 1 and 2 go on, and the report pipe until the exec closes it.
        const unsigned report = static_cast<unsigned>(s.reportFd);
        if (report > 3) {
            syscall(SYS_close_range, 3U, report - 1, 0U);
        }
        syscall(SYS_close_range, report + 1, ~0U, 0U);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        err = ENOENT;
        for (const char* candidate : s.candidates) {
            execve(candidate, s.argv.data(), environ);
            // As execvp: a missing or forbidden entry lets the search go on; anything else
            // (ENOEXEC for a script without "#!") ends it. Never a shell.
            if (errno == EACCES) {
                err = EACCES;
            } else if (errno != ENOENT && errno != ENOTDIR) {
                err = errno;
                break;
            }
        }
    }
    // The parent reads the reason. Should the write fail, the start looks successful and the
    // exit status 127 tells the parent instead.
    [[maybe_unused]] const ssize_t w = write(s.reportFd, &err, sizeof err);
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
    int report[2];
    if (const int rc = pipes.CreatePipe(report[0], report[1]); rc != 0) {
        error = std::string("cannot make a pipe: ") + std::strerror(rc);
        if (readEnd >= 0) {
            close(readEnd);
            close(writeEnd);
        }
        return false;
    }
    const std::vector<std::string> candidates = Candidates(argv[0]);
    ChildSetup setup;
    for (const std::string& a : argv) {
        setup.argv.push_back(const_cast<char*>(a.c_str()));
    }
    setup.argv.push_back(nullptr);
    for (const std::string& c : candidates) {
        setup.candidates.push_back(c.c_str());
    }
    setup.outputFd = writeEnd;
    setup.mergeStderr = options.mergeStderr;
    setup.discardOutput = options.discardOutput;
    setup.newGroup = options.newProcessGroup;
    setup.stdinFd = options.stdinFd;
    setup.stdoutFd = options.stdoutFd;
    setup.deathSignal = options.parentDeathSignal;
    setup.parent = getpid();
    setup.reportFd = report[1];

    // No handler may run in the child before it has reset them: every signal stays blocked
    // across the fork, and this process takes its pending ones when the mask is restored.
    sigset_t all;
    sigset_t old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    const pid_t pid = fork();
    if (pid == 0) {
        ExecChild(setup);
    }
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    close(report[1]);
    if (writeEnd >= 0) {
        close(writeEnd);
    }
    int childError = 0;
    if (pid > 0) {
        // The report pipe closes at the exec; before that the child writes why it failed.
        ssize_t n;
        do {
            n = read(report[0], &childError, sizeof childError);
        } while (n < 0 && errno == EINTR);
        if (n != static_cast<ssize_t>(sizeof childError)) {
            childError = 0;
        } else {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    close(report[0]);
    const int rc = pid < 0 ? forkError : childError;
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

void InstallSignalForwarding(unsigned graceSeconds) {
    g_GraceSeconds = graceSeconds;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnTerminationSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : kForwardedSignals) {
        sigaddset(&sa.sa_mask, sig);
    }
    sigaddset(&sa.sa_mask, SIGALRM);
    sa.sa_flags = SA_RESTART;
    for (int sig : kForwardedSignals) {
        sigaction(sig, &sa, nullptr);
    }
    sa.sa_handler = OnGraceOver;
    sigaction(SIGALRM, &sa, nullptr);
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
        // A child started after the request is ended as well.
        SendToTarget(g_GraceOver ? SIGKILL : g_Received);
    }
}

int ReceivedSignal() {
    return g_Received;
}

bool KilledAfterGrace() {
    return g_Killed != 0;
}

std::string SignalName(int sig) {
    const char* abbrev = sigabbrev_np(sig);
    return abbrev ? std::string("SIG") + abbrev : "signal " + std::to_string(sig);
}

} // namespace enc
