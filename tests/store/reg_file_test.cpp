// Registry file export and import: round trips, Windows-made files, malformed input.
#include "jobs/job_store.h"
#include "store/reg_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>

using namespace store;
using testing_support::TempStore;

namespace {

std::string Utf16(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

} // namespace

TEST(RegFile, ExportImportRoundTripKeepsEveryByte) {
    TempStore a;
    jobs::JobRecord r;
    r.name = "Quote \" and \\ backslash";
    r.input = "/v/a.avi";
    r.chapters = std::string(1000, '9');
    ASSERT_TRUE(jobs::WriteJobRecord(a.Store(), 0, r));
    ASSERT_TRUE(a.Store().WriteString(kHive, "Software\\Pellmoor\\Vantaq", "Multi", "a\r\nb"));
    ASSERT_TRUE(a.Store().WriteValue(kHive, "Software\\Pellmoor\\Vantaq",
                                     Value{"Raw", kTypeBinary, std::string("\0\1\xff", 3)}));
    ASSERT_TRUE(a.Store().WriteString(kHive, "Software\\Pellmoor\\Vantaq\\template", "", "0123"));
    ASSERT_TRUE(a.Store().WriteNumber(kHive, "Software\\Other", "N", 10));

    std::string file, error;
    ASSERT_TRUE(ExportRegFile(a.Store(), "", file, error)) << error;
    EXPECT_EQ(file.rfind("Windows Registry Editor Version 5.00\r\n\r\n", 0), 0u);
    EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Pellmoor\\Vantaq\\Jobs\\0]\r\n"
                        "\"Status\"=\"Pending\"\r\n"),
              std::string::npos);
    EXPECT_NE(file.find("\"Name\"=\"Quote \\\" and \\\\ backslash\""), std::string::npos);
    EXPECT_NE(file.find("\"N\"=dword:0000000a"), std::string::npos);
    EXPECT_NE(file.find("@=\"0123\""), std::string::npos);

    TempStore b;
    ASSERT_TRUE(ImportRegFile(b.Store(), file, error)) << error;
    std::string again;
    ASSERT_TRUE(ExportRegFile(b.Store(), "", again, error));
    EXPECT_EQ(again, file);
    jobs::JobRecord back;
    ASSERT_TRUE(jobs::ReadJobRecord(b.Store(), 0, back));
    EXPECT_EQ(back, r);

    std::string one;
    ASSERT_TRUE(ExportRegFile(b.Store(), "HKEY_CURRENT_USER\\Software\\Other", one, error));
    EXPECT_EQ(one, "Windows Registry Editor Version 5.00\r\n\r\n"
                   "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"N\"=dword:0000000a\r\n\r\n");
    EXPECT_FALSE(ExportRegFile(b.Store(), "Software\\Missing", one, error));
}

TEST(RegFile, ImportsAWindowsMadeUtf16Export) {
    // As regedit writes it: UTF-16LE with a byte order mark, CR LF, hex continuation lines.
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Pellmoor\\Vantaq]\r\n"
                       "\"EnableLogging\"=dword:00000001\r\n"
                       "\"OutputDirectory\"=\"D:\\\\Encodes\"\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Pellmoor\\Vantaq\\template\\0]\r\n"
                       "@=\"Reroziz-Urud\"\r\n"
                       "\"Blob\"=hex:01,02,\\\r\n  03,04\r\n\r\n";
    TempStore t;
    std::string error;
    ASSERT_TRUE(ImportRegFile(t.Store(), Utf16(text), error)) << error;
    uint32_t n = 0;
    ASSERT_TRUE(t.Store().ReadNumber(kHive, "Software\\Pellmoor\\Vantaq", "enablelogging", n));
    EXPECT_EQ(n, 1u);
    std::string s;
    ASSERT_TRUE(
        t.Store().ReadString(kHive, "Software\\Pellmoor\\Vantaq", "OutputDirectory", 255, s));
    EXPECT_EQ(s, "D:\\Encodes");
    ASSERT_TRUE(t.Store().ReadString(kHive, "Software\\Pellmoor\\Vantaq\\template\\0", "", 255, s));
    EXPECT_EQ(s, "Reroziz-Urud");
    Value v;
    ASSERT_TRUE(t.Store().ReadValue(kHive, "Software\\Pellmoor\\Vantaq\\template\\0", "Blob", v));
    EXPECT_EQ(v.data, std::string("\1\2\3\4"));
}

TEST(RegFile, ImportsRegedit4WithLfAndUtf8Bom) {
    TempStore t;
    std::string error;
    ASSERT_TRUE(ImportRegFile(t.Store(),
                              "\xEF\xBB\xBFREGEDIT4\n\n[HKCU\\Software\\X]\n; a comment\n"
                              "\"A\"=\"caf\xC3\xA9\"\n",
                              error))
        << error;
    std::string s;
    ASSERT_TRUE(t.Store().ReadString(kHive, "Software\\X", "A", 255, s));
    EXPECT_EQ(s, "caf\xC3\xA9");
}

