// `CProcessRunner` with real child processes (split lines, CR handling, long lines, grandchildren,
// start failures, quoting, descriptor and zombie hygiene) and with a scripted platform.
#include "run/process_runner.h"

#include "platform/command_line.h"
#include "platform/fake_ui_queue.h"
#include "platform/posix/posix_processes.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::FakeUiQueue;
using platform::Message;
using run::CProcessRunner;

namespace {

const std::string kHelper = std::string(VANTAQ_TEST_BIN_DIR) + "/vantaq_child_helper";

struct RunRecord {
    std::vector<std::string> lines;
    int handles = 0;
    int finishedCount = 0;
    uint64_t error = 0;
    bool lineAfterFinished = false;
};

// The owner window: records every runner message by process id.
class Owner : public platform::MessageHandler {
public:
    explicit Owner(FakeUiQueue& q)
        : m_Queue(q), m_Line(q.RegisterMessage(platform::kUpmLineName)),
          m_Finished(q.RegisterMessage(platform::kUpmFinishedName)),
          m_Handle(q.RegisterMessage(platform::kUpmProcessHandleName)) {
        q.SetHandler(this);
    }
    int64_t OnMessage(Message& m) override {
        RunRecord& r = runs[m.lparam];
        if (m.message == m_Line) {
            r.lineAfterFinished |= r.finishedCount > 0;
            r.lines.push_back(m.text ? *m.text : "<no text>");
        } else if (m.message == m_Finished) {
            ++r.finishedCount;
            r.error = m.wparam;
        } else if (m.message == m_Handle) {
            ++r.handles;
        }
        return 0;
    }
    void OnTimer(int) override {}

    bool WaitFinished(int64_t id, uint32_t ms = 10000) {
        return m_Queue.RunUntil([&] { return runs[id].finishedCount > 0; }, ms);
    }

    std::map<int64_t, RunRecord> runs;

private:
    FakeUiQueue& m_Queue;
    uint32_t m_Line, m_Finished, m_Handle;
};

// Runs one command line to its end and returns what the owner saw.
RunRecord RunToEnd(const std::string& commandLine, bool* started = nullptr) {
    FakeUiQueue q;
    Owner owner(q);
    auto processes = std::make_shared<platform::PosixProcesses>();
    bool ok = CProcessRunner::Start(
        std::make_unique<CProcessRunner>(commandLine, q, run::MY_TIMER_PASS1, processes));
    if (started != nullptr) {
        *started = ok;
    }
    EXPECT_TRUE(owner.WaitFinished(run::MY_TIMER_PASS1)) << commandLine;
    q.RunUntilIdle();
    return owner.runs[run::MY_TIMER_PASS1];
}

std::string HelperLine(const std::vector<std::string>& args) {
    std::vector<std::string> argv{kHelper};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string line;
    EXPECT_TRUE(platform::BuildCommandLine(argv, line));
    return line;
}

using Lines = std::vector<std::string>;

size_t CountEntries(const char* folder) {
    size_t n = 0;
    if (DIR* d = opendir(folder)) {
        while (dirent* e = readdir(d)) {
            n += e->d_name[0] != '.';
        }
        closedir(d);
    }
    return n;
}

// True when this process has no child left, zombie or running; waits up to two seconds for
// reader threads still reaping.
bool NoChildrenLeft() {
    for (int i = 0; i < 200; ++i) {
        siginfo_t info{};
        if (waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD) {
            return true;
        }
        usleep(10 * 1000);
    }
    return false;
}

} // namespace

TEST(ProcessRunner, SplitsLinesAtLfAndDropsOneCrBeforeIt) {
    bool started = false;
    RunRecord r =
        RunToEnd(HelperLine({"chunks", "a\\r\\nb\\n", "x\\ry\\r\\r\\n\\n", "abc"}), &started);
    EXPECT_TRUE(started);
    EXPECT_EQ(r.handles, 1);
    EXPECT_EQ(r.lines, (Lines{"a", "b", "x\ry\r", "", "abc"}));
    EXPECT_EQ(r.finishedCount, 1);
    EXPECT_EQ(r.error, 0u);
    EXPECT_FALSE(r.lineAfterFinished);
}

TEST(ProcessRunner, JoinsLinesSplitAcrossWritesAndMergesStderr) {
    RunRecord r = RunToEnd(HelperLine({"chunks", "par", "tial\\r", "\\nout", "2:err\\n", "last"}));
    EXPECT_EQ(r.lines, (Lines{"partial", "outerr", "last"}));
}

TEST(ProcessRunner, LongLinesArriveWhole) {
    for (long n : {1023L, 1024L, 1025L, 4096L, 3L * 1024 * 1024}) {
        RunRecord r = RunToEnd(HelperLine({"long", std::to_string(n)}));
        ASSERT_EQ(r.lines.size(), 2u) << n;
        EXPECT_EQ(r.lines[0], std::string(static_cast<size_t>(n), 'x')) << n;
        EXPECT_EQ(r.lines[1], "end");
    }
}

TEST(ProcessRunner, FinishesOnlyWhenAGrandchildHoldingThePipeHasEnded) {
    auto begin = std::chrono::steady_clock::now();
    RunRecord r = RunToEnd(HelperLine({"grandchild", "400"}));
    auto elapsed = std::chrono::steady_clock::now() - begin;
    EXPECT_EQ(r.lines, (Lines{"child done", "grandchild done"}));
    EXPECT_GE(elapsed, std::chrono::milliseconds(400));
    EXPECT_TRUE(NoChildrenLeft());
}

