// Starts a program from an argument vector (never through a shell; on request it ends when this
// process dies), reads its output line by line, forwards termination signals to it and reaps it.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace enc {

struct SpawnOptions {
    bool captureOutput = false;   // the child's stdout goes into a pipe read by ReadLines
    bool mergeStderr = false;     // with captureOutput: stderr goes into the same pipe
    bool discardOutput = false;   // stdout to /dev/null (ignored with captureOutput)
    bool newProcessGroup = false; // the child leads a new process group (signals reach its own
                                  // children as well)
    int parentDeathSignal = 0;    // sent to the child when this process dies, by any signal
                                  // (0: none)
    // Open descriptors the child takes as its standard input and output instead of the null
    // device and the pipe (-1: not used). With stdoutFd and captureOutput, mergeStderr sends
    // only stderr into the pipe. The caller closes them after Start.
    int stdinFd = -1;
    int stdoutFd = -1;
};

// One child process. Not copyable; the destructor neither waits for nor kills a running child.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (looked up in PATH when it holds no "/") with argv, by fork and exec: a
    // file the system cannot execute (a script without "#!") is refused, never handed to a
    // shell. Standard input is the null device; the child gets descriptors 0, 1 and 2 only,
    // no blocked signals and default handling of every signal but SIGPIPE, which keeps this
    // process's disposition (the tools ignore it, so a reader that went away ends no encode).
    // With a parentDeathSignal the child gets that signal when this process dies (the
    // thread that called Start, to be exact), and ends at once if this process has died
    // before the child could ask for it. Returns false with a readable reason when the
    // program cannot be started.
    bool Start(const std::vector<std::string>& argv, const SpawnOptions& options,
               std::string& error);

    pid_t Pid() const { return m_Pid; }

    // Reads the captured output until every writer has closed the pipe, calling `onLine` for
    // each line without its terminator (LF, CR LF or a lone CR ends a line). An unfinished
    // last line is delivered too. Does nothing when the output was not captured.
    void ReadLines(const std::function<void(const std::string&)>& onLine);

    // Waits for the child to end. Returns its exit code, or 128 + the signal that ended it.
    int Wait();

    // Sends `sig` to the child, or to its whole process group when it leads one.
    void Signal(int sig);

private:
    pid_t m_Pid = -1;
    int m_OutputFd = -1;
    bool m_Group = false;
};

// Gives this process nice 19 and the idle I/O class; children started afterwards inherit
// both. False when either cannot be set.
bool TakeIdlePriority();

// Installs handlers for SIGTERM, SIGINT, SIGHUP and SIGQUIT that pass the signal on to
// `ForwardTo`'s target (a process, or a process group when `group` is true) and remember it,
// and ignores SIGPIPE. A target that is still there `graceSeconds` after the first such
// signal gets SIGKILL (ForwardTo a new target after that time sends SIGKILL at once). Call
// once at start-up; set the target with ForwardTo whenever a child starts (0 for none).
void InstallSignalForwarding(unsigned graceSeconds);
void ForwardTo(pid_t target, bool group);
// The termination signal received so far, or 0.
int ReceivedSignal();
// True once a target has been sent SIGKILL because the grace time ran out.
bool KilledAfterGrace();

// The name of a signal for messages: "SIGTERM", or "signal N" for one without a short name.
std::string SignalName(int sig);

} // namespace enc