TEST(RegFile, MalformedInputChangesNothingAndNamesTheLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"Not a registry file\r\n", "line 1: not a registry file"},
        {"REGEDIT4\r\n\"A\"=dword:1\r\n", "line 2: a value outside of any key"},
        {"REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software]\r\n", "line 2: only keys below"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\S]\r\n\"A\"=dword:1\r\n\"B\"=dword:123456789\r\n",
         "line 4: a dword needs"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\S]\r\n\"A\"=\"open\r\n", "line 3: unterminated"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\S]\r\n\"A\"=hex:1,zz\r\n", "line 3: malformed hex"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\S]\r\n\"A\" dword:1\r\n", "line 3: '=' expected"},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\S\r\n", "line 2: malformed key line"},
    };
    for (const Case& c : cases) {
        TempStore t;
        ASSERT_TRUE(t.Store().WriteNumber(kHive, "S", "Keep", 7));
        std::string error;
        EXPECT_FALSE(ImportRegFile(t.Store(), c.text, error)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        uint32_t n = 0;
        EXPECT_FALSE(t.Store().ReadNumber(kHive, "S", "A", n)) << c.text;
        ASSERT_TRUE(t.Store().ReadNumber(kHive, "S", "Keep", n));
        EXPECT_EQ(n, 7u);
    }
}

TEST(RegFile, LongLinesAreRefusedAfterReadingAPieceOfThem) {
    // A file of `head` and then endless `fill` bytes, counting what the import reads.
    auto endless = [](std::string head, char fill, uint64_t& given) {
        return [head, fill, &given](char* to, size_t most) -> long {
            size_t n = std::min<size_t>(most, 1 << 20);
            for (size_t i = 0; i < n; ++i) {
                to[i] = given + i < head.size() ? head[given + i] : fill;
            }
            given += n;
            return static_cast<long>(n);
        };
    };
    struct Case {
        std::string head;
        char fill;
        std::string error;
        uint64_t mostRead;
    };
    const Case cases[] = {
        // The header is checked before its line is read whole, also behind blanks.
        {"", 'x', "line 1: not a registry file", 2u << 20},
        {"\r\n\r\n", ' ', "line 3: not a registry file", 2u << 20},
        {"REGEDIT4\r\n[HKEY_CURRENT_USER\\S]\r\n\"A\"=\"", 'x',
         "line 3: longer than " + std::to_string(kMaxRegLineBytes) + " bytes",
         kMaxRegLineBytes + (2u << 20)},
    };
    for (const Case& c : cases) {
        TempStore t;
        uint64_t given = 0;
        std::string error;
        EXPECT_FALSE(ImportRegFile(t.Store(), RegSource(endless(c.head, c.fill, given)), error));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        EXPECT_LE(given, c.mostRead);
    }
}

TEST(RegFile, AFileReadInPiecesImportsAsWholeAndAFailedReadChangesNothing) {
    // UTF-16LE with a character outside the basic plane (a surrogate pair), so that pieces of
    // odd sizes cut units, pairs, lines and a hex continuation everywhere.
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\X]\r\n"
                       "\"Clef\"=\"\x34\xD8\x1E\xDD\"\r\n"
                       "\"Blob\"=hex:01,02,\\\r\n  03,04\r\n\r\n";
    std::string file = "\xFF\xFE";
    for (size_t i = 0; i < text.size(); ++i) {
        // The two bytes after the quote are already the pair's UTF-16LE units.
        bool raw = i >= text.find("\x34\xD8") && i < text.find("\x34\xD8") + 4;
        file.push_back(text[i]);
        if (!raw) {
            file.push_back('\0');
        }
    }
    TempStore whole;
    std::string error;
    ASSERT_TRUE(ImportRegFile(whole.Store(), file, error)) << error;
    std::string expected;
    ASSERT_TRUE(ExportRegFile(whole.Store(), "Software\\X", expected, error));
    EXPECT_NE(expected.find("\"Clef\"=\"\xF0\x9D\x84\x9E\""), std::string::npos) << expected;
    EXPECT_NE(expected.find("\"Blob\"=hex:01,02,03,04"), std::string::npos) << expected;

    for (size_t pieceSize : {1, 2, 3, 5}) {
        TempStore t;
        size_t at = 0;
        RegSource read = [&](char* to, size_t most) {
            size_t n = std::min({most, pieceSize, file.size() - at});
            std::memcpy(to, file.data() + at, n);
            at += n;
            return static_cast<long>(n);
        };
        ASSERT_TRUE(ImportRegFile(t.Store(), read, error)) << pieceSize << ": " << error;
        std::string got;
        ASSERT_TRUE(ExportRegFile(t.Store(), "Software\\X", got, error));
        EXPECT_EQ(got, expected) << pieceSize;
    }

    TempStore t;
    size_t calls = 0;
    RegSource failing = [&](char* to, size_t most) -> long {
        if (++calls > 60) {
            return -1;
        }
        size_t n = std::min<size_t>({most, 1, file.size()});
        std::memcpy(to, file.data() + calls - 1, n);
        return static_cast<long>(n);
    };
    EXPECT_FALSE(ImportRegFile(t.Store(), failing, error));
    EXPECT_EQ(error, "the file cannot be read");
    EXPECT_FALSE(t.Store().OpenKey(kHive, "Software\\X", Access::Read));
}

