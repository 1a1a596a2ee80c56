// CCEData job lists as the program reads them: versions, field splitting, skipped lines, the
// full format's fields and chapter points, and files that are no job list, driven through a
// recording job builder and an in-memory editor.
#include "run/cce_data.h"
#include "run/cce_data_import.h"

#include "jobs/job_builder.h"
#include "jobs/job_panels.h"
#include "platform/control_ids.h"
#include "platform/memory_dialog.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <unistd.h>

using namespace platform::main_window;
using testing_support::LogLines;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// What the editor held when a job was added.
struct AddedJob {
    std::string input;
    int min, max, avg, passes, bias, quality;
    std::string start, end;
    int startLow, startHigh, endLow, endHigh;
    int aspect; // checked control of 1008..1010
    bool alternateScan, progressive, topFieldFirst;
    std::string chapters;
};

// Plays the editor's part the way the real one does, on the same dialog, and records each
// call. A source takes 1000 frames, a template sets bias 20, quality 50, 4:3, top field first.
class RecordingBuilder : public jobs::JobBuilder {
public:
    RecordingBuilder(platform::Dialog& dialog, std::vector<std::string>& calls)
        : m_Dialog(dialog), m_Calls(calls) {}

    bool ShowSourceInfo(const std::string& path) override {
        m_Calls.push_back("show " + path);
        if (unreadable.count(path) != 0) {
            return true;
        }
        m_Dialog.SetText(kInfoFrames, "1000");
        return false;
    }
    void FillNewJob(const std::string& path) override {
        m_Calls.push_back("fill " + path);
        m_Dialog.SetText(kInputFile, path);
        m_Dialog.SetText(kChapterList, "0,100");
        m_Dialog.SetSpinRange(kStartFrameSpin, 0, 999);
        m_Dialog.SetSpinRange(kEndFrameSpin, 1, 1000);
        m_Dialog.SetText(kStartFrame, "0");
        m_Dialog.SetText(kEndFrame, "1000");
    }
    void SelectTemplate(int position) override {
        m_Calls.push_back("template " + std::to_string(position));
        m_Dialog.SetSpinPos(kBiasSpin, 20);
        m_Dialog.SetSpinPos(kQualitySpin, 50);
        // The last template is for square pixels.
        m_Dialog.CheckRadioButton(kAspectSquare, kAspect16x9,
                                  position == 3 ? kAspectSquare : kAspect4x3);
        m_Dialog.SetCheck(kTopFieldFirst, true);
        m_Dialog.SetCheck(kProgressive, false);
        m_Dialog.SetCheck(kAlternateScan, false);
    }
    void ApplyAutoBias() override {
        m_Calls.push_back("autobias " + std::to_string(m_Dialog.GetSpinPos(kBitrateAvgSpin)));
    }
    void AddOrReplaceJob() override {
        m_Calls.push_back("add");
        AddedJob j{};
        j.input = m_Dialog.GetText(kInputFile);
        j.min = m_Dialog.GetSpinPos(kBitrateMinSpin);
        j.max = m_Dialog.GetSpinPos(kBitrateMaxSpin);
        j.avg = m_Dialog.GetSpinPos(kBitrateAvgSpin);
        j.passes = m_Dialog.GetSpinPos(kPassesSpin);
        j.bias = m_Dialog.GetSpinPos(kBiasSpin);
        j.quality = m_Dialog.GetSpinPos(kQualitySpin);
        j.start = m_Dialog.GetText(kStartFrame);
        j.end = m_Dialog.GetText(kEndFrame);
        m_Dialog.GetSpinRange(kStartFrameSpin, j.startLow, j.startHigh);
        m_Dialog.GetSpinRange(kEndFrameSpin, j.endLow, j.endHigh);
        j.aspect = m_Dialog.GetCheckedRadioButton(kAspectSquare, kAspect16x9);
        j.alternateScan = m_Dialog.IsChecked(kAlternateScan);
        j.progressive = m_Dialog.IsChecked(kProgressive);
        j.topFieldFirst = m_Dialog.IsChecked(kTopFieldFirst);
        j.chapters = m_Dialog.GetText(kChapterList);
        jobs.push_back(j);
    }

