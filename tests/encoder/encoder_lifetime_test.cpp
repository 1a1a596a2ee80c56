// An encoder never outlives its runner: termination signals and SIGKILL at every level of
// EclCCE -> cce -> ffmpeg, the files they leave, and the next run of the same list.
#include "child_process.h"
#include "encoder_fixture.h"
#include "partial_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sstream>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using encoder_test::kProgramDir;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kSeconds = 8; // the source's length; paced, an encode takes as long

// What /proc/PID/stat tells of a process.
struct ProcessFacts {
    bool running = false; // exists and is no zombie
    pid_t parent = 0;
    pid_t group = 0;
};

ProcessFacts Facts(pid_t pid) {
    ProcessFacts f;
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return f;
    }
    std::istringstream in(stat.substr(close + 1));
    char state = '?';
    in >> state >> f.parent >> f.group;
    f.running = in && state != 'Z' && state != 'X';
    return f;
}

bool Running(pid_t pid) {
    return pid > 0 && Facts(pid).running;
}

// The running children of `parent`.
std::vector<pid_t> ChildrenOf(pid_t parent) {
    std::vector<pid_t> found;
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") == std::string::npos) {
            const pid_t pid = std::stoi(name);
            const ProcessFacts f = Facts(pid);
            if (f.running && f.parent == parent) {
                found.push_back(pid);
            }
        }
    }
    return found;
}

// Polls `done` until it holds or `limit` has passed.
bool WaitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    return names;
}

std::vector<std::string> PartialFiles(const std::string& folder) {
    std::vector<std::string> parts;
    for (const std::string& n : Names(folder)) {
        if (n.find(".part") != std::string::npos) {
            parts.push_back(n);
        }
    }
    return parts;
}

// A runner in its own folder with a list over a fresh source, and a work folder as TMPDIR.
class EncoderLifetime : public testing::Test {
protected:
    void SetUp() override {
        m_Runner = m_Dir.File("EclCCE");
        fs::copy_file(kProgramDir + "/EclCCE", m_Runner);
        SetEncoder(kProgramDir + "/cce");
        const std::string source = m_Dir.File("clip.avi");
        ASSERT_TRUE(encoder_test::MakeSource(source, "25", kSeconds, false));
        const std::string frames = std::to_string(25 * kSeconds);
        m_Ecl = m_Dir.File("clip.ecl");
        ASSERT_TRUE(WriteFile(m_Ecl, encoder_test::MakeEcl(false, source, m_Dir.File("clip"),
                                                           {{"frame_rate_idx", "3"},
                                                            {"frame_first", frames},
                                                            {"frame_last", frames},
                                                            {"encode_last", frames}})));
        m_Work = m_Dir.File("tmp");
        fs::create_directory(m_Work);
        setenv("TMPDIR", m_Work.c_str(), 1);
        // Real ffmpeg, reading the source at its own pace, so that the encode is still
        // running when the test ends it.
        m_PacedFfmpeg = m_Dir.File("paced-ffmpeg");
        ASSERT_TRUE(WriteFile(m_PacedFfmpeg, "#!/bin/sh\nexec ffmpeg -re \"$@\"\n"));
        fs::permissions(m_PacedFfmpeg, fs::perms::owner_all);
    }
    void TearDown() override {
        if (m_Started) {
            kill(-m_Runner_.Pid(), SIGKILL);
            EndRunner();
        }
        unsetenv("TMPDIR");
        unsetenv("CCE_FFMPEG");
    }

    void SetEncoder(const std::string& program) {
        ASSERT_TRUE(WriteFile(m_Dir.File("EclCCE.ini"), "[EclCCE]\nCCE=" + program + "\n"));
    }

