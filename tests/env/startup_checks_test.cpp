// The start-up checks in a program folder laid out by the test: every line and level, the
// fatal exits with their boxes, and the lookups of the runner and the encoder.
#include "env/startup_checks.h"
#include "env/version_block.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/memory_dialog.h"
#include "platform/message_boxes.h"
#include "store/paths.h"
#include "support/test_support.h"
#include "version_files.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace env;
using testing_support::TempDir;
using testing_support::TempStore;
using testing_support::WriteFile;
namespace ids = platform::main_window;

namespace {

class Boxes : public platform::MessageBoxes {
public:
    int ShowError(const std::string& text, const std::string&,
                  platform::MessageBoxButtons buttons) override {
        shown.push_back(text);
        lastButtons = buttons;
        return answer;
    }
    std::vector<std::string> shown;
    platform::MessageBoxButtons lastButtons = platform::MessageBoxButtons::Ok;
    int answer = platform::kAnswerOk;
};

std::string Versioned(const std::string& product, const std::string& productVersion,
                      const std::string& fileVersion) {
    VersionDescription d;
    d.productName = product;
    d.productVersion = productVersion;
    d.fileVersion = fileVersion;
    return version_files::MakeElf(BuildVersionBlock(d));
}

// A program folder with vantaq, EclCCE and its ini, an encoder, the frame server and help.
struct Folder {
    TempDir dir;
    TempStore store;
    testing_support::LogLines lines;
    logging::Log log{lines, dir.File("vantaq.log")};
    platform::MemoryDialog dialog{platform::MainWindowControls()};
    Boxes boxes;
    std::vector<std::string> started;
    std::vector<int> exits;
    std::string os;
    StartupServices services;
    StartupResult result;

    Folder() {
        std::filesystem::create_directories(dir.File("system"));
        WriteFile(dir.File("vantaq"), Versioned("Vantaq", "1.0.1.0", "1, 0, 1, 0"));
        WriteFile(dir.File("EclCCE"), Versioned("EclCCE", "1.0", "1, 0, 0, 3"));
        SetEncoder("2, 67, 0, 23");
        WriteFile(dir.File("system/libavisynth.so"), Versioned("fs", "0.1", "0, 1, 0, 0"));
        WriteFile(dir.File("vantaq.html"), "<html></html>");
        services.store = &store.Store();
        services.log = &log;
        services.dialog = &dialog;
        services.boxes = &boxes;
        services.programPath = dir.File("vantaq");
        services.systemDirectory = dir.File("system");
        services.startRunner = [this](const std::string& line) { started.push_back(line); };
        services.sleep = [](int) {};
        services.exit = [this](int status) { exits.push_back(status); };
        services.getEnv = [this](const char*) { return os; };
    }
    void SetEncoder(const std::string& fileVersion) {
        WriteFile(dir.File("cce"), Versioned("CCE", "2", fileVersion));
        WriteFile(dir.File("EclCCE.ini"), "[EclCCE]\r\nCCE=" + dir.File("cce") + "\r\n");
    }
    bool Run() { return LoadSystemInfo(services, result); }
    bool Logged(const std::string& line) const {
        return std::find(lines.rows.begin(), lines.rows.end(), line) != lines.rows.end();
    }
};

} // namespace

TEST(StartupChecks, EmptyStoreInAFullFolder) {
    Folder f;
    // The first start creates the program's key, so the default templates are there at once.
    EXPECT_TRUE(f.Run());
    EXPECT_EQ(f.dialog.GetTitle(), "Vantaq 1.0.1.0");
    std::vector<std::string> expected = {
        "0 Vantaq 1.0.1.0 Started!!!",
        "1 OS Kernel =  (Unknown Stability)",
        "0 ECLCCE Executable version 1.0.0.3 found.",
        "0 CCE Version 2.66.00.10 found.",
        "0 Avisynth.dll version 0.1.0.0 found!",
    };
    ASSERT_GE(f.lines.rows.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(f.lines.rows.begin(), f.lines.rows.begin() + 5), expected);
    EXPECT_FALSE(f.Logged("3 Help file found.")); // debug lines are off until the box is read
    EXPECT_EQ(f.result.helpFile, f.dir.File("vantaq.html"));
    EXPECT_TRUE(f.Logged("0 Setting OutputDir value to NULL."));
    EXPECT_EQ(f.lines.rows.back(), "1 WARNING: Some system values were set to default values");
    EXPECT_TRUE(f.result.settings.m_OutputSameDir);
    EXPECT_EQ(f.result.templates.names,
              (std::vector<std::string>{"Reroziz-Urud", "Multipass VBR", "One Pass VBR", "CBR"}));
    EXPECT_EQ(f.dialog.GetCount(ids::kTemplateList), 4);
    EXPECT_TRUE(f.boxes.shown.empty());
    EXPECT_TRUE(f.exits.empty());
}

