// `CProcessRunner`: runs one program from a command line and reports its output lines and the
// end of its output to the window as posted messages.
#pragma once

#include "platform/processes.h"
#include "platform/ui_queue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace run {

// Process ids carried in the second parameter of the runner's messages.
inline constexpr int32_t MY_TIMER_PASS1 = 2;
inline constexpr int32_t MY_TIMER_PASS2 = 3;
inline constexpr int32_t kStartupEclCceProcess = 6;

// Messages posted to the owner, each with lparam = the caller's id:
//  - `UPM_PROCESS_HANDLE` (kUpmProcessHandleName): wparam = the child's process id, for
//    information only; the runner itself reaps the child after its output has ended.
//  - `UPM_LINE` (kUpmLineName): one output line without its line end in the message's text,
//    which passes to the receiver; wparam 0.
//  - `UPM_FINISHED` (kUpmFinishedName): the output pipe has closed, meaning every process
//    holding its write end (the child and anything that inherited it) has closed it or ended;
//    wparam = 0 for that normal end, else the error number of a failed read or of the start.
// Exactly one `UPM_FINISHED` follows every call of Start, whatever failed.
class CProcessRunner {
public:
    // Does nothing but remember its arguments. `owner` must stay alive until the runner's
    // `UPM_FINISHED` has been posted; the runner shares `processes`, since it still reaps the
    // child after that message. `processes` must not be null.
    CProcessRunner(std::string command, platform::UiQueue& owner, int32_t id,
                   std::shared_ptr<platform::Processes> processes);
    // A runner whose program writes its output to the file `outputFile` (created anew) instead
    // of a pipe, and leads a process group of its own: the program does not depend on this
    // one (it goes on when this program ends, and another start can follow it), and the whole
    // group can be stopped. The output's end is then the program's end.
    CProcessRunner(std::string command, platform::UiQueue& owner, int32_t id,
                   std::shared_ptr<platform::Processes> processes, std::string outputFile);
    ~CProcessRunner();
    CProcessRunner(const CProcessRunner&) = delete;
    CProcessRunner& operator=(const CProcessRunner&) = delete;

    // Splits the command line (platform::SplitCommandLine), starts its program with standard
    // output and standard error on one pipe and standard input from the null device, posts
    // `UPM_PROCESS_HANDLE`, and hands the runner to a reader thread that owns it until the pipe
    // has closed. Returns true when the child and its reader are running. On false the runner
    // is gone and a `UPM_FINISHED` carrying the error (of the pipe, the start or the reader)
    // has been posted. UI thread.
    static bool Start(std::unique_ptr<CProcessRunner> runner);
    // The same; `started` gets the child's identity (pid -1 when it did not start).
    static bool Start(std::unique_ptr<CProcessRunner> runner, platform::ProcessIdentity& started);

    // Follows a program started earlier, by this program or another, whose output goes to the
    // runner's output file: posts the file's lines and then `UPM_FINISHED` once `running` has
    // ended. The program is not this one's child, so it is not reaped here. UI thread.
    static void Follow(std::unique_ptr<CProcessRunner> runner,
                       const platform::ProcessIdentity& running);

    // How often a followed output file is looked at while its program is silent.
    static constexpr int kFollowMilliseconds = 100;

    // Size of each read from the pipe.
    static constexpr size_t kReadSize = 1024;

private:
    void ReadOutput();
    // Reads the output file until the program has ended (its own child, or `followed`).
    void FollowFile(bool ownChild, platform::ProcessIdentity followed);
    // Posts every whole line of `pending` followed by [chunk, end) and keeps the unfinished tail.
    void TakeBytes(std::string& pending, const char* chunk, const char* end);
    static bool Launch(std::unique_ptr<CProcessRunner> runner,
                       std::function<void(CProcessRunner&)> body);
    void PostLine(std::string line);
    void PostFinished(int error);

    std::string m_Command;
    std::string m_OutputFile;
    platform::UiQueue& m_Owner;
    int32_t m_Id;
    std::shared_ptr<platform::Processes> m_Processes;
    int m_ReadEnd = -1;
    int m_Pid = -1;
    uint32_t m_LineMessage;
    uint32_t m_FinishedMessage;
    uint32_t m_HandleMessage;
};

} // namespace run