namespace {

// What a store's derived indexes answer about its queue, and the file's schema that holds them.
struct QueueAnswers {
    int count = 0;
    int firstPending = -1;
    jobs::JobStatusCounts counts;
    std::vector<int> marked;
    std::vector<int> sameStem;
    std::string schema;

    static QueueAnswers Of(KeyStore& s) {
        QueueAnswers a;
        a.count = jobs::JobCount(s);
        a.firstPending = jobs::FindFirstPending(s, a.count);
        a.counts = jobs::CountJobStatuses(s, a.count);
        a.marked = jobs::JobsHoldingValue(s, "Run Key", a.count);
        a.sameStem = jobs::JobsWithSourceStem(s, "/elsewhere/tape7.mpg", a.count);
        sqlite3* db = nullptr;
        sqlite3_open_v2(s.Path().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_exec(
            db, "SELECT type || ' ' || name || ' ' || sql FROM sqlite_schema ORDER BY name",
            [](void* out, int, char** row, char**) {
                *static_cast<std::string*>(out) += std::string(row[0] ? row[0] : "") + "\n";
                return 0;
            },
            &a.schema, nullptr);
        sqlite3_close(db);
        return a;
    }
};

} // namespace

TEST(RegFile, ALongImportRebuildsTheIndexesOnceAndAnswersAsValueByValue) {
    // 2,000 jobs export to more than a mebibyte: the import sets the store's indexes aside and
    // rebuilds them at its commit. The small tail of the file goes value by value. Both stores
    // must then answer every indexed question alike, and a failed long import change nothing.
    TempStore a;
    {
        KeyStore::Transaction unit(a.Store());
        for (int i = 0; i < 2000; ++i) {
            jobs::JobRecord r;
            r.status = i % 3 == 0 ? "Complete" : i % 3 == 1 ? "Error" : "";
            r.status = i == 1500 ? "Pending" : r.status;
            r.name = "episode " + std::to_string(i);
            r.input = "/media/tape" + std::to_string(i % 50) + ".avi";
            r.chapters = std::string(400, '1');
            ASSERT_TRUE(jobs::WriteJobRecord(a.Store(), i, r));
            if (i % 700 == 3) {
                ASSERT_TRUE(a.Store().WriteString(
                    kHive, "Software\\Pellmoor\\Vantaq\\Jobs\\" + std::to_string(i), "Run Key",
                    "k"));
            }
        }
        ASSERT_TRUE(unit.Commit());
    }
    std::string file, error;
    ASSERT_TRUE(ExportRegFile(a.Store(), "", file, error)) << error;
    ASSERT_GT(file.size(), kBulkImportBytes);
    QueueAnswers expected = QueueAnswers::Of(a.Store());
    ASSERT_EQ(expected.count, 2000);
    ASSERT_EQ(expected.firstPending, 1500);
    ASSERT_EQ(expected.marked, (std::vector<int>{3, 703, 1403}));

    TempStore b;
    const std::string empty = QueueAnswers::Of(b.Store()).schema;
    EXPECT_FALSE(ImportRegFile(b.Store(), file + "[HKEY_LOCAL_MACHINE\\X]\r\n", error));
    QueueAnswers failed = QueueAnswers::Of(b.Store());
    EXPECT_EQ(failed.count, 0);
    EXPECT_EQ(failed.schema, empty);

    ASSERT_TRUE(ImportRegFile(b.Store(), file, error)) << error;
    QueueAnswers got = QueueAnswers::Of(b.Store());
    EXPECT_EQ(got.schema, expected.schema);
    EXPECT_EQ(got.count, expected.count);
    EXPECT_EQ(got.firstPending, expected.firstPending);
    EXPECT_EQ(got.counts.complete, expected.counts.complete);
    EXPECT_EQ(got.counts.error, expected.counts.error);
    EXPECT_EQ(got.counts.pending, 1);
    EXPECT_EQ(got.marked, expected.marked);
    EXPECT_EQ(got.sameStem, expected.sameStem);
    EXPECT_EQ(got.sameStem.size(), 40u);
    // The triggers are back: a later write is mirrored at once.
    ASSERT_TRUE(jobs::SetJobString(b.Store(), 0, jobs::kStatus, jobs::kStatusPending));
    EXPECT_EQ(jobs::FindFirstPending(b.Store(), 2000), 0);
}
