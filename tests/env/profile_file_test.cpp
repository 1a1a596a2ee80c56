// .ini files and the names of files beside a program.
#include "env/profile_file.h"
#include "platform/program_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

TEST(ProfileFile, DerivedPathNeverNamesTheProgram) {
    EXPECT_EQ(platform::DeriveProgramFile("/opt/v/EclCCE.exe", ".ini"), "/opt/v/EclCCE.ini");
    EXPECT_EQ(platform::DeriveProgramFile("/opt/v/EclCCE.EXE", ".ini"), "/opt/v/EclCCE.EXE.ini");
    EXPECT_EQ(platform::DeriveProgramFile("/opt/v/EclCCE", ".ini"), "/opt/v/EclCCE.ini");
    EXPECT_EQ(platform::DeriveProgramFile("/opt/v.exe/EclCCE", ".ini"), "/opt/v.exe/EclCCE.ini");
}

TEST(ProfileFile, WriteKeepsOtherLinesAndReadIgnoresCase) {
    testing_support::TempDir dir;
    const std::string ini = dir.File("EclCCE.ini");
    ASSERT_TRUE(testing_support::WriteFile(
        ini, "; comment\r\n[Other]\r\nCCE=elsewhere\r\n[eclcce]\r\n cce = \"/a b/cce\" \r\n"));
    std::string v;
    ASSERT_TRUE(env::ReadProfileString(ini, "EclCCE", "CCE", v));
    EXPECT_EQ(v, "/a b/cce");
    std::string error;
    ASSERT_TRUE(env::WriteProfileString(ini, "EclCCE", "Priority", "64", error)) << error;
    ASSERT_TRUE(env::WriteProfileString(ini, "EclCCE", "cce", "/new/cce", error));
    EXPECT_EQ(testing_support::ReadFile(ini), "; comment\r\n[Other]\r\nCCE=elsewhere\r\n"
                                              "[eclcce]\r\ncce=/new/cce\r\nPriority=64\r\n");
    EXPECT_FALSE(env::WriteProfileString(ini, "EclCCE", "CCE", "x\ny", error));
    EXPECT_FALSE(env::ReadProfileString(ini, "EclCCE", "Missing", v));
    EXPECT_EQ(env::GetProfileString(ini, "EclCCE", "Missing", "NotFound", 260), "NotFound");
    EXPECT_EQ(env::GetProfileString(ini, "EclCCE", "CCE", "NotFound", 5), "/new");
    EXPECT_FALSE(env::WriteProfileString(dir.File("no/such/folder.ini"), "A", "B", "C", error));
    const std::string fresh = dir.File("new.ini");
    ASSERT_TRUE(env::WriteProfileString(fresh, "EclCCE", "CCE", "/c", error));
    EXPECT_EQ(testing_support::ReadFile(fresh), "[EclCCE]\r\nCCE=/c\r\n");
}