    // Starts the runner as Vantaq does (leading its own process group), with `ffmpeg` as the
    // encoder's ffmpeg, and collects its output.
    void StartRunner(const std::string& ffmpeg) {
        setenv("CCE_FFMPEG", ffmpeg.c_str(), 1);
        enc::SpawnOptions options;
        options.captureOutput = true;
        options.mergeStderr = true;
        options.newProcessGroup = true;
        std::string error;
        ASSERT_TRUE(m_Runner_.Start({m_Runner, "-ecl", m_Ecl, "-batch"}, options, error)) << error;
        unsetenv("CCE_FFMPEG");
        m_Started = true;
        m_Reader = std::thread([this] {
            m_Runner_.ReadLines([this](const std::string& l) {
                std::lock_guard<std::mutex> hold(m_Lock);
                m_Output += l + "\n";
            });
        });
    }
    // Waits until the runner's encoder is running ffmpeg and ffmpeg has written into its
    // temporary stream; sets m_Encoder and m_Ffmpeg.
    void WaitForEncoding() {
        const pid_t runner = m_Runner_.Pid();
        const bool encoding = WaitFor(
            [&] {
                const std::vector<pid_t> encoder = ChildrenOf(runner);
                const std::vector<pid_t> ffmpeg =
                    encoder.size() == 1 ? ChildrenOf(encoder[0]) : std::vector<pid_t>{};
                if (ffmpeg.size() != 1) {
                    return false;
                }
                m_Encoder = encoder[0];
                m_Ffmpeg = ffmpeg[0];
                std::error_code ec;
                const std::string part = enc::TemporaryName(m_Dir.File("clip.mpv"), m_Encoder);
                return fs::file_size(part, ec) > 0 && !ec;
            },
            std::chrono::seconds(30));
        ASSERT_TRUE(encoding) << Output();
    }
    int EndRunner() {
        if (m_Reader.joinable()) {
            m_Reader.join();
        }
        m_Started = false;
        return m_Runner_.Wait();
    }
    std::string Output() {
        std::lock_guard<std::mutex> hold(m_Lock);
        return m_Output;
    }
    void ExpectNoPartialFiles() {
        EXPECT_TRUE(PartialFiles(m_Dir.Path()).empty());
        EXPECT_TRUE(fs::is_empty(m_Work)) << Names(m_Work).front();
    }
    // The complete stream of the whole source.
    void ExpectCompleteStream() {
        const encoder_test::StreamFacts facts = encoder_test::ScanStream(m_Dir.File("clip.mpv"));
        EXPECT_EQ(facts.pictures, 25 * kSeconds);
        EXPECT_TRUE(facts.endsWithSequenceEnd);
    }

    TempDir m_Dir;
    std::string m_Runner;
    std::string m_Ecl;
    std::string m_Work;
    std::string m_PacedFfmpeg;
    enc::ChildProcess m_Runner_;
    bool m_Started = false;
    std::thread m_Reader;
    std::mutex m_Lock;
    std::string m_Output;
    pid_t m_Encoder = 0;
    pid_t m_Ffmpeg = 0;
};

TEST_F(EncoderLifetime, TerminatingTheRunnersGroupEndsTheEncodeAtOnceAndLeavesNoFile) {
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        const std::string name = enc::SignalName(sig);
        SCOPED_TRACE(name);
        {
            std::lock_guard<std::mutex> hold(m_Lock);
            m_Output.clear();
        }
        StartRunner(m_PacedFfmpeg);
        WaitForEncoding();
        const auto start = Clock::now();
        ASSERT_EQ(kill(-m_Runner_.Pid(), sig), 0);
        const int status = EndRunner();
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
        EXPECT_EQ(status, 128 + sig) << Output();
        EXPECT_FALSE(Running(m_Encoder));
        EXPECT_TRUE(WaitFor([&] { return !Running(m_Ffmpeg); }, std::chrono::seconds(5)));
        const std::string output = Output();
        EXPECT_NE(output.find("cce: stopped by " + name), std::string::npos) << output;
        EXPECT_NE(output.find("EclCCE: stopped by " + name + "; the encoder ended with status " +
                              std::to_string(128 + sig)),
                  std::string::npos)
            << output;
        EXPECT_FALSE(FileExists(m_Dir.File("clip.mpv")));
        EXPECT_FALSE(FileExists(m_Dir.File("clip.vaf")));
        ExpectNoPartialFiles();
    }
}

