// The runner: its profile beside the program, the configuration call, priority, failures and
// ending an encode with SIGTERM.
#include "child_process.h"
#include "encoder_fixture.h"
#include "env/profile_file.h"
#include "platform/program_files.h"
#include "support/media.h"
#include "support/store_faults.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

using encoder_test::kProgramDir;
using encoder_test::RunProgram;
using encoder_test::RunResult;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const std::string kTestBinDir = VANTAQ_TEST_BIN_DIR;

// A path quoted for the shell (test-made paths only).
std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

// A copy of EclCCE in its own folder, so that each test has its own EclCCE.ini beside it.
class Runner : public testing::Test {
protected:
    void SetUp() override {
        // The configuration call opens a window where there is a display; these tests want
        // its printed form (the window has tests of its own).
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
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

    // Names of the files in `folder` that hold `text` in their names.
    static std::vector<std::string> FilesNamed(const std::string& folder, const std::string& text) {
        std::vector<std::string> found;
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            if (e.path().filename().string().find(text) != std::string::npos) {
                found.push_back(e.path().string());
            }
        }
        return found;
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

TEST_F(Runner, InAReadOnlyProgramFolderTheUsersOwnProfileIsWrittenAndRead) {
    TempDir home;
    setenv("XDG_CONFIG_HOME", home.Path().c_str(), 1);
    WriteIni("[EclCCE]\nCCE=" + kProgramDir + "/cce\nPriority=64\n");
    testing_support::ReadOnlyMount readOnly(m_Dir.Path());
    if (!readOnly.Mounted()) {
        VANTAQ_SKIP_OR_FAIL(readOnly.Reason());
    }
    const std::string own = home.File("vantaq/EclCCE.ini");
    RunResult r = RunProgram({m_Program});
    EXPECT_NE(r.output.find("Profile: " + m_Ini), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("changes go to " + own), std::string::npos) << r.output;

    r = RunProgram({m_Program, "--set-cce", home.File("missing-cce")});
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ReadFile(own), "[EclCCE]\nCCE=" + home.File("missing-cce") + "\nPriority=64\n");
    EXPECT_EQ(ReadFile(m_Ini), "[EclCCE]\nCCE=" + kProgramDir + "/cce\nPriority=64\n");

    // The encode call reads the user's copy from now on.
    const std::string ecl = home.File("clip.ecl");
    ASSERT_TRUE(WriteFile(ecl, "x"));
    r = RunProgram({m_Program, "-ecl", ecl, "-batch"});
    EXPECT_EQ(r.status, 11) << r.output;
    EXPECT_NE(r.output.find("named in " + own), std::string::npos) << r.output;
    unsetenv("XDG_CONFIG_HOME");
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

TEST_F(Runner, EncodeOutlivesTheReaderOfItsOutput) {
    // The window that started the encode goes away: its end of the output pipe closes after the
    // first line. Both the runner and the encoder carry on and publish a complete stream.
    const std::string ecl = MakeJob();
    WriteIni("[EclCCE]\nCCE=" + kProgramDir + "/cce\n");
    const std::string work = m_Dir.File("tmp");
    std::filesystem::create_directory(work);
    const std::string stream = m_Dir.File("clip.mpv");
    for (const std::string& call : {Quoted(m_Program) + " -ecl " + Quoted(ecl) + " -batch",
                                    Quoted(kProgramDir + "/cce") + " -- " + Quoted(ecl)}) {
        SCOPED_TRACE(call);
        std::filesystem::remove(stream);
        // The pipeline ends when the encode has ended.
        const std::string status = m_Dir.File("status");
        ASSERT_TRUE(media::Run("{ TMPDIR=" + Quoted(work) + " " + call + "; echo $? >" +
                               Quoted(status) + "; } 2>&1 | head -n 1 >/dev/null"));
        EXPECT_EQ(ReadFile(status), "0\n");
        EXPECT_EQ(encoder_test::ProbeStream(stream, "codec_name")["codec_name"], "mpeg2video");
        const encoder_test::StreamFacts facts = encoder_test::ScanStream(stream);
        EXPECT_EQ(facts.pictures, 25);
        EXPECT_TRUE(facts.endsWithSequenceEnd);
        EXPECT_TRUE(FilesNamed(m_Dir.Path(), ".part").empty());
        EXPECT_TRUE(std::filesystem::is_empty(work));
    }
}

TEST_F(Runner, ChildrenAreStartedWithoutShellAndSeeOnlyTheirListAndStandardStreams) {
    const std::string marker = m_Dir.File("ran");
    const std::string script = m_Dir.File("no-interpreter");
    ASSERT_TRUE(WriteFile(script, "touch '" + marker + "'\necho frame=25\n"));
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const std::string ecl = MakeJob();

    // A script without "#!" is not a program: neither as the encoder nor as its ffmpeg.
    WriteIni("[EclCCE]\nCCE=" + script + "\n");
    RunResult r = RunProgram({m_Program, "-ecl", ecl, "-batch"});
    EXPECT_EQ(r.status, 11);
    EXPECT_NE(r.output.find("Exec format error"), std::string::npos) << r.output;
    WriteIni("[EclCCE]\nCCE=" + kProgramDir + "/cce\n");
    setenv("CCE_FFMPEG", script.c_str(), 1);
    r = RunProgram({m_Program, "-ecl", ecl, "-batch"});
    unsetenv("CCE_FFMPEG");
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.output.find("Exec format error"), std::string::npos) << r.output;
    EXPECT_FALSE(FileExists(marker));

    // A list named like an option is a list: "--version" is encoded, not answered.
    std::filesystem::copy_file(ecl, m_Dir.File("--version"));
    ASSERT_TRUE(media::Run("cd " + Quoted(m_Dir.Path()) + " && " + Quoted(m_Program) +
                           " -ecl --version -batch >/dev/null 2>&1"));
    EXPECT_EQ(encoder_test::ScanStream(m_Dir.File("clip.mpv")).pictures, 25);

    // Started from a shell holding descriptor 7 open, the runner passes on 0, 1 and 2 only.
    const std::string lister = m_Dir.File("list-fds");
    std::filesystem::create_symlink(kTestBinDir + "/vantaq_child_helper", lister);
    WriteIni("[EclCCE]\nCCE=" + lister + "\n");
    const std::string seen = m_Dir.File("seen");
    ASSERT_TRUE(media::Run("exec 7<" + Quoted(ecl) + "; " + Quoted(m_Program) + " -ecl " +
                           Quoted(ecl) + " -batch >" + Quoted(seen) + " 2>&1"));
    EXPECT_EQ(ReadFile(seen), "fd 0\nfd 1\nfd 2\n");
}

TEST_F(Runner, DevicesPipesAndHugeFilesAreRefusedWithOneLine) {
    WriteIni("[EclCCE]\nCCE=" + kProgramDir + "/cce\n");
    const std::string fifo = m_Dir.File("fifo.ecl");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = m_Dir.File("huge.ecl");
    std::filesystem::resize_file((WriteFile(huge, ""), huge), 64 * 1024 * 1024);
    const std::string ecl = MakeJob();
    std::string devSource = ReadFile(ecl);
    devSource.replace(devSource.find("name="),
                      devSource.find('\r', devSource.find("name=")) - devSource.find("name="),
                      "name=/dev/zero");
    const std::string devEcl = m_Dir.File("dev.ecl");
    ASSERT_TRUE(WriteFile(devEcl, devSource));
    struct Case {
        std::vector<std::string> argv;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{m_Program, "-ecl", "/dev/zero", "-batch"}, 12, "not a regular file"},
        {{kProgramDir + "/cce", "--", "/dev/zero"}, 1, "not a regular file"},
        {{m_Program, "-ecl", fifo, "-batch"}, 12, "not a regular file"},
        {{kProgramDir + "/cce", "--", fifo}, 1, "not a regular file"},
        {{m_Program, "-ecl", huge, "-batch"}, 12, "at most 1048576"},
        {{kProgramDir + "/cce", "--", huge}, 1, "at most 1048576"},
        {{m_Program, "-ecl", devEcl, "-batch"}, 2, "the source /dev/zero is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argv[0] + " " + c.argv[2]);
        RunResult r = RunProgram(c.argv);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.output.find(c.says), std::string::npos) << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    }
}

