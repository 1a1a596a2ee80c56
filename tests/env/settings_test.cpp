// Settings: the output folder rule, start-up defaults with their lines, the dialog reload;
// encoder release codes.
#include "env/cce_version.h"
#include "env/settings.h"
#include "log/log.h"
#include "store/paths.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <vector>

using namespace env;
using store::kHive;
using testing_support::TempDir;
using testing_support::TempStore;

namespace {

struct Fixture {
    TempStore store;
    testing_support::LogLines lines;
    logging::Log log{lines, "/nonexistent/vantaq.log"};
    Settings settings;
};

} // namespace

TEST(Settings, OutputFolderRule) {
    Settings s;
    s.m_OutputDirectory = "/out";
    EXPECT_EQ(OutputFolder(s, "/v/a.avs"), "/v");
    s.m_OutputSameDir = false;
    EXPECT_EQ(OutputFolder(s, "/v/a.avs"), "/out");
    s.m_OutputDirectory.clear();
    EXPECT_EQ(OutputFolder(s, "/v/a.avs"), "/v");
    EXPECT_EQ(OutputFolder(s, "a.avs"), ".");
    EXPECT_EQ(OutputFolder(s, "/a.avs"), "");
}

TEST(Settings, EmptyStoreGivesEveryDefaultWithItsLines) {
    Fixture f;
    f.settings.m_OutputSameDir = false;
    f.settings.m_DeleteMpv = true;
    EXPECT_TRUE(LoadSettingsAtStartup(f.store.Store(), f.log, f.settings));
    EXPECT_FALSE(f.settings.m_DeleteMpv);
    EXPECT_TRUE(f.settings.m_OutputSameDir);
    EXPECT_EQ(f.settings.m_OutputDirectory, "");
    EXPECT_EQ(f.lines.rows,
              (std::vector<std::string>{
                  "2 WARNING: Could not retreive the DeleteMPV value from the registry.",
                  "0 Setting DeleteMPV value to false.",
                  "2 WARNING: Could not retreive the AutoBias value from the registry.",
                  "0 Setting AutoBias value to false.",
                  "2 WARNING: Could not retreive the CCE Priority value from the registry.",
                  "0 Setting CCE priority value to Normal.",
                  "2 WARNING: Could not retreive the Hide CCE Window value from the registry.",
                  "0 Setting Hide CCE Window value to false.",
                  "2 WARNING: Could not retreive the OutputSameDir value from the registry.",
                  "0 Setting OutputSameDir value to true.",
                  "2 WARNING: Could not retreive the OutputDir value from the registry.",
                  "0 Setting OutputDir value to NULL."}));
}

TEST(Settings, StoredValuesAndTheMissingDirectoryTurnsSameDirOn) {
    Fixture f;
    auto& s = f.store.Store();
    s.WriteNumber(kHive, store::kRootPath, kDeleteMpv, 2); // not exactly 1: off
    s.WriteNumber(kHive, store::kRootPath, kAutoBias, 1);
    s.WriteNumber(kHive, store::kRootPath, kCcePriority, 7);
    s.WriteNumber(kHive, store::kRootPath, kHideCceWindow, 1);
    s.WriteNumber(kHive, store::kRootPath, kOutputSameDir, 0);
    f.settings.m_DeleteMpv = true;
    EXPECT_TRUE(LoadSettingsAtStartup(s, f.log, f.settings));
    EXPECT_FALSE(f.settings.m_DeleteMpv);
    EXPECT_TRUE(f.settings.m_AutoBias);
    EXPECT_EQ(f.settings.m_CcePriority, 7);
    EXPECT_TRUE(f.settings.m_OutputSameDir);
    EXPECT_EQ(f.lines.rows.back(), "0 Setting OutputSameDir value to true.");

    s.WriteString(kHive, store::kRootPath, kOutputDirectory, "/out");
    f.lines.rows.clear();
    EXPECT_FALSE(LoadSettingsAtStartup(s, f.log, f.settings));
    EXPECT_TRUE(f.lines.rows.empty());
    EXPECT_FALSE(f.settings.m_OutputSameDir);
    EXPECT_EQ(f.settings.m_OutputDirectory, "/out");
}

TEST(Settings, ReloadAfterDialogReportsEachUnreadableValue) {
    Fixture f;
    auto& s = f.store.Store();
    s.WriteNumber(kHive, store::kRootPath, kEnableLogging, 1);
    s.WriteNumber(kHive, store::kRootPath, kCcePriority, 1);
    f.settings.m_DeleteMpv = true;
    f.settings.m_HideCceWindow = 1;
    f.settings.m_OutputDirectory = "/kept";
    ReloadSettings(s, f.log, f.settings);
    EXPECT_TRUE(f.settings.m_DeleteMpv);      // unchanged
    EXPECT_EQ(f.settings.m_HideCceWindow, 0); // reset
    EXPECT_EQ(f.settings.m_CcePriority, 1);
    EXPECT_TRUE(f.settings.m_EnableLogging);
    EXPECT_TRUE(f.log.EnableLogging());
    EXPECT_EQ(f.settings.m_OutputDirectory, "/kept");
    ASSERT_EQ(f.lines.rows.size(), 5u);
    EXPECT_EQ(f.lines.rows[0], "2   ERROR: Could not set DeleteMPV value from Settings dialog!");
    EXPECT_EQ(f.lines.rows[4], "2   ERROR: Unable to retrieve the 'Output Directory' string "
                               "from the Settings Dialog!");
}

TEST(CceVersion, CodesAndLines) {
    EXPECT_EQ(NormaliseFileVersion("2, 66, 1, 7"), "2.66.1.7");
    EXPECT_EQ(CceVersionFromFileVersion("2, 50, 1, 0"), 1);
    EXPECT_EQ(CceVersionFromFileVersion("2,66,1,7"), 2);
    EXPECT_EQ(CceVersionFromFileVersion("2, 67, 0, 8"), 3);
    EXPECT_EQ(CceVersionFromFileVersion("2.67.0.9"), 4);
    EXPECT_EQ(CceVersionFromFileVersion("2, 67, 0, 23"), 5);
    EXPECT_EQ(CceVersionFromFileVersion("2.67.00.23"), 99);
    EXPECT_EQ(CceVersionFromFileVersion(""), 99);
    EXPECT_EQ(CceVersionLine(5), "CCE Version 2.66.00.10 found.");
    EXPECT_EQ(CceVersionLine(0), "CCE Executable not found.");
    EXPECT_EQ(CceVersionLine(99), "Unknown or unsupported CCE Executable found!");
}
