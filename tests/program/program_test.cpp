// The real vantaq program in a program folder of its own: fatal start-up problems end it with
// status 27 after their box, and an unattended queue (-start -exit) runs to its end.
#include "jobs/job_store.h"
#include "store/paths.h"
#include "support/media.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

namespace fs = std::filesystem;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

const std::string kProgramDir = VANTAQ_PROGRAM_DIR;
const std::string kTestBinDir = VANTAQ_TEST_BIN_DIR;

struct Outcome {
    int status = -1;
    std::string stderrText;
};

class ProgramRun : public testing::Test {
protected:
    void SetUp() override {
        if (!FileExists(kProgramDir + "/vantaq")) {
            GTEST_SKIP() << "the program is not built (no GUI in this build)";
        }
        for (const char* name : {"vantaq", "EclCCE", "vantaq.html"}) {
            fs::copy_file(kProgramDir + "/" + name, m_Dir.File(name));
        }
        fs::create_directories(m_Dir.File("system"));
        fs::copy_file(kProgramDir + "/system/libavisynth.so", m_Dir.File("system/libavisynth.so"));
        UseEncoder(kProgramDir + "/cce");
    }

    void UseEncoder(const std::string& path) {
        WriteFile(m_Dir.File("EclCCE.ini"), "[EclCCE]\r\nCCE=" + path + "\r\n");
    }

    Outcome Start(const std::string& arguments) {
        std::string command =
            "cd '" + m_Dir.Path() + "' && VANTAQ_STORE='" + m_Dir.File("store.sqlite") +
            "' QT_QPA_PLATFORM=offscreen timeout 120 ./vantaq " + arguments + " 2> stderr.txt";
        Outcome run;
        int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.stderrText = ReadFile(m_Dir.File("stderr.txt"));
        return run;
    }

    testing_support::TempDir m_Dir;
};

} // namespace

TEST_F(ProgramRun, UnsupportedEncoderEndsWithStatus27) {
    if (!FileExists(kTestBinDir + "/cce-unversioned")) {
        GTEST_SKIP() << "no encoder copies in this build";
    }
    UseEncoder(kTestBinDir + "/cce-unversioned");
    Outcome run = Start("");
    EXPECT_EQ(run.status, 27);
    EXPECT_NE(run.stderrText.find("CCE Executable associated with EclCCE is not supported"),
              std::string::npos)
        << run.stderrText;
}

TEST_F(ProgramRun, MissingEncoderAndMissingFrameServerEndWithStatus27) {
    UseEncoder(m_Dir.File("gone"));
    Outcome run = Start("");
    EXPECT_EQ(run.status, 27);
    EXPECT_NE(run.stderrText.find("could not be found"), std::string::npos) << run.stderrText;

    UseEncoder(kProgramDir + "/cce");
    fs::remove(m_Dir.File("system/libavisynth.so"));
    run = Start("");
    EXPECT_EQ(run.status, 27);
    EXPECT_NE(run.stderrText.find("Avisynth.dll could not be found."), std::string::npos);
}

TEST_F(ProgramRun, UnattendedQueueRunsToItsEnd) {
    std::string source = m_Dir.File("clip.avi");
    ASSERT_TRUE(media::MakeAvi(source, "176x144", "25", 2, "mjpeg", false));
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(m_Dir.File("store.sqlite")));
        s.WriteNumber(store::kHive, store::kRootPath, "EnableLogging", 1);
        jobs::JobRecord r;
        r.name = "clip";
        r.input = source;
        r.templateKey = "3"; // CBR
        r.method = 3;
        r.aspectRatio = 2;
        r.bitrateMax = 4000;
        r.bitrateAvg = 1500;
        r.qFactor = 40;
        r.bias = 60;
        r.passes = 1;
        r.quality = 16;
        r.endFrame = 50;
        r.progressive = 1;
        ASSERT_TRUE(jobs::WriteJobRecord(s, 0, r));
    }
    Outcome run = Start("-start -minimize -exit");
    EXPECT_EQ(run.status, 0) << run.stderrText;
    store::KeyStore s;
    ASSERT_TRUE(s.Open(m_Dir.File("store.sqlite")));
    std::string status;
    ASSERT_TRUE(jobs::GetJobString(s, 0, jobs::kStatus, 255, status));
    EXPECT_EQ(status, "Complete");
    EXPECT_TRUE(FileExists(m_Dir.File("clip.mpv")));
    std::string log = ReadFile(m_Dir.File("vantaq.log"));
    EXPECT_NE(log.find("  Starting Job: clip\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  No more jobs!!!\r\n"), std::string::npos) << log;
}
