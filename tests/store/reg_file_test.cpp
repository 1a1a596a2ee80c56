// Registry file export and import: round trips, Windows-made files, malformed input.
#include "jobs/job_store.h"
#include "store/reg_file.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

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