    std::set<std::string> unreadable;
    std::vector<AddedJob> jobs;

private:
    platform::Dialog& m_Dialog;
    std::vector<std::string>& m_Calls;
};

struct CceDataFixture : ::testing::Test {
    TempDir dir;
    testing_support::TempStore store;
    LogLines lines;
    logging::Log log{lines, ""};
    platform::MemoryDialog dialog{platform::MainWindowControls()};
    std::vector<std::string> calls;
    RecordingBuilder builder{dialog, calls};

    CceDataFixture() {
        log.SetDebugInfo(true);
        jobs::SetJobSpinRanges(dialog);
        for (const char* name : {"Reroziz-Urud", "Multipass VBR", "One Pass VBR", "CBR"}) {
            dialog.InsertRow(kTemplateList, -1, name);
        }
    }
    // Reads the list at `path` as the window does, in slices; the jobs added.
    int ImportPath(const std::string& path) {
        run::CceDataImport import(path, builder, dialog, log, store.Store());
        if (!import.Begin()) {
            return 0;
        }
        while (import.Step(nullptr, 0)) {
        }
        import.End();
        return import.Added();
    }
    int Import(const std::string& text) {
        std::string path = dir.File("CCEData.txt");
        EXPECT_TRUE(WriteFile(path, text));
        return ImportPath(path);
    }
};

TEST_F(CceDataFixture, PlainLinesDriveTheEditorInOrder) {
    EXPECT_EQ(Import("/v/a.avi,2000,8000,5000,1,2\r\n/v/b.avs,0,9000,4000,3,1\r\n"), 2);
    EXPECT_EQ(calls, (std::vector<std::string>{
                         "show /v/a.avi", "fill /v/a.avi", "template 1", "autobias 5000", "add",
                         "show /v/b.avs", "fill /v/b.avs", "template 3", "autobias 4000", "add"}));
    ASSERT_EQ(builder.jobs.size(), 2u);
    const AddedJob& b = builder.jobs[1];
    EXPECT_EQ(b.input, "/v/b.avs");
    EXPECT_EQ(b.min, 0);
    EXPECT_EQ(b.max, 9000);
    EXPECT_EQ(b.avg, 4000);
    EXPECT_EQ(b.passes, 1); // "1\r": the CR ends the number
    // The plain format leaves the template's and source's values alone.
    EXPECT_EQ(b.bias, 20);
    EXPECT_EQ(b.chapters, "0,100");
    EXPECT_EQ(b.end, "1000");
    EXPECT_EQ(lines.rows,
              (std::vector<std::string>{
                  "3 CCEData.txt lines: 2", "3 No CCEData version specified, using 1.0.0.0",
                  "0 Job list " + dir.File("CCEData.txt") + ": 2 jobs added"}));
    EXPECT_EQ(dialog.BadAccesses(), 0);
}

TEST_F(CceDataFixture, EmptyFieldsVanishAndMissingOnesReadZero) {
    Import(",,/v/a.avi,,4000\n/v/b.avi,3000,,,6000,,,2,,");
    ASSERT_EQ(builder.jobs.size(), 2u);
    EXPECT_EQ(builder.jobs[0].min, 4000);
    EXPECT_EQ(builder.jobs[0].max, 500);  // missing: 0, clamped into 500..9800
    EXPECT_EQ(builder.jobs[0].passes, 1); // missing: 0, clamped into 1..9
    EXPECT_EQ(builder.jobs[1].max, 6000);
    EXPECT_EQ(builder.jobs[1].avg, 500); // "2" moved forward, clamped into 500..9800
    EXPECT_EQ(calls[calls.size() - 3], "template 0");
}

TEST_F(CceDataFixture, SkipsNoCceUnreadableAndEmptyLines) {
    builder.unreadable.insert("/v/broken.avi");
    Import("\n\n/v/x-no-cce.avi,1,2,3,0,1\r\n\r\n/v/NO-CCE.avi,1,2,3,0,1\n"
           "/v/broken.avi,1,2,3,0,1\n\n/v/No-Cce.avi,1,2,3,0,1\n\n");
    ASSERT_EQ(builder.jobs.size(), 1u);
    EXPECT_EQ(builder.jobs[0].input, "/v/No-Cce.avi");
    // The unreadable source was shown and nothing else was done for it.
    EXPECT_EQ(calls[0], "show /v/broken.avi");
    EXPECT_EQ(calls[1], "show /v/No-Cce.avi");
    EXPECT_EQ(lines.rows[0], "3 CCEData.txt lines: 4");
}

