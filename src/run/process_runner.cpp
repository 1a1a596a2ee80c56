// `CProcessRunner`: starts a child on one output pipe and turns the pipe's bytes into lines.
#include "run/process_runner.h"

#include "platform/command_line.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace run {

CProcessRunner::CProcessRunner(std::string command, platform::UiQueue& owner, int32_t id,
                               std::shared_ptr<platform::Processes> processes)
    : m_Command(std::move(command)), m_Owner(owner), m_Id(id), m_Processes(std::move(processes)),
      m_LineMessage(owner.RegisterMessage(platform::kUpmLineName)),
      m_FinishedMessage(owner.RegisterMessage(platform::kUpmFinishedName)),
      m_HandleMessage(owner.RegisterMessage(platform::kUpmProcessHandleName)) {}

CProcessRunner::CProcessRunner(std::string command, platform::UiQueue& owner, int32_t id,
                               std::shared_ptr<platform::Processes> processes,
                               std::string outputFile)
    : CProcessRunner(std::move(command), owner, id, std::move(processes)) {
    m_OutputFile = std::move(outputFile);
}

CProcessRunner::~CProcessRunner() {
    if (m_ReadEnd >= 0) {
        m_Processes->Close(m_ReadEnd);
    }
}

void CProcessRunner::PostLine(std::string line) {
    m_Owner.Post(platform::UiQueue::Make(m_LineMessage, 0, m_Id,
                                         std::make_unique<std::string>(std::move(line))));
}

void CProcessRunner::PostFinished(int error) {
    m_Owner.Post(platform::UiQueue::Make(m_FinishedMessage, static_cast<uint64_t>(error), m_Id));
}

bool CProcessRunner::Start(std::unique_ptr<CProcessRunner> runner) {
    platform::ProcessIdentity started;
    return Start(std::move(runner), started);
}

bool CProcessRunner::Launch(std::unique_ptr<CProcessRunner> runner,
                            std::function<void(CProcessRunner&)> body) {
    CProcessRunner& r = *runner;
    try {
        std::thread reader([owned = runner.get(), body = std::move(body)] { body(*owned); });
        reader.detach();
        runner.release(); // the reader thread owns it now
    } catch (const std::system_error& e) {
        int code = e.code().value() != 0 ? e.code().value() : EAGAIN;
        r.PostFinished(code);
        return false;
    }
    return true;
}

