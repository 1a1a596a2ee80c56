// The log: debug filter, line format, scrolling, the file, Delete Log and the size line.
#include "log/log.h"
#include "store/paths.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

using namespace logging;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;

namespace {

struct Row {
    int level;
    std::string text;
};

class MemoryLogView : public LogView {
public:
    void AppendRow(int level, const std::string& text) override { rows.push_back({level, text}); }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    void SetTopRow(int row) override { top = row; }

    std::vector<Row> rows;
    int top = 0;
};

// 13:05:09 local time on some day.
std::time_t FixedTime() {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = 13;
    t.tm_min = 5;
    t.tm_sec = 9;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

struct LogFixture {
    TempDir dir;
    MemoryLogView view;
    Log log{view, dir.File("vantaq.log"), [] { return FixedTime(); }};
};

} // namespace

TEST(Log, LineFormatAndDebugFilter) {
    LogFixture f;
    f.log.SetEnableLogging(true);
    f.log.Write("hidden detail", kLogDebug);
    EXPECT_TRUE(f.view.rows.empty());
    EXPECT_FALSE(FileExists(f.log.FilePath()));

    f.log.SetDebugInfo(true);
    f.log.Write("detail", kLogDebug);
    f.log.Write("ERROR: oops", kLogError);
    ASSERT_EQ(f.view.rows.size(), 2u);
    EXPECT_EQ(f.view.rows[0].level, kLogDebug);
    EXPECT_EQ(f.view.rows[0].text, "13:05:09  detail");
    EXPECT_EQ(f.view.rows[1].level, kLogError);
    EXPECT_EQ(ReadFile(f.log.FilePath()), "13:05:09  detail\r\n13:05:09  ERROR: oops\r\n");
}

TEST(Log, LongMessagesAreCutAtACharacterStart) {
    LogFixture f;
    f.log.SetEnableLogging(true);
    // "é" is two bytes; the limit falls inside the one after the ASCII part.
    std::string message =
        std::string(kMaxLogMessageBytes - 1, 'a') + "\xc3\xa9" + std::string(1 << 20, 'b');
    f.log.Write(message, kLogError);
    f.log.Write(std::string(kMaxLogMessageBytes, 'c'), kLogInfo);
    ASSERT_EQ(f.view.rows.size(), 2u);
    std::string cut = "13:05:09  " + std::string(kMaxLogMessageBytes - 1, 'a') + "... (" +
                      std::to_string(message.size() - (kMaxLogMessageBytes - 1)) +
                      " more bytes left out)";
    EXPECT_EQ(f.view.rows[0].text, cut);
    EXPECT_EQ(f.view.rows[1].text, "13:05:09  " + std::string(kMaxLogMessageBytes, 'c'));
    EXPECT_EQ(ReadFile(f.log.FilePath()).size(), cut.size() + f.view.rows[1].text.size() + 4);
}

TEST(Log, NewestFiveRowsInView) {
    LogFixture f;
    for (int i = 0; i < 5; ++i) {
        f.log.Write("line", kLogInfo);
    }
    EXPECT_EQ(f.view.top, 0);
    f.log.Write("sixth", kLogInfo);
    EXPECT_EQ(f.view.top, 1);
    f.log.Write("seventh", kLogWarning);
    EXPECT_EQ(f.view.top, 2);
}

TEST(Log, FileOnlyWhileEnabledAndAppendsToExisting) {
    LogFixture f;
    f.log.Write("not in file", kLogInfo);
    EXPECT_FALSE(FileExists(f.log.FilePath()));
    ASSERT_TRUE(testing_support::WriteFile(f.log.FilePath(), "old\r\n"));
    f.log.SetEnableLogging(true);
    f.log.Write("new", kLogInfo);
    EXPECT_EQ(ReadFile(f.log.FilePath()), "old\r\n13:05:09  new\r\n");
    // A job name with line breaks stays one entry on one line.
    f.log.Write("Starting Job: a\r\n13:05:09  forged\rb\nc", kLogInfo);
    EXPECT_EQ(ReadFile(f.log.FilePath()),
              "old\r\n13:05:09  new\r\n13:05:09  Starting Job: a  13:05:09  forged b c\r\n");
    EXPECT_EQ(f.view.rows.back().text, "13:05:09  Starting Job: a  13:05:09  forged b c");
}

TEST(Log, UnwritableFileStillShowsTheLine) {
    TempDir dir;
    MemoryLogView view;
    Log log(view, dir.File("missing-folder/vantaq.log"));
    log.SetEnableLogging(true);
    log.Write("still listed", kLogInfo);
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_NE(view.rows[0].text.find("  still listed"), std::string::npos);
}

TEST(Log, DeleteLogWithLoggingOffAndOn) {
    LogFixture f;
    ASSERT_TRUE(testing_support::WriteFile(f.log.FilePath(), "x\r\n"));
    f.log.DeleteLogFile();
    EXPECT_FALSE(FileExists(f.log.FilePath()));
    EXPECT_EQ(f.view.rows.back().text, "13:05:09  Log file deleted");
    f.log.DeleteLogFile();
    EXPECT_EQ(f.view.rows.back().text, "13:05:09  Log file not found");

    ASSERT_TRUE(testing_support::WriteFile(f.log.FilePath(), "x\r\n"));
    f.log.SetEnableLogging(true);
    f.log.DeleteLogFile();
    EXPECT_EQ(ReadFile(f.log.FilePath()), "13:05:09  Log file deleted\r\n");
}

TEST(Log, SizeLineAtTheHundredKilobyteBoundary) {
    LogFixture f;
    f.log.ReportFileSize();
    EXPECT_TRUE(f.view.rows.empty());
    ASSERT_TRUE(testing_support::WriteFile(f.log.FilePath(), std::string(100 * 1024, 'a')));
    f.log.ReportFileSize();
    ASSERT_EQ(f.view.rows.size(), 1u);
    EXPECT_EQ(f.view.rows[0].text, "13:05:09  Log file is: 100.00 KB");
    EXPECT_EQ(f.view.rows[0].level, kLogInfo);
    ASSERT_TRUE(testing_support::WriteFile(f.log.FilePath(), std::string(100 * 1024 + 1, 'a')));
    f.log.ReportFileSize();
    EXPECT_EQ(f.view.rows[1].text, "13:05:09  Log file is: 100.00 KB");
    EXPECT_EQ(f.view.rows[1].level, kLogWarning);
}

TEST(Log, FilePathBesideTheProgramNeverTheProgram) {
    EXPECT_EQ(LogFilePath("C:\\Tools\\app.exe"), "C:\\Tools\\app.log");
    EXPECT_EQ(LogFilePath("/opt/vantaq/app.exe"), "/opt/vantaq/app.log");
    EXPECT_EQ(LogFilePath("/opt/vantaq/vantaq"), "/opt/vantaq/vantaq.log");
    EXPECT_EQ(LogFilePath("/opt/my.exe.d/vantaq"), "/opt/my.exe.d/vantaq.log");
    EXPECT_EQ(LogFilePath("/opt/bin/.exe"), "/opt/bin/.exe.log");
    EXPECT_EQ(LogFilePath("/opt/bin/APP.EXE"), "/opt/bin/APP.EXE.log");
    // An unknown program has no log file, rather than one in the current folder.
    EXPECT_EQ(LogFilePath(""), "");
}

TEST(Log, DebugInfoBoxIsKeptInTheStore) {
    testing_support::TempStore t;
    LogFixture f;
    EXPECT_FALSE(ReadLogDebugInfo(t.Store()));
    OnLogDebugInfo(t.Store(), f.log, true);
    EXPECT_TRUE(f.log.DebugInfo());
    uint32_t n = 0;
    ASSERT_TRUE(t.Store().ReadNumber(store::kHive, store::kRootPath, "LogDebugInfo", n));
    EXPECT_EQ(n, 1u);
    EXPECT_TRUE(ReadLogDebugInfo(t.Store()));
    OnLogDebugInfo(t.Store(), f.log, false);
    EXPECT_FALSE(ReadLogDebugInfo(t.Store()));
    EXPECT_FALSE(f.log.DebugInfo());
}