TEST_F(CceDataFixture, VersionLineRules) {
    Import(";   1.0.0.0\t\r\n/v/a.avi,1,2,3,0,1\n");
    EXPECT_EQ(lines.rows[1], "3 No CCEData version specified, using 1.0.0.0");
    EXPECT_EQ(builder.jobs.size(), 1u);

    // One part only: no version, and the line itself is data.
    lines.rows.clear();
    calls.clear();
    Import(";1.0.1.5\n/v/a.avi,1,2,3,0,1\n");
    EXPECT_EQ(lines.rows[1], "3 No CCEData version specified, using 1.0.0.0");
    EXPECT_EQ(calls[0], "show ;1.0.1.5");

    // An unknown version is named but read as the plain format.
    lines.rows.clear();
    builder.jobs.clear();
    Import("; 2.0\n/v/a.avi,1,2,3,0,1\n");
    EXPECT_EQ(lines.rows[1], "3 CCEData version 2.0");
    ASSERT_EQ(builder.jobs.size(), 1u);
    EXPECT_EQ(builder.jobs[0].input, "/v/a.avi");
}

TEST_F(CceDataFixture, FullLinesApplyEveryFieldThatIsNotMinusOne) {
    Import("; 1.0.1.5\r\n"
           "7,/v/a.avi,1000,8000,6000,2,3,40,60,10,900,1,1,1,0,300,600\r\n"
           "7,/v/b.avi,1000,8000,6000,2,3,-1,-1,-1,900,-1,-1,-1,-1\r\n"
           "7,/v/c.avi,1000,8000,6000,2,3,40,60,0,0,0,0,1,1\r\n");
    ASSERT_EQ(builder.jobs.size(), 3u);
    EXPECT_EQ(calls[2], "template 2");
    const AddedJob& a = builder.jobs[0];
    EXPECT_EQ(a.input, "/v/a.avi");
    EXPECT_EQ(a.min, 1000);
    EXPECT_EQ(a.avg, 6000);
    EXPECT_EQ(a.passes, 3);
    EXPECT_EQ(a.bias, 40);
    EXPECT_EQ(a.quality, 60);
    EXPECT_EQ(a.start, "10");
    EXPECT_EQ(a.end, "900");
    EXPECT_EQ(a.startHigh, 999);
    EXPECT_EQ(a.endHigh, 1000);
    EXPECT_EQ(a.aspect, kAspect16x9);
    EXPECT_TRUE(a.alternateScan);
    EXPECT_TRUE(a.progressive);
    EXPECT_FALSE(a.topFieldFirst);
    EXPECT_EQ(a.chapters, "300,600");

    // -1 keeps what the template and the source gave.
    const AddedJob& b = builder.jobs[1];
    EXPECT_EQ(b.bias, 20);
    EXPECT_EQ(b.quality, 50);
    EXPECT_EQ(b.start, "0");
    EXPECT_EQ(b.end, "1000");
    EXPECT_EQ(b.aspect, kAspect4x3);
    EXPECT_TRUE(b.topFieldFirst);
    EXPECT_EQ(b.chapters, "0,100");

    // First frame 0 and last frame 0: the range stays as the source gave it.
    const AddedJob& c = builder.jobs[2];
    EXPECT_EQ(c.start, "0");
    EXPECT_EQ(c.end, "1000");
    EXPECT_EQ(c.aspect, kAspect4x3);
    EXPECT_TRUE(c.progressive);

    EXPECT_TRUE(lines.Has("3 CCEData version 1.0.1.5"));
    EXPECT_EQ(
        std::count(lines.rows.begin(), lines.rows.end(), "0 Chapter list overwritten by CCEData!"),
        1);
    EXPECT_EQ(dialog.BadAccesses(), 0);
}

