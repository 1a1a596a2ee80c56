// `CProcessRunner` on a scripted platform: exact read boundaries, read errors and failures of
// the pipe and of the start, with every descriptor accounted for.
#include "run/process_runner.h"

#include "platform/fake_ui_queue.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>

using platform::FakeUiQueue;
using platform::Message;
using run::CProcessRunner;

namespace {

// Hands out numbered descriptors and plays back a list of reads; thread-safe because the
// reader thread uses it.
class ScriptedProcesses : public platform::Processes {
public:
    int CreatePipe(int& readEnd, int& writeEnd) override {
        std::lock_guard<std::mutex> lock(mutex);
        if (pipeError != 0) {
            return pipeError;
        }
        readEnd = next++;
        writeEnd = next++;
        open.insert(readEnd);
        open.insert(writeEnd);
        return 0;
    }
    int Start(const std::vector<std::string>& argv, int, int& pid) override {
        std::lock_guard<std::mutex> lock(mutex);
        startedArgv = argv;
        if (startError == 0) {
            pid = 4242;
        }
        return startError;
    }
    long Read(int, char* buffer, size_t size) override {
        std::lock_guard<std::mutex> lock(mutex);
        maxReadSize = std::max(maxReadSize, size);
        if (reads.empty()) {
            return 0;
        }
        std::string chunk = reads.front();
        reads.pop_front();
        if (chunk.rfind("ERR", 0) == 0) {
            return -EIO;
        }
        EXPECT_LE(chunk.size(), size);
        std::memcpy(buffer, chunk.data(), chunk.size());
        return static_cast<long>(chunk.size());
    }
    void Close(int fd) override {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(open.erase(fd), 1u) << "closed twice or never opened: " << fd;
    }
    void Reap(int pid) override {
        std::lock_guard<std::mutex> lock(mutex);
        reaped.push_back(pid);
    }
    // The scripted child has ended by the time anyone asks; it has no group to signal.
    bool TryReap(int pid) override {
        Reap(pid);
        return true;
    }
    int SignalGroup(int, int) override { return ESRCH; }
    bool Identify(int, platform::ProcessIdentity&) override { return false; }
    bool IsRunning(const platform::ProcessIdentity&) override { return false; }

    std::mutex mutex;
    int pipeError = 0, startError = 0, next = 10;
    std::set<int> open;
    std::deque<std::string> reads;
    std::vector<std::string> startedArgv;
    std::vector<int> reaped;
    size_t maxReadSize = 0;
};

class ScriptOwner : public platform::MessageHandler {
public:
    explicit ScriptOwner(FakeUiQueue& q)
        : line(q.RegisterMessage(platform::kUpmLineName)),
          finished(q.RegisterMessage(platform::kUpmFinishedName)),
          handle(q.RegisterMessage(platform::kUpmProcessHandleName)) {
        q.SetHandler(this);
    }
    int64_t OnMessage(Message& m) override {
        EXPECT_EQ(m.lparam, 3);
        if (m.message == line) {
            events.push_back("line:" + *m.text);
        } else if (m.message == finished) {
            events.push_back("finished:" + std::to_string(m.wparam));
        } else if (m.message == handle) {
            events.push_back("handle:" + std::to_string(m.wparam));
        }
        return 0;
    }
    void OnTimer(int) override {}
    uint32_t line, finished, handle;
    std::vector<std::string> events;
};

using Events = std::vector<std::string>;

Events RunScript(const std::shared_ptr<ScriptedProcesses>& p, bool expectStart = true) {
    FakeUiQueue q;
    ScriptOwner owner(q);
    EXPECT_EQ(CProcessRunner::Start(
                  std::make_unique<CProcessRunner>("\"/bin/x\" -ecl \"a b.ecl\"", q, 3, p)),
              expectStart);
    q.RunUntil(
        [&] { return !owner.events.empty() && owner.events.back().rfind("finished", 0) == 0; },
        5000);
    // The reader reaps and releases the runner right after its last message.
    for (int i = 0; i < 500; ++i) {
        {
            std::lock_guard<std::mutex> lock(p->mutex);
            if (p->open.empty() && (!expectStart || !p->reaped.empty())) {
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return owner.events;
}

} // namespace

TEST(ProcessRunnerScript, CrLfAcrossReadBoundariesAndFullBuffers) {
    auto p = std::make_shared<ScriptedProcesses>();
    std::string full(CProcessRunner::kReadSize - 1, 'y');
    full += '\r'; // the CR ends a full read, its LF opens the next
    p->reads = {full, "\nz\r", "\r\n", "\n", "tail\r"};
    Events e = RunScript(p);
    EXPECT_EQ(e, (Events{"handle:4242", "line:" + std::string(CProcessRunner::kReadSize - 1, 'y'),
                         "line:z\r", "line:", "line:tail\r", "finished:0"}));
    EXPECT_EQ(p->maxReadSize, CProcessRunner::kReadSize);
    EXPECT_EQ(p->startedArgv, (std::vector<std::string>{"/bin/x", "-ecl", "a b.ecl"}));
    EXPECT_TRUE(p->open.empty());
    EXPECT_EQ(p->reaped, std::vector<int>{4242});
}

TEST(ProcessRunnerScript, ReadErrorEndsLikeTheEndAndCarriesItsCode) {
    auto p = std::make_shared<ScriptedProcesses>();
    p->reads = {"one\ntw", "ERR", "never read\n"};
    Events e = RunScript(p);
    EXPECT_EQ(e, (Events{"handle:4242", "line:one", "line:tw", "finished:" + std::to_string(EIO)}));
    EXPECT_TRUE(p->open.empty());
}

TEST(ProcessRunnerScript, StartFailureClosesBothEndsAndPostsOnlyFinished) {
    auto p = std::make_shared<ScriptedProcesses>();
    p->startError = EACCES;
    Events e = RunScript(p, false);
    EXPECT_EQ(e, Events{"finished:" + std::to_string(EACCES)});
    EXPECT_TRUE(p->open.empty());
    EXPECT_TRUE(p->reaped.empty());
}

TEST(ProcessRunnerScript, PipeFailurePostsFinishedWithItsError) {
    auto p = std::make_shared<ScriptedProcesses>();
    p->pipeError = EMFILE;
    Events e = RunScript(p, false);
    EXPECT_EQ(e, Events{"finished:" + std::to_string(EMFILE)});
    EXPECT_TRUE(p->startedArgv.empty());
}