bool CProcessRunner::Start(std::unique_ptr<CProcessRunner> runner,
                           platform::ProcessIdentity& started) {
    CProcessRunner& r = *runner;
    started = platform::ProcessIdentity();
    if (!r.m_OutputFile.empty()) {
        int out = ::open(r.m_OutputFile.c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (out < 0) {
            r.PostFinished(errno);
            return false;
        }
        int error =
            r.m_Processes->StartInOwnGroup(platform::SplitCommandLine(r.m_Command), out, r.m_Pid);
        ::close(out);
        if (error != 0) {
            r.PostFinished(error);
            return false;
        }
        r.m_Processes->Identify(r.m_Pid, started);
        started.pid = r.m_Pid;
        r.m_Owner.Post(
            platform::UiQueue::Make(r.m_HandleMessage, static_cast<uint64_t>(r.m_Pid), r.m_Id));
        int pid = r.m_Pid;
        std::shared_ptr<platform::Processes> processes = r.m_Processes;
        if (!Launch(std::move(runner), [](CProcessRunner& self) { self.FollowFile(true, {}); })) {
            // Nobody follows it: end it rather than leave an encode nobody waits for.
            processes->SignalGroup(pid, SIGKILL);
            processes->Reap(pid);
            return false;
        }
        return true;
    }

    int writeEnd = -1;
    int pipeError = r.m_Processes->CreatePipe(r.m_ReadEnd, writeEnd);
    if (pipeError != 0) {
        // The owner waits for the end of every runner it started, this one included.
        r.m_ReadEnd = -1;
        r.PostFinished(pipeError);
        return false;
    }

    int error = r.m_Processes->Start(platform::SplitCommandLine(r.m_Command), writeEnd, r.m_Pid);
    // The parent's copy of the write end goes now, whatever happened, so that the pipe ends
    // exactly when the child's side has closed.
    r.m_Processes->Close(writeEnd);
    if (error != 0) {
        r.PostFinished(error);
        return false; // the runner and its read end go with `runner`
    }
    started.pid = r.m_Pid;
    r.m_Owner.Post(
        platform::UiQueue::Make(r.m_HandleMessage, static_cast<uint64_t>(r.m_Pid), r.m_Id));

    try {
        std::thread reader([owned = runner.get()] { owned->ReadOutput(); });
        reader.detach();
        runner.release(); // the reader thread owns it now
    } catch (const std::system_error& e) {
        int code = e.code().value() != 0 ? e.code().value() : EAGAIN;
        r.PostFinished(code);
        // Without a reader nobody drains the pipe: closing it makes the child's next write
        // fail, and the child is reaped here so that it leaves no zombie.
        r.m_Processes->Close(r.m_ReadEnd);
        r.m_ReadEnd = -1;
        r.m_Processes->Reap(r.m_Pid);
        return false;
    }
    return true;
}

void CProcessRunner::Follow(std::unique_ptr<CProcessRunner> runner,
                            const platform::ProcessIdentity& running) {
    runner->m_Pid = running.pid;
    Launch(std::move(runner), [running](CProcessRunner& self) { self.FollowFile(false, running); });
}

void CProcessRunner::TakeBytes(std::string& pending, const char* chunk, const char* end) {
    for (;;) {
        const char* lf = static_cast<const char*>(memchr(chunk, '\n', end - chunk));
        if (lf == nullptr) {
            break;
        }
        pending.append(chunk, lf);
        // One CR right before the LF belongs to the line end, even when the two bytes
        // arrived in different reads.
        if (!pending.empty() && pending.back() == '\r') {
            pending.pop_back();
        }
        PostLine(std::move(pending));
        pending = std::string();
        chunk = lf + 1;
    }
    pending.append(chunk, end);
}

void CProcessRunner::FollowFile(bool ownChild, platform::ProcessIdentity followed) {
    std::string pending;
    char buffer[kReadSize];
    int fd = ::open(m_OutputFile.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    bool ended = false;
    for (;;) {
        long n = fd >= 0 ? m_Processes->Read(fd, buffer, sizeof buffer) : 0;
        if (n > 0) {
            TakeBytes(pending, buffer, buffer + n);
            continue;
        }
        // Everything written before the end has been read once the end is seen and the file
        // has been read to its end after that.
        if (ended) {
            break;
        }
        ended = ownChild ? m_Processes->TryReap(m_Pid) : !m_Processes->IsRunning(followed);
        if (!ended) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kFollowMilliseconds));
        }
        if (fd < 0) {
            fd = ::open(m_OutputFile.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        }
    }
    if (fd >= 0) {
        ::close(fd);
    }
    if (!pending.empty()) {
        PostLine(std::move(pending));
    }
    PostFinished(0);
    delete this;
}

void CProcessRunner::ReadOutput() {
    std::string pending;
    char buffer[kReadSize];
    int error = 0;
    for (;;) {
        long n = m_Processes->Read(m_ReadEnd, buffer, sizeof buffer);
        if (n <= 0) {
            error = n < 0 ? static_cast<int>(-n) : 0;
            break;
        }
        TakeBytes(pending, buffer, buffer + n);
    }
    m_Processes->Close(m_ReadEnd);
    m_ReadEnd = -1;
    if (!pending.empty()) {
        PostLine(std::move(pending));
    }
    // The owner may act on this message at once, so nothing of it is touched afterwards.
    PostFinished(error);
    m_Processes->Reap(m_Pid);
    delete this;
}

} // namespace run