TEST_F(CceDataFixture, AspectFieldLeavesOneChoiceAndUnknownTemplatesAddNoJob) {
    // Template 3 checks the square-pixel choice; the line's 16:9 replaces it.
    Import("; 1.0.1.5\n"
           "7,/v/a.avi,1000,8000,6000,3,2,-1,-1,-1,0,1,-1,-1,-1\n"
           "7,/v/b.avi,1000,8000,6000,4,2,-1,-1,-1,0,1,-1,-1,-1\n"
           "7,/v/c.avi,1000,8000,6000,-1,2,-1,-1,-1,0,0,-1,-1,-1\n"
           "7,/v/d.avi,1000,8000,6000,3,2,-1,-1,-1,0,0,-1,-1,-1\n");
    ASSERT_EQ(builder.jobs.size(), 2u);
    EXPECT_EQ(builder.jobs[0].input, "/v/a.avi");
    EXPECT_EQ(builder.jobs[0].aspect, kAspect16x9);
    EXPECT_FALSE(dialog.IsChecked(kAspectSquare));
    EXPECT_EQ(builder.jobs[1].input, "/v/d.avi");
    EXPECT_EQ(builder.jobs[1].aspect, kAspect4x3);
    EXPECT_TRUE(lines.Has("2 ERROR: CCEData line 3 names template 4, which is not in the template "
                          "list; no job added"));
    EXPECT_TRUE(lines.Has("2 ERROR: CCEData line 4 names template -1, which is not in the template "
                          "list; no job added"));
    // Nothing of those lines reached the editor.
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const std::string& c) { return c.rfind("show", 0) == 0; }),
              2);
}

TEST_F(CceDataFixture, ShortFullLineIsReportedAndNotAdded) {
    Import("; 1.0.1.5\n7,/v/a.avi,1000,8000,6000,0,2\n7,/v/b.avi,1000,8000,6000,0,2,30\n"
           "7,/v/c.avi,1000,8000,6000,0,2,-1,-1,-1,0,-1,-1,-1,-1\n");
    // Missing fields would have set bias, quality and the flags to 0: only the whole line is a job.
    ASSERT_EQ(builder.jobs.size(), 1u);
    EXPECT_EQ(builder.jobs[0].input, "/v/c.avi");
    // Counted among the non-empty lines from 1, the version line included.
    EXPECT_TRUE(lines.Has("2 ERROR: Could not process CCEData line 2! It has 7 fields; a version "
                          "1.0.1.5 line has at least 15. No job added"));
    EXPECT_TRUE(lines.Has("2 ERROR: Could not process CCEData line 3! It has 8 fields; a version "
                          "1.0.1.5 line has at least 15. No job added"));
    EXPECT_EQ(calls.front(), "show /v/c.avi");
}

TEST_F(CceDataFixture, ChapterFieldsAreTrimmedAndCarryNoLineBreaks) {
    Import("; 1.0.1.5\n"
           "7,/v/a.avi,1,2,3,0,1,-1,-1,-1,0,-1,-1,-1,-1, 0,120\r,240 \r\n"
           "7,/v/b.avi,1,2,3,0,1,-1,-1,-1,0,-1,-1,-1,-1,\r\n");
    ASSERT_EQ(builder.jobs.size(), 2u);
    EXPECT_EQ(builder.jobs[0].chapters, "0,120,240");
    // A lone CR field after field 14 still replaces the list, with an empty one.
    EXPECT_EQ(builder.jobs[1].chapters, "");
}

TEST_F(CceDataFixture, OddNumbersStayInsideTheControls) {
    Import("; 1.0.1.5\n"
           "x,/v/a.avi,99999999999,-99999999999,70000,0,1,40,60,-1,0,2,5,-1,-1\n");
    ASSERT_EQ(builder.jobs.size(), 1u);
    EXPECT_EQ(builder.jobs[0].min, 0);             // INT_MAX: low 16 bits -1, clamped
    EXPECT_EQ(builder.jobs[0].max, 500);           // INT_MIN: low 16 bits 0, clamped
    EXPECT_EQ(builder.jobs[0].avg, 4464);          // 70000: low 16 bits
    EXPECT_EQ(builder.jobs[0].aspect, kAspect4x3); // 2 names no choice: template's kept
    EXPECT_TRUE(builder.jobs[0].alternateScan);    // 5 ticks the box
    EXPECT_EQ(dialog.BadAccesses(), 0);
}