TEST(StartupChecks, PreparedStoreLoadsEverythingQuietly) {
    Folder f;
    auto& s = f.store.Store();
    for (const char* name : {"DeleteMPV", "AutoBias", "CCEPriority", "HideCCEWindow",
                             "OutputSameDir", "EnableLogging", "LogDebugInfo"}) {
        s.WriteNumber(store::kHive, store::kRootPath, name, 1);
    }
    s.WriteString(store::kHive, store::kRootPath, "OutputDirectory", "/out");
    WriteFile(f.dir.File("vantaq.log"), std::string(2048, 'x'));
    f.os = "Windows_NT";
    EXPECT_TRUE(f.Run());
    EXPECT_TRUE(f.Logged("0 OS Kernel = Windows_NT (Good)"));
    EXPECT_TRUE(f.log.EnableLogging());
    EXPECT_TRUE(f.dialog.IsChecked(ids::kLogDebugInfo));
    EXPECT_TRUE(f.result.settings.m_DeleteMpv);
    EXPECT_EQ(f.result.settings.m_OutputDirectory, "/out");
    EXPECT_EQ(f.dialog.GetCount(ids::kTemplateList), 4);
    EXPECT_EQ(f.dialog.GetRowText(ids::kTemplateList, 0), "Reroziz-Urud");
    EXPECT_EQ(f.dialog.GetText(ids::kTemplateOrder), "0123");
    // The lines of this start are in the file already when its size is taken.
    EXPECT_EQ(f.lines.rows.back().rfind("0 Log file is: 2.", 0), 0u) << f.lines.rows.back();
    // Logging was on from the first line: the file holds every line after its old bytes.
    std::string file = testing_support::ReadFile(f.dir.File("vantaq.log"));
    EXPECT_NE(file.find("  Vantaq 1.0.1.0 Started!!!\r\n"), std::string::npos);
}

TEST(StartupChecks, BetaCaptionAndNoVersionInfo) {
    Folder f;
    WriteFile(f.dir.File("vantaq"), Versioned("Vantaq", "1.0.1.5", "1, 0, 1, 5"));
    f.Run();
    EXPECT_EQ(f.dialog.GetTitle(), "Vantaq 1.0.1.5 Beta");
    Folder g;
    WriteFile(g.dir.File("vantaq"), "#!/bin/sh\n");
    WriteFile(g.dir.File("EclCCE"), "#!/bin/sh\n");
    EXPECT_FALSE(g.Run());
    EXPECT_EQ(g.lines.rows[0], "2 Error getting version info!!!");
    EXPECT_TRUE(g.Logged("1 ECLCCE Executable found, could not get version info!"));
    EXPECT_TRUE(g.Logged("0 CCE Version 2.66.00.10 found."));
}

TEST(StartupChecks, MissingRunnerSkipsTheEncoderAndGoesOn) {
    Folder f;
    std::filesystem::remove(f.dir.File("EclCCE"));
    f.Run();
    EXPECT_TRUE(f.Logged("2 ERROR: ECLCCE Executable not found!!!"));
    EXPECT_FALSE(f.Logged("0 CCE Version 2.66.00.10 found."));
    EXPECT_TRUE(f.boxes.shown.empty());
    EXPECT_TRUE(f.Logged("0 Avisynth.dll version 0.1.0.0 found!"));
    EXPECT_EQ(GetCceVersion(f.dir.File("vantaq")), 0);
}

TEST(StartupChecks, EncoderNotFoundEndsWithStatus27) {
    for (int answer : {platform::kAnswerOk, platform::kAnswerCancel}) {
        Folder f;
        f.boxes.answer = answer;
        WriteFile(f.dir.File("EclCCE.ini"), "[EclCCE]\r\nCCE=" + f.dir.File("gone") + "\r\n");
        EXPECT_FALSE(f.Run());
        EXPECT_TRUE(f.Logged("2 CCE Executable not found."));
        ASSERT_EQ(f.boxes.shown.size(), 1u);
        EXPECT_EQ(f.boxes.shown[0], "CCE Executable associated with EclCCE could not be found."
                                    "\n\nPlease reconfigure EclCCE and restart Vantaq.");
        EXPECT_EQ(f.boxes.lastButtons, platform::MessageBoxButtons::OkCancel);
        EXPECT_EQ(f.exits, std::vector<int>{27});
        EXPECT_EQ(f.started.size(), answer == platform::kAnswerOk ? 1u : 0u);
        EXPECT_FALSE(f.Logged("0 Avisynth.dll version 0.1.0.0 found!"));
    }
}

TEST(StartupChecks, UnsupportedEncoderAndMissingFrameServer) {
    Folder f;
    f.SetEncoder("2, 67, 0, 24");
    EXPECT_FALSE(f.Run());
    EXPECT_TRUE(f.Logged("2 Unknown or unsupported CCE Executable found!"));
    EXPECT_EQ(f.boxes.lastButtons, platform::MessageBoxButtons::Ok);
    EXPECT_EQ(f.started, std::vector<std::string>{"\"" + f.dir.File("EclCCE") + "\""});
    EXPECT_EQ(f.exits, std::vector<int>{27});

    Folder g;
    WriteFile(g.dir.File("cce"), "no version resource");
    EXPECT_EQ(GetCceVersion(g.dir.File("vantaq")), 99);

    Folder h;
    std::filesystem::remove(h.dir.File("system/libavisynth.so"));
    EXPECT_FALSE(h.Run());
    EXPECT_TRUE(h.Logged("1 Warning: Avisynth.dll not found in system directory!"));
    EXPECT_TRUE(h.Logged("1 Avisynth (.avs) files will not work unless you install Avisynth!"));
    EXPECT_EQ(h.boxes.shown.back(),
              "Avisynth.dll could not be found.\n\nPlease install Avisynth and restart Vantaq.");
    EXPECT_EQ(h.exits, std::vector<int>{27});
    EXPECT_TRUE(h.started.empty());
}

TEST(StartupChecks, HelpFileLinesNeedDebugOutputAlreadyOn) {
    Folder f;
    f.log.SetDebugInfo(true);
    std::filesystem::remove(f.dir.File("vantaq.html"));
    f.Run();
    EXPECT_TRUE(f.Logged("1 Could not find Vantaq.chm (Help File)"));
    EXPECT_TRUE(f.result.helpFile.empty());
    Folder g;
    g.log.SetDebugInfo(true);
    g.Run();
    EXPECT_TRUE(g.Logged("3 Help file found."));
    EXPECT_TRUE(g.Logged("3  File: " + g.dir.File("vantaq.html")));
}