TEST_F(Runner, TerminationSignalsEndTheEncodeAndRemoveItsTemporaryFiles) {
    const std::string ecl = MakeJob();
    WriteIni("[EclCCE]\nCCE=" + kProgramDir + "/cce\n");
    const std::string work = m_Dir.File("tmp");
    std::filesystem::create_directory(work);
    struct TmpDirFor {
        explicit TmpDirFor(const std::string& dir) { setenv("TMPDIR", dir.c_str(), 1); }
        ~TmpDirFor() { unsetenv("TMPDIR"); }
    } tmpDir(work);
    for (int sig : {SIGTERM, SIGQUIT}) {
        SCOPED_TRACE(strsignal(sig));
        // An ffmpeg stand-in that records its process id and hangs, like a long encode.
        const std::string fake = m_Dir.File("slow-ffmpeg");
        const std::string pidFile = m_Dir.File("ffmpeg.pid");
        ASSERT_TRUE(WriteFile(fake, "#!/bin/sh\necho $$ > '" + pidFile +
                                        "'\necho frame=1\nexec sleep 60\n"));
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
        runner.Signal(sig);
        reader.join();
        const int status = runner.Wait();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_EQ(status, 128 + sig) << output;
        // The stand-in is gone (or a zombie waiting for init).
        bool gone = false;
        for (int i = 0; i < 200 && !gone; ++i) {
            const std::string stat = ReadFile("/proc/" + std::to_string(fakePid) + "/stat");
            gone = stat.empty() || stat.find(") Z") != std::string::npos;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        EXPECT_TRUE(gone);
        EXPECT_FALSE(FileExists(m_Dir.File("clip.mpv")));
        EXPECT_TRUE(FilesNamed(m_Dir.Path(), ".part").empty());
        EXPECT_TRUE(std::filesystem::is_empty(work));
        std::filesystem::remove(pidFile);
    }
}

} // namespace
