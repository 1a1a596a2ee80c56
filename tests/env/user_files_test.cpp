// Where the log and the runner's profile go: beside the program in a writable program folder,
// in the user's XDG folders where it sits on a read-only mount (as an installed one does for
// its users), and the user's own profile taking over from the shared one.
#include "env/cce_version.h"
#include "env/profile_file.h"
#include "env/startup_checks.h"
#include "env/user_files.h"
#include "env/version_block.h"
#include "log/log.h"
#include "support/store_faults.h"
#include "support/test_support.h"
#include "version_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ReadOnlyMount;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const std::string kShared = "[EclCCE]\r\nCCE=/usr/lib/vantaq/cce\r\nPriority=-1\r\n";

// A program folder (vantaq, EclCCE, EclCCE.ini) and the user's home, with the XDG variables
// pointing below it; the variables are put back afterwards.
class UserFiles : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
            const char* value = std::getenv(name);
            m_Saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
        }
        std::filesystem::create_directories(m_Program.File("system"));
        ASSERT_TRUE(WriteFile(m_Program.File("vantaq"), "program"));
        ASSERT_TRUE(WriteFile(m_Program.File("EclCCE"), "runner"));
        ASSERT_TRUE(WriteFile(m_Program.File("EclCCE.ini"), kShared));
        setenv("HOME", m_Home.Path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_Home.File("config").c_str(), 1);
        setenv("XDG_STATE_HOME", m_Home.File("state").c_str(), 1);
    }
    void TearDown() override {
        m_ReadOnly.reset();
        for (const auto& [name, value] : m_Saved) {
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
        }
    }
    // Puts the program folder on a read-only mount; false (the test skips) where that is not
    // allowed.
    bool MakeProgramFolderReadOnly() {
        m_ReadOnly = std::make_unique<ReadOnlyMount>(m_Program.Path());
        return m_ReadOnly->Mounted();
    }
    std::string Program(const std::string& name) const { return m_Program.File(name); }
    std::string Home(const std::string& name) const { return m_Home.File(name); }

    TempDir m_Home;
    TempDir m_Program;
    std::unique_ptr<ReadOnlyMount> m_ReadOnly;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_Saved;
};

TEST_F(UserFiles, BesideTheProgramWhileItsFolderIsWritable) {
    // A user's own copy from another installation does not count here.
    std::filesystem::create_directories(Home("config/vantaq"));
    ASSERT_TRUE(WriteFile(Home("config/vantaq/EclCCE.ini"), "[EclCCE]\nCCE=/elsewhere\n"));
    EXPECT_EQ(env::ChooseLogFile(Program("vantaq")), Program("vantaq.log"));
    env::RunnerProfile profile = env::LocateRunnerProfile(Program("EclCCE"));
    EXPECT_EQ(profile.path, Program("EclCCE.ini"));
    EXPECT_EQ(profile.writePath, Program("EclCCE.ini"));

    std::string error;
    ASSERT_TRUE(env::WriteRunnerProfileString(profile, "EclCCE", "Priority", "64", error)) << error;
    EXPECT_EQ(ReadFile(Program("EclCCE.ini")),
              "[EclCCE]\r\nCCE=/usr/lib/vantaq/cce\r\nPriority=64\r\n");
    EXPECT_EQ(ReadFile(Home("config/vantaq/EclCCE.ini")), "[EclCCE]\nCCE=/elsewhere\n");
    EXPECT_EQ(env::ChooseLogFile(""), "");
    EXPECT_EQ(env::LocateRunnerProfile("").path, "");
}