TEST(ProcessRunner, EndOfOutputIsTheEndEvenWhileTheChildRuns) {
    auto begin = std::chrono::steady_clock::now();
    RunRecord r = RunToEnd(HelperLine({"quiet"}));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(200));
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(r.error, 0u);
    EXPECT_TRUE(NoChildrenLeft()); // reaped once it ended
}

TEST(ProcessRunner, ChildKilledBySignalStillEndsNormally) {
    RunRecord r = RunToEnd(HelperLine({"killed"}));
    EXPECT_EQ(r.lines, Lines{"partial"});
    EXPECT_EQ(r.finishedCount, 1);
    EXPECT_EQ(r.error, 0u);
}

TEST(ProcessRunner, StartFailureReturnsFalseAndPostsTheError) {
    testing_support::TempDir dir;
    const std::string notExecutable = dir.File("plain.txt");
    ASSERT_TRUE(testing_support::WriteFile(notExecutable, "not a program\n"));
    struct Case {
        std::string line;
        uint64_t error;
    };
    const Case cases[] = {
        {"\"" + dir.File("missing program") + "\" -x", ENOENT},
        {"\"" + notExecutable + "\"", EACCES},
        {"no-such-program-anywhere-in-path", ENOENT},
        {"", ENOENT},
    };
    for (const Case& c : cases) {
        bool started = true;
        RunRecord r = RunToEnd(c.line, &started);
        EXPECT_FALSE(started) << c.line;
        EXPECT_EQ(r.finishedCount, 1) << c.line;
        EXPECT_EQ(r.error, c.error) << c.line;
        EXPECT_EQ(r.handles, 0) << c.line;
        EXPECT_TRUE(r.lines.empty()) << c.line;
    }
}

TEST(ProcessRunner, ChildGetsNullInputAndNoParentDescriptors) {
    // A descriptor opened without close-on-exec must not reach the child either.
    int stray = open("/dev/null", O_RDONLY);
    ASSERT_GE(stray, 3);
    RunRecord fds = RunToEnd(HelperLine({"fds"}));
    close(stray);
    EXPECT_EQ(fds.lines, (Lines{"fd 0", "fd 1", "fd 2"}));
    EXPECT_EQ(RunToEnd(HelperLine({"stdin"})).lines, Lines{"stdin 0"});
}

TEST(ProcessRunner, QuotedTextReachesTheChildAsOneArgumentAndRunsNothing) {
    testing_support::TempDir dir;
    // The program itself lives in a folder whose name is full of shell syntax.
    const std::string folder = dir.File("my dir;touch pwned1 & $(touch pwned2) `touch pwned3`'");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const std::string program = folder + "/helper copy";
    std::filesystem::copy_file(kHelper, program);
    const Lines args{"a b",       "say \"hi\"", "$(touch " + dir.File("pwned4") + ")",
                     "; touch x", "`id` | cat", "back\\slash\\",
                     "",          "*",          "tab\there"};
    std::vector<std::string> argv{program, "args"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string line;
    ASSERT_TRUE(platform::BuildCommandLine(argv, line));

    std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    RunRecord r = RunToEnd(line);
    std::filesystem::current_path(cwd);

    Lines expected;
    for (const std::string& a : args) {
        expected.push_back("[" + a + "]");
    }
    EXPECT_EQ(r.lines, expected);
    for (const char* name : {"pwned1", "pwned2", "pwned3", "pwned4", "x"}) {
        EXPECT_FALSE(testing_support::FileExists(dir.File(name))) << name;
    }
}

TEST(ProcessRunner, ThousandRunsLeaveNoDescriptorsZombiesOrThreads) {
    FakeUiQueue q;
    Owner owner(q);
    auto processes = std::make_shared<platform::PosixProcesses>();
    const std::string line = HelperLine({"args", "one", "two"});
    // Reader threads are detached and end on their own after posting; wait until only the
    // threads there were before any run remain. Counting while one may still be alive would
    // make the baseline depend on the scheduler.
    const size_t threadsBefore = CountEntries("/proc/self/task");
    auto readersGone = [&] {
        for (int i = 0; i < 3000 && CountEntries("/proc/self/task") > threadsBefore; ++i) {
            usleep(10 * 1000);
        }
        return CountEntries("/proc/self/task") <= threadsBefore;
    };
    // One warm-up run so that lazily opened descriptors of the process do not count.
    ASSERT_TRUE(CProcessRunner::Start(std::make_unique<CProcessRunner>(line, q, 0, processes)));
    ASSERT_TRUE(owner.WaitFinished(0));
    ASSERT_TRUE(NoChildrenLeft());
    ASSERT_TRUE(readersGone());
    const size_t fdsBefore = CountEntries("/proc/self/fd");

    constexpr int kRuns = 1000, kParallel = 4;
    for (int first = 1; first <= kRuns; first += kParallel) {
        for (int id = first; id < first + kParallel; ++id) {
            ASSERT_TRUE(
                CProcessRunner::Start(std::make_unique<CProcessRunner>(line, q, id, processes)));
        }
        for (int id = first; id < first + kParallel; ++id) {
            ASSERT_TRUE(owner.WaitFinished(id)) << id;
        }
    }
    q.RunUntilIdle();
    EXPECT_TRUE(NoChildrenLeft());
    for (int id = 1; id <= kRuns; ++id) {
        const RunRecord& r = owner.runs[id];
        ASSERT_EQ(r.lines, (Lines{"[one]", "[two]"})) << id;
        ASSERT_EQ(r.finishedCount, 1) << id;
        ASSERT_EQ(r.handles, 1) << id;
    }
    EXPECT_TRUE(readersGone());
    EXPECT_EQ(CountEntries("/proc/self/fd"), fdsBefore);
}