TEST_F(EncoderLifetime, KillingTheRunnerOrTheEncoderEndsItsChildrenAndTheNextRunCleansUp) {
    struct Case {
        const char* killed;
        bool runner;          // SIGKILL to the runner alone, else to the encoder alone
        bool leavesPartFiles; // the encoder had no chance to remove its files
        int runnerStatus;     // as the runner's parent sees it
    };
    const Case cases[] = {
        // The encoder gets SIGTERM when its runner dies, and cleans up.
        {"runner", true, false, 128 + SIGKILL},
        // ffmpeg gets SIGKILL when the encoder dies; the runner reports the encoder's end.
        {"encoder", false, true, 128 + SIGKILL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.killed);
        {
            std::lock_guard<std::mutex> hold(m_Lock);
            m_Output.clear();
        }
        StartRunner(m_PacedFfmpeg);
        WaitForEncoding();
        ASSERT_EQ(kill(c.runner ? m_Runner_.Pid() : m_Encoder, SIGKILL), 0);
        EXPECT_TRUE(WaitFor([&] { return !Running(m_Encoder) && !Running(m_Ffmpeg); },
                            std::chrono::seconds(10)))
            << Output();
        EXPECT_EQ(EndRunner(), c.runnerStatus) << Output();
        EXPECT_FALSE(FileExists(m_Dir.File("clip.mpv")));
        if (c.leavesPartFiles) {
            EXPECT_EQ(PartialFiles(m_Dir.Path()).size(), 2u); // the stream and the analysis
            EXPECT_EQ(Names(m_Work).size(), 1u);
        } else {
            ExpectNoPartialFiles();
        }

        // The same list again, with ffmpeg at full speed: leftovers go, the encode completes.
        const encoder_test::RunResult again =
            encoder_test::RunProgram({m_Runner, "-ecl", m_Ecl, "-batch"});
        ASSERT_EQ(again.status, 0) << again.output;
        EXPECT_EQ(again.output.find("  Removed ") != std::string::npos, c.leavesPartFiles)
            << again.output;
        ExpectCompleteStream();
        ExpectNoPartialFiles();
        fs::remove(m_Dir.File("clip.mpv"));
        fs::remove(m_Dir.File("clip.vaf"));
    }
}