TEST_F(UserFiles, TheLogGoesToTheStateFolderWhereTheProgramFolderIsReadOnly) {
    if (!MakeProgramFolderReadOnly()) {
        VANTAQ_SKIP_OR_FAIL(m_ReadOnly->Reason());
    }
    // What holds for root too: the mount refuses the write that the permissions would allow.
    EXPECT_FALSE(WriteFile(Program("vantaq.log"), "x"));

    EXPECT_EQ(env::ChooseLogFile(Program("vantaq")), Home("state/vantaq/vantaq.log"));
    unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(env::ChooseLogFile(Program("vantaq")), Home(".local/state/vantaq/vantaq.log"));
    setenv("XDG_STATE_HOME", "relative/state", 1); // not absolute: ignored, as XDG says
    EXPECT_EQ(env::ChooseLogFile(Program("vantaq")), Home(".local/state/vantaq/vantaq.log"));

    // The first line creates the folders; the next ones append.
    testing_support::LogLines view;
    logging::Log log(view, env::ChooseLogFile(Program("vantaq")), [] { return std::time_t{0}; });
    log.SetEnableLogging(true);
    log.Write("first", logging::kLogInfo);
    log.Write("second", logging::kLogInfo);
    const std::string text = ReadFile(Home(".local/state/vantaq/vantaq.log"));
    EXPECT_NE(text.find("  first\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  second\r\n"), std::string::npos) << text;
    EXPECT_FALSE(FileExists(Program("vantaq.log")));
}

TEST_F(UserFiles, TheFirstChangeMakesTheUsersOwnProfileWhichIsThenRead) {
    // The shared profile names an encoder this machine lacks; the user's own names release 3.
    const std::string encoder = Home("cce");
    env::VersionDescription d;
    d.productName = "CCE";
    d.productVersion = "2";
    d.fileVersion = "2, 67, 0, 8";
    ASSERT_TRUE(WriteFile(encoder, version_files::MakeElf(env::BuildVersionBlock(d))));
    if (!MakeProgramFolderReadOnly()) {
        VANTAQ_SKIP_OR_FAIL(m_ReadOnly->Reason());
    }
    const std::string own = Home("config/vantaq/EclCCE.ini");
    env::RunnerProfile profile = env::LocateRunnerProfile(Program("EclCCE"));
    EXPECT_EQ(profile.path, Program("EclCCE.ini"));
    EXPECT_EQ(profile.writePath, own);
    EXPECT_EQ(env::GetCceVersion(Program("vantaq")), env::kCceNotFound);

    std::string error;
    ASSERT_TRUE(env::WriteRunnerProfileString(profile, "EclCCE", "Priority", "64", error)) << error;
    EXPECT_EQ(ReadFile(own), "[EclCCE]\r\nCCE=/usr/lib/vantaq/cce\r\nPriority=64\r\n");
    EXPECT_EQ(ReadFile(Program("EclCCE.ini")), kShared);

    profile = env::LocateRunnerProfile(Program("EclCCE"));
    EXPECT_EQ(profile.path, own);
    EXPECT_EQ(profile.writePath, own);
    ASSERT_TRUE(env::WriteRunnerProfileString(profile, "EclCCE", "CCE", encoder, error)) << error;
    EXPECT_EQ(ReadFile(own), "[EclCCE]\r\nCCE=" + encoder + "\r\nPriority=64\r\n");
    EXPECT_EQ(env::GetCceVersion(Program("vantaq")), env::kCce2_67_0_8);
    EXPECT_EQ(ReadFile(Program("EclCCE.ini")), kShared);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Home("config/vantaq")),
                            std::filesystem::directory_iterator()),
              1); // no temporary file left behind
}

TEST_F(UserFiles, AProfileThatCannotBeWrittenAnywhereSaysWhy) {
    // The user's config folder would have to be made inside the read-only program folder.
    setenv("XDG_CONFIG_HOME", Program("config").c_str(), 1);
    if (!MakeProgramFolderReadOnly()) {
        VANTAQ_SKIP_OR_FAIL(m_ReadOnly->Reason());
    }
    env::RunnerProfile profile = env::LocateRunnerProfile(Program("EclCCE"));
    std::string error;
    EXPECT_FALSE(env::WriteRunnerProfileString(profile, "EclCCE", "Priority", "64", error));
    EXPECT_NE(error.find(Program("config/vantaq")), std::string::npos) << error;
    EXPECT_NE(error.find("Read-only file system"), std::string::npos) << error;
}

} // namespace