TEST_F(CceDataFixture, MissingFileAndQuotedPath) {
    std::string missing = dir.File("none.txt");
    EXPECT_EQ(ImportPath("\"" + missing + "\""), 0);
    EXPECT_EQ(lines.rows,
              std::vector<std::string>{"2 ERROR: The file (" + missing + ") does not exist"});
    EXPECT_TRUE(calls.empty());

    std::string quoted = dir.File("with space.txt");
    ASSERT_TRUE(WriteFile(quoted, "/v/a.avi,1,2,3,0,1\n"));
    EXPECT_EQ(ImportPath("\"" + quoted + "\""), 1);
    EXPECT_EQ(builder.jobs.size(), 1u);

    // A name that really holds quotes and blanks is taken as it is.
    std::string named = dir.File("my \"night\" list.txt");
    ASSERT_TRUE(WriteFile(named, "/v/b.avi,1,2,3,0,1\n"));
    EXPECT_EQ(ImportPath(named), 1);
    EXPECT_EQ(builder.jobs.back().input, "/v/b.avi");

    // A folder, a FIFO or a device is no job list, and is not waited on or read.
    std::string fifo = dir.File("fifo.txt");
    ASSERT_TRUE(testing_support::MakeFifo(fifo));
    for (const std::string& other : {dir.Path(), fifo, std::string("/dev/zero")}) {
        lines.rows.clear();
        int added = -1;
        EXPECT_TRUE(
            testing_support::EndsWithoutWaitingOn(fifo, [&] { added = ImportPath(other); }));
        EXPECT_EQ(added, 0);
        EXPECT_EQ(lines.rows, std::vector<std::string>{"2 ERROR: The file (" + other +
                                                       ") is not a regular file"});
    }
}

// Files that are no text are refused whole, naming the line, after reading at most a piece
// past it: a list of NUL bytes as large as a list may be, one over that size, a line over the
// line limit, control characters and bytes that are no UTF-8.
TEST_F(CceDataFixture, ListsThatAreNoTextAreRefusedWholeNamingTheLine) {
    auto sized = [this](const std::string& name, uint64_t size) {
        std::string path = dir.File(name);
        EXPECT_TRUE(WriteFile(path, ""));
        EXPECT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0);
        return path;
    };
    const std::string good = "/v/a.avi,1,2,3,0,1\n";
    const std::string maxLine = std::to_string(run::kMaxJobListLineBytes);
    const std::pair<std::string, std::string> cases[] = {
        {sized("nul.txt", run::kMaxJobListBytes), "was not read: line 1 holds a NUL byte"},
        {sized("huge.txt", 1ull << 30), "holds 1073741824 bytes; a job list may hold at most " +
                                            std::to_string(run::kMaxJobListBytes)},
        {dir.File("long.txt"), "was not read: line 3 is longer than " + maxLine + " bytes"},
        {dir.File("bell.txt"), "was not read: line 2 holds the control character 0x07"},
        {dir.File("latin1.txt"), "was not read: line 2 is not UTF-8 text"},
        {dir.File("overlong.txt"), "was not read: line 1 is not UTF-8 text"},
    };
    ASSERT_TRUE(WriteFile(dir.File("long.txt"),
                          good + "\n" + std::string(run::kMaxJobListLineBytes + 1, 'x') + "\n"));
    ASSERT_TRUE(WriteFile(dir.File("bell.txt"), good + "/v/b\a.avi,1,2,3,0,1\n"));
    ASSERT_TRUE(WriteFile(dir.File("latin1.txt"), good + "/v/caf\xe9.avi,1,2,3,0,1\n"));
    ASSERT_TRUE(WriteFile(dir.File("overlong.txt"), "/v/\xc0\xaf.avi,1,2,3,0,1\n"));
    for (const auto& [path, why] : cases) {
        lines.rows.clear();
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ImportPath(path), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << path;
        std::string expected = why.rfind("was", 0) == 0 ? "2 ERROR: The job list (" + path + ") " +
                                                              why + "; no job was added"
                                                        : "2 ERROR: The file (" + path + ") " + why;
        EXPECT_EQ(lines.rows, std::vector<std::string>{expected});
    }
    EXPECT_TRUE(calls.empty());
    // UTF-8 beyond ASCII and a TAB are text.
    EXPECT_EQ(Import("/v/caf\xc3\xa9\t.avi,1,2,3,0,1\n"), 1);
}

} // namespace
