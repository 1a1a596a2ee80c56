// The runner: its profile beside the program, the configuration call, priority, failures and
// ending an encode with SIGTERM.
#include "child_process.h"
#include "encoder_fixture.h"
#include "env/profile_file.h"
#include "env/program_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <thread>

using encoder_test::RunProgram;
using encoder_test::RunResult;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const std::string kProgramDir = VANTAQ_PROGRAM_DIR;

// A copy of EclCCE in its own folder, so that each test has its own EclCCE.ini beside it.
class Runner : public testing::Test {
protected:
    void SetUp() override {
        m_Program = m_Dir.File("EclCCE");
        std::filesystem::copy_file(kProgramDir + "/EclCCE", m_Program);
        m_Ini = m_Dir.File("EclCCE.ini");
    }
    void WriteIni(const std::string& text) { ASSERT_TRUE(WriteFile(m_Ini, text)); }
    // A small valid list over a fresh 1 s source (25 fps, 25 frames).
    std::string MakeJob() {
        const std::string src = m_Dir.File("clip.avi");
        EXPECT_TRUE(encoder_test::MakeSource(src, "25", 1, false));
        const std::string ecl = m_Dir.File("clip.ecl");
        EXPECT_TRUE(WriteFile(ecl, encoder_test::MakeEcl(false, src, m_Dir.File("clip"),
                                                         {{"frame_rate_idx", "3"},
                                                          {"frame_first", "25"},
                                                          {"frame_last", "25"},
                                                          {"encode_last", "25"}})));
        return ecl;
    }

    TempDir m_Dir;
    std::string m_Program;
    std::string m_Ini;
};

TEST(RunnerBuild, ProgramFolderProfilePointsAtTheBuiltEncoder) {
    std::string cce;
    ASSERT_TRUE(env::ReadProfileString(kProgramDir + "/EclCCE.ini", "EclCCE", "CCE", cce));
    EXPECT_TRUE(std::filesystem::equivalent(cce, kProgramDir + "/cce"));
}

TEST_F(Runner, ConfigurationCallShowsProfileAndSetCceWritesIt) {
    RunResult r = RunProgram({m_Program});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find(m_Ini), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("(missing)"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("--set-cce"), std::string::npos);

    WriteIni("[EclCCE]\nPriority=64\n");
    r = RunProgram({m_Program, "--set-cce", kProgramDir + "/cce"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ReadFile(m_Ini), "[EclCCE]\nPriority=64\nCCE=" + kProgramDir + "/cce\n");
    r = RunProgram({m_Program});
    EXPECT_NE(r.output.find("CCE=" + kProgramDir + "/cce"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Priority=64"), std::string::npos) << r.output;
    EXPECT_TRUE(FileExists(m_Program)); // the profile never replaces the program
}

TEST_F(Runner, MissingOrBrokenSetupFailsClearly) {
    const std::string ecl = m_Dir.File("none.ecl");
    ASSERT_TRUE(WriteFile(ecl, "x"));
    RunResult r = RunProgram({m_Program, "-ecl", ecl, "-batch"});
    EXPECT_EQ(r.status, 10);
    EXPECT_NE(r.output.find("cannot read the profile"), std::string::npos) << r.output;

    WriteIni("[EclCCE]\nCCE=NotFound\n");
    r = RunProgram({m_Program, "-ecl", ecl, "-batch"});
    EXPECT_EQ(r.status, 10);
    EXPECT_NE(r.output.find("names no encoder"), std::string::npos) << r.output;

    WriteIni("[EclCCE]\nCCE=" + m_Dir.File("missing-cce") + "\n");
    r = RunProgram({m_Program, "-ecl", ecl, "-batch"});
    EXPECT_EQ(r.status, 11);
    EXPECT_NE(r.output.find("not an executable file"), std::string::npos) << r.output;

    WriteIni("[EclCCE]\nCCE=" + kProgramDir + "/cce\n");
    r = RunProgram({m_Program, "-ecl", m_Dir.File("absent.ecl"), "-batch"});
    EXPECT_EQ(r.status, 12);
    EXPECT_NE(r.output.find("absent.ecl"), std::string::npos) << r.output;

    // A broken list reaches the encoder, whose message and status come through.
    r = RunProgram({m_Program, "-ecl", ecl, "-batch"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("not an encoder control list"), std::string::npos) << r.output;

    r = RunProgram({m_Program, "-bogus"});
    EXPECT_EQ(r.status, 2);
}

TEST_F(Runner, PriorityIdleRunsTheEncoderAtNiceNineteen) {
    const std::string ecl = MakeJob();
    WriteIni("[EclCCE]\nCCE=" + kProgramDir + "/cce\nPriority=64\n");
    RunResult r = RunProgram({m_Program, "-ecl", ecl, "-batch"});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Priority: nice 19, I/O class idle"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("100% / Test Job"), std::string::npos) << r.output;

    WriteIni("[EclCCE]\nCCE=" + kProgramDir + "/cce\nPriority=-1\n");
    r = RunProgram({m_Program, "-ecl", ecl, "-batch"});
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string own = "Priority: nice " + std::to_string(getpriority(PRIO_PROCESS, 0)) + ",";
    EXPECT_NE(r.output.find(own), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("I/O class idle"), std::string::npos) << r.output;
}

TEST_F(Runner, SigtermEndsTheEncodeItStarted) {
    const std::string ecl = MakeJob();
    WriteIni("[EclCCE]\nCCE=" + kProgramDir + "/cce\n");
    // An ffmpeg stand-in that records its process id and hangs, like a long encode.
    const std::string fake = m_Dir.File("slow-ffmpeg");
    const std::string pidFile = m_Dir.File("ffmpeg.pid");
    ASSERT_TRUE(
        WriteFile(fake, "#!/bin/sh\necho $$ > '" + pidFile + "'\necho frame=1\nexec sleep 60\n"));
    std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    setenv("CCE_FFMPEG", fake.c_str(), 1);
    enc::ChildProcess runner;
    enc::SpawnOptions options;
    options.captureOutput = true;
    options.mergeStderr = true;
    std::string error;
    ASSERT_TRUE(runner.Start({m_Program, "-ecl", ecl, "-batch"}, options, error)) << error;
    unsetenv("CCE_FFMPEG");
    std::string output;
    std::thread reader(
        [&] { runner.ReadLines([&](const std::string& l) { output += l + "\n"; }); });
    for (int i = 0; i < 200 && ReadFile(pidFile).empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    const pid_t fakePid = std::atoi(ReadFile(pidFile).c_str());
    ASSERT_GT(fakePid, 0) << output;
    const auto start = std::chrono::steady_clock::now();
    runner.Signal(SIGTERM);
    reader.join();
    const int status = runner.Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(status, 128 + SIGTERM) << output;
    // The stand-in is gone (or a zombie waiting for init).
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        const std::string stat = ReadFile("/proc/" + std::to_string(fakePid) + "/stat");
        gone = stat.empty() || stat.find(") Z") != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    EXPECT_TRUE(gone);
    EXPECT_FALSE(FileExists(m_Dir.File("clip.mpv")));
    for (const auto& e : std::filesystem::directory_iterator(m_Dir.Path())) {
        EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
    }
}

} // namespace
