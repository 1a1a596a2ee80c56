// Chapter information files: the name looked for, the list read from real files, the film
// conversion, and the editor's import and Browse steps.
#include "chapters/chapter_list.h"
#include "chapters/text_fields.h"
#include "platform/control_ids.h"
#include "platform/memory_dialog.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

using namespace chapters;
using namespace platform::main_window;
using testing_support::LogLines;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

struct ChapterFixture : ::testing::Test {
    TempDir dir;
    LogLines lines;
    logging::Log log{lines, ""};
    platform::MemoryDialog dialog{platform::MainWindowControls()};

    ChapterFixture() { log.SetDebugInfo(true); }

    std::string Write(const std::string& name, const std::string& text) {
        std::string path = dir.File(name);
        EXPECT_TRUE(WriteFile(path, text));
        return path;
    }
    std::string Read(const std::string& text, bool convert = false) {
        return ReadChapterList(Write("list.txt", text), convert, log);
    }
};

const char* const kThreeChapters = "Chapter 01=0\r\nChapter 02=2544\r\nChapter 03=5120\r\n";

TEST(ChapterNumbers, ReadLeadingIntLikeAtoiWithoutOverflow) {
    EXPECT_EQ(ReadLeadingInt("  -42xyz"), -42);
    EXPECT_EQ(ReadLeadingInt("+7"), 7);
    EXPECT_EQ(ReadLeadingInt("\t 12\r"), 12);
    EXPECT_EQ(ReadLeadingInt("abc"), 0);
    EXPECT_EQ(ReadLeadingInt(""), 0);
    EXPECT_EQ(ReadLeadingInt("- 5"), 0);
    EXPECT_EQ(ReadLeadingInt("2147483647"), INT_MAX);
    EXPECT_EQ(ReadLeadingInt("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(ReadLeadingInt("-2147483648"), INT_MIN);
    EXPECT_EQ(ReadLeadingInt("-99999999999999999999999"), INT_MIN);
}

TEST(ChapterNumbers, NtscToFilmTruncates) {
    EXPECT_EQ(NtscToFilmFrame(2544), 2035);
    EXPECT_EQ(NtscToFilmFrame(1001), 800);
    EXPECT_EQ(NtscToFilmFrame(30), 24);
    EXPECT_EQ(NtscToFilmFrame(5), 4);
    EXPECT_EQ(NtscToFilmFrame(3), 2);
    EXPECT_EQ(NtscToFilmFrame(1), 0);
    EXPECT_EQ(NtscToFilmFrame(INT_MAX), 1717986917);
}

TEST_F(ChapterFixture, FindsTheRenamedFileBesideTheSource) {
    struct Case {
        const char* source;
        const char* chapterBase;
    } cases[] = {
        {"Movie_P1A2.avs", "Movie_PGC_1_ANGLE_2"},
        {"Movie__1.avi", "Movie_1"},
        {"VTS_01_P1.avs", "VTS_01_PGC_1"},
        {"AVATAR.avi", "_ANGLE_V_ANGLE_T_ANGLE_R"},
        {"a___b.x.avi", "a__b"},  // one left-to-right pass over "__"
        {".hidden", ".hidden"},   // starts with "." -> the whole name
        {"noext", "noext"},       // no "." -> the whole name
        {"x__P1.avi", "x_PGC_1"}, // "__" first, then "_P"
    };
    for (const Case& c : cases) {
        std::string expected = Write(std::string(c.chapterBase) + kChapterInfoSuffix, "x=1\n");
        EXPECT_EQ(FindChapterInfoFile(dir.File(c.source)), expected) << c.source;
        EXPECT_EQ(FindChapterInfoFile("\"" + dir.File(c.source) + "\""), expected) << c.source;
        std::filesystem::remove(expected);
        EXPECT_EQ(FindChapterInfoFile(dir.File(c.source)), "") << c.source;
    }
    // A folder of that name is not a chapter file; a dot in a folder name does not count.
    std::filesystem::create_directory(dir.File(std::string("Dir") + kChapterInfoSuffix));
    EXPECT_EQ(FindChapterInfoFile(dir.File("Dir.avi")), "");
    std::filesystem::create_directory(dir.File("f.d"));
    std::string inner = Write(std::string("f.d/Clip") + kChapterInfoSuffix, "x=1\n");
    EXPECT_EQ(FindChapterInfoFile(dir.File("f.d/Clip.avi")), inner);
    EXPECT_EQ(FindChapterInfoFile(""), "");
}

TEST_F(ChapterFixture, ReadsValuesInFileOrder) {
    EXPECT_EQ(Read(kThreeChapters), "0,2544,5120");
    EXPECT_EQ(Read(kThreeChapters, true), "0,2035,4096");
    EXPECT_EQ(Read("a=1\nb=2\n\n\nc=3"), "1,2,3");           // runs of LF: no empty line
    EXPECT_EQ(Read("a=0\r\n\r\nb=2544\r\n"), "0,,2544");     // CR-only line: empty entry
    EXPECT_EQ(Read("a=0\r\nb=2544\r\n\r\n"), "0,2544,");     // trailing CR-only line
    EXPECT_EQ(Read("a=0\r\nb=2544\r\nc=-5\r\n"), "0,2544,"); // negative last value skipped
    EXPECT_EQ(Read("a=-1\nb=7"), "7");
    EXPECT_EQ(Read("no value\nb=7"), ",7");       // no "=": empty entry
    EXPECT_EQ(Read("=9\nb==7\nc=1=2\n"), ",7,1"); // empty pieces dropped
    EXPECT_EQ(Read("a=;: 12 :;\r\n"), " 12 ");    // spaces stay
    EXPECT_EQ(Read("a=abc\nb=10"), "abc,10");
    EXPECT_EQ(Read("a=abc\nb=10\nc=", true), "0,8,0");
    EXPECT_EQ(Read(""), "");
    EXPECT_EQ(lines.rows.back(), "3 Chapter file lines: 0");
}

TEST_F(ChapterFixture, LogsTheLineCountAndNothingForAMissingFile) {
    Read(kThreeChapters);
    EXPECT_EQ(lines.rows, std::vector<std::string>{"3 Chapter file lines: 3"});
    lines.rows.clear();
    EXPECT_EQ(ReadChapterList(dir.File("missing.txt"), false, log), "");
    EXPECT_TRUE(lines.rows.empty());
}

TEST_F(ChapterFixture, EntriesNeverCarryLineBreaks) {
    EXPECT_EQ(Read("a=12\r34\r\nb=5\r\r\n"), "1234,5");
}

TEST_F(ChapterFixture, UnreadableOrHugeFilesGiveAnEmptyListAndAnError) {
    std::filesystem::create_directory(dir.File("folder.txt"));
    EXPECT_EQ(ReadChapterList(dir.File("folder.txt"), false, log), "");
    EXPECT_EQ(lines.rows.back(),
              "2 ERROR: Could not read the chapter file " + dir.File("folder.txt"));
    std::string huge(kMaxChapterFileSize + 1, '\n');
    EXPECT_EQ(Read(huge), "");
    EXPECT_EQ(lines.rows.back(),
              "2 ERROR: Could not read the chapter file " + dir.File("list.txt"));
    // A FIFO, chosen by hand or found beside the source, is never waited on.
    std::string fifo = dir.File(std::string("Pipe") + kChapterInfoSuffix);
    ASSERT_TRUE(testing_support::MakeFifo(fifo));
    std::string list = "unset";
    EXPECT_TRUE(testing_support::EndsWithoutWaitingOn(
        fifo, [&] { list = ReadChapterList(fifo, false, log); }));
    EXPECT_EQ(list, "");
    EXPECT_EQ(lines.rows.back(), "2 ERROR: Could not read the chapter file " + fifo);
    EXPECT_EQ(FindChapterInfoFile(dir.File("Pipe.avi")), "");
}

TEST_F(ChapterFixture, LongListsAreCutAfterAWholeEntry) {
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += "Chapter=" + std::to_string(100000 + i) + "\r\n";
    }
    std::string list = Read(text);
    ASSERT_LE(list.size(), kMaxChapterListLength);
    // 7 characters per entry with its comma: 146 whole entries fit in 1023.
    EXPECT_EQ(list.size(), 146u * 7u);
    EXPECT_EQ(list.substr(list.size() - 7), "100145,");
    EXPECT_EQ(lines.rows.back().substr(0, 2), "1 ");

    std::string exact(kMaxChapterListLength, '1');
    EXPECT_FALSE(FitChapterList(exact));
    std::string oneEntry(kMaxChapterListLength + 1, '1');
    EXPECT_TRUE(FitChapterList(oneEntry));
    EXPECT_EQ(oneEntry, "");
}

TEST_F(ChapterFixture, ImportForSourceSetsFilmBoxThenReadsTheFile) {
    std::string chapterFile = Write(std::string("Film") + kChapterInfoSuffix, kThreeChapters);
    dialog.SetText(kInfoFrameRate, "23.976");
    ImportChaptersForSource(dialog, dir.File("Film.avs"), log);
    EXPECT_TRUE(dialog.IsEnabled(kConvertToFilm));
    EXPECT_TRUE(dialog.IsChecked(kConvertToFilm));
    EXPECT_EQ(dialog.GetText(kChapterFile), chapterFile);
    EXPECT_EQ(dialog.GetText(kChapterList), "0,2035,4096");
    EXPECT_TRUE(dialog.IsEnabled(kChapterBrowse));
    EXPECT_EQ(lines.rows.back(), "0 Chapter list imported from file Film" +
                                     std::string(kChapterInfoSuffix) + " (Converted NTSC->Film)!!");

    // Toggling the box later does not touch the imported list.
    dialog.SetCheck(kConvertToFilm, false);
    EXPECT_EQ(dialog.GetText(kChapterList), "0,2035,4096");

    dialog.SetText(kInfoFrameRate, "29.970");
    ImportChaptersForSource(dialog, dir.File("Film.avs"), log);
    EXPECT_FALSE(dialog.IsEnabled(kConvertToFilm));
    EXPECT_FALSE(dialog.IsChecked(kConvertToFilm));
    EXPECT_EQ(dialog.GetText(kChapterList), "0,2544,5120");
    EXPECT_EQ(dialog.BadAccesses(), 0);
}

TEST_F(ChapterFixture, ImportForSourceWithoutFileKeepsTheFields) {
    dialog.SetText(kChapterFile, "old path");
    dialog.SetText(kChapterList, "1,2");
    dialog.Enable(kChapterBrowse, false);
    dialog.SetText(kInfoFrameRate, "23.976");
    ImportChaptersForSource(dialog, dir.File("None.avi"), log);
    EXPECT_EQ(dialog.GetText(kChapterFile), "old path");
    EXPECT_EQ(dialog.GetText(kChapterList), "1,2");
    EXPECT_TRUE(dialog.IsEnabled(kChapterBrowse));
    EXPECT_EQ(lines.rows, std::vector<std::string>{"0 No chapter file found!"});
}

TEST_F(ChapterFixture, BrowseChangesTheListButNotThePath) {
    std::string chosenFile = Write("other.txt", "a=10\nb=30\n");
    dialog.SetText(kChapterFile, std::string(300, 'p'));
    dialog.SetText(kChapterList, "1,2");
    std::string seenFilter, seenInitial;
    auto choose = [&](const std::string& filter, const std::string& initial, std::string& out) {
        seenFilter = filter;
        seenInitial = initial;
        out = chosenFile;
        return true;
    };
    OnBrowseChapters(dialog, log, choose);
    EXPECT_EQ(seenFilter, kChapterFileFilter);
    EXPECT_EQ(seenInitial, std::string(260, 'p'));
    EXPECT_EQ(dialog.GetText(kChapterFile), std::string(300, 'p'));
    EXPECT_EQ(dialog.GetText(kChapterList), "10,30");
    EXPECT_EQ(lines.rows.back(), "0 Chapter list imported from file other.txt (No conversion)!!");

    dialog.SetCheck(kConvertToFilm, true);
    OnBrowseChapters(dialog, log, choose);
    EXPECT_EQ(dialog.GetText(kChapterList), "8,24");

    // A chosen file that has gone: empty list, still the import line.
    chosenFile = dir.File("gone.txt");
    OnBrowseChapters(dialog, log, choose);
    EXPECT_EQ(dialog.GetText(kChapterList), "");
    EXPECT_EQ(lines.rows.back(),
              "0 Chapter list imported from file gone.txt (Converted NTSC->Film)!!");

    // Cancel changes nothing.
    dialog.SetText(kChapterList, "5");
    size_t rows = lines.rows.size();
    OnBrowseChapters(dialog, log, [](const std::string&, const std::string&, std::string& out) {
        out = "/nonexistent";
        return false;
    });
    EXPECT_EQ(dialog.GetText(kChapterList), "5");
    EXPECT_EQ(lines.rows.size(), rows);
}

} // namespace