TEST_F(EncoderLifetime, WhatIgnoresTerminationIsKilledAfterTheGraceAndItsFilesRemoved) {
    // A stand-in that records its process id and ignores the polite signals. As the encoder
    // (called with "-- LIST") it leaves unfinished files where the real one would.
    const std::string pidFile = m_Dir.File("stubborn.pid");
    const std::string stubborn = m_Dir.File("stubborn");
    ASSERT_TRUE(
        WriteFile(stubborn, "#!/bin/sh\ntrap '' TERM INT HUP QUIT\nif [ \"$1\" = -- ]; then\n"
                            "  : >'" +
                                m_Dir.File("clip.mpv") +
                                ".cce-'$$'.part'\n"
                                "  mkdir '" +
                                m_Work +
                                "/cce-pass-logs-AbC123'\nfi\n"
                                "echo $$ >'" +
                                pidFile + "'\necho frame=1\nexec sleep 60\n"));
    fs::permissions(stubborn, fs::perms::owner_all);
    struct Case {
        const char* who;
        bool encoder; // the encoder ignores SIGTERM, else its ffmpeg
        double graceSeconds;
        const char* says;
    };
    const Case cases[] = {
        {"ffmpeg", false, 2, "cce: stopped by SIGTERM"},
        {"encoder", true, 5, "was killed; its unfinished files are removed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.who);
        fs::remove(pidFile);
        SetEncoder(c.encoder ? stubborn : kProgramDir + "/cce");
        StartRunner(c.encoder ? m_PacedFfmpeg : stubborn);
        ASSERT_TRUE(WaitFor([&] { return !ReadFile(pidFile).empty(); }, std::chrono::seconds(30)));
        const pid_t stubbornPid = std::atoi(ReadFile(pidFile).c_str());
        const auto start = Clock::now();
        ASSERT_EQ(kill(-m_Runner_.Pid(), SIGTERM), 0);
        const int status = EndRunner();
        const std::chrono::duration<double> took = Clock::now() - start;
        EXPECT_EQ(status, 128 + SIGTERM) << Output();
        EXPECT_GE(took.count(), c.graceSeconds - 0.5);
        EXPECT_LT(took.count(), c.graceSeconds + 2);
        EXPECT_TRUE(WaitFor([&] { return !Running(stubbornPid); }, std::chrono::seconds(5)));
        EXPECT_NE(Output().find(c.says), std::string::npos) << Output();
        ExpectNoPartialFiles();
        {
            std::lock_guard<std::mutex> hold(m_Lock);
            m_Output.clear();
        }
    }
}

TEST(PartialFiles, OnlyTemporariesNoLivingEncoderHoldsAreRemoved) {
    TempDir dir;
    const std::string final = dir.File("clip.mpv");
    // A live process whose id names the files; the lock, not the id, tells who holds one.
    enc::ChildProcess sleeper;
    std::string error;
    ASSERT_TRUE(sleeper.Start({"sleep", "60"}, {}, error)) << error;
    enc::ChildProcess ended;
    ASSERT_TRUE(ended.Start({"true"}, {}, error)) << error;
    const pid_t endedPid = ended.Pid();
    ended.Wait();

    const std::string heldByLive = enc::TemporaryName(final, sleeper.Pid());
    const std::string freeOfLive = enc::TemporaryName(dir.File("other.mpv"), sleeper.Pid());
    const std::string ofDead = enc::TemporaryName(final, endedPid);
    const std::vector<std::string> kept = {
        dir.File("clip.mpv.cce-12x.part"), dir.File("clip.mpv.part"),
        dir.File("clip.mpv.cce-1.partial"), dir.File("xclip.mpv.cce-1.part"), final};
    for (const std::string& p : std::vector<std::string>{heldByLive, freeOfLive, ofDead}) {
        ASSERT_TRUE(WriteFile(p, "partial"));
    }
    for (const std::string& p : kept) {
        ASSERT_TRUE(WriteFile(p, "not a temporary of clip.mpv"));
    }
    const int holder = open(heldByLive.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    std::vector<std::string> removed = enc::RemoveStaleTemporaries(final);
    EXPECT_EQ(removed, std::vector<std::string>{ofDead});
    EXPECT_TRUE(FileExists(heldByLive));

    // Its holder gone, the file of a process id in use again is stale as well.
    close(holder);
    EXPECT_EQ(enc::RemoveStaleTemporaries(final), std::vector<std::string>{heldByLive});
    EXPECT_EQ(enc::RemoveStaleTemporaries(dir.File("other.mpv")),
              std::vector<std::string>{freeOfLive});
    for (const std::string& p : kept) {
        EXPECT_TRUE(FileExists(p)) << p;
    }

    // A held file of this process survives another's clean-up until it is published.
    {
        enc::HeldPartial mine;
        ASSERT_TRUE(mine.CreateFile(dir.File("mine.mpv"), error)) << error;
        const std::string path = mine.Path();
        EXPECT_EQ(path, enc::TemporaryName(dir.File("mine.mpv"), getpid()));
        const int other = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
        close(other);
        ASSERT_TRUE(mine.Publish(dir.File("mine.mpv"), error)) << error;
        EXPECT_FALSE(FileExists(path));
        EXPECT_TRUE(FileExists(dir.File("mine.mpv")));
    }
    sleeper.Signal(SIGKILL);
    sleeper.Wait();
}

} // namespace
