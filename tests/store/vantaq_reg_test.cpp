// The vantaq-reg program: it honours VANTAQ_STORE, exports to standard output, and reports a
// malformed import with its line while changing nothing.
#include "store/key_store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int Shell(const std::string& command) {
    int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

} // namespace

TEST(VantaqReg, ExportImportThroughTheProgram) {
    testing_support::TempDir dir;
    std::string tool = std::string(VANTAQ_PROGRAM_DIR) + "/vantaq-reg";
    std::string env = "VANTAQ_STORE='" + dir.File("store.sqlite") + "' ";
    testing_support::WriteFile(dir.File("in.reg"),
                               "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Pellmoor\\Vantaq]\r\n"
                               "\"EnableLogging\"=dword:00000001\r\n");
    ASSERT_EQ(Shell(env + tool + " import '" + dir.File("in.reg") + "'"), 0);
    ASSERT_EQ(Shell(env + tool + " export 'Software\\Pellmoor' > '" + dir.File("out.reg") + "'"),
              0);
    EXPECT_EQ(testing_support::ReadFile(dir.File("out.reg")),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Pellmoor]\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Pellmoor\\Vantaq]\r\n"
              "\"EnableLogging\"=dword:00000001\r\n\r\n");

    testing_support::WriteFile(dir.File("bad.reg"),
                               "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Pellmoor\\Vantaq]\r\n"
                               "\"EnableLogging\"=dword:00000000\r\n\"X\"=nonsense\r\n");
    EXPECT_EQ(Shell(env + tool + " import '" + dir.File("bad.reg") + "' 2> '" +
                    dir.File("err.txt") + "'"),
              1);
    EXPECT_NE(testing_support::ReadFile(dir.File("err.txt")).find("line 4: unknown value data"),
              std::string::npos);
    store::KeyStore s;
    ASSERT_TRUE(s.Open(dir.File("store.sqlite")));
    uint32_t n = 0;
    ASSERT_TRUE(s.ReadNumber(store::kHive, "Software\\Pellmoor\\Vantaq", "EnableLogging", n));
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(Shell(env + tool + " export 'Software\\Missing' 2>/dev/null"), 1);
    EXPECT_EQ(Shell(tool + " frobnicate 2>/dev/null"), 2);
}

// Hostile input is refused with a clear message before it can exhaust the stack or the memory:
// key paths over 512 levels, key names over 255 characters, devices, pipes and huge files.
TEST(VantaqReg, RefusesHostileFiles) {
    testing_support::TempDir dir;
    std::string tool = std::string(VANTAQ_PROGRAM_DIR) + "/vantaq-reg";
    std::string env = "VANTAQ_STORE='" + dir.File("store.sqlite") + "' ";
    auto keyFile = [](const std::string& path) {
        return "Windows Registry Editor Version 5.00\r\n\r\n; hostile\r\n[HKEY_CURRENT_USER\\" +
               path + "]\r\n\"V\"=dword:00000001\r\n";
    };
    std::string levels = "Software";
    for (int i = 1; i < 512; ++i) {
        levels += "\\k";
    }
    testing_support::WriteFile(dir.File("512.reg"), keyFile(levels));
    EXPECT_EQ(Shell(env + tool + " import '" + dir.File("512.reg") + "'"), 0);

    std::string deep = "Software";
    for (int i = 1; i < 100000; ++i) {
        deep += "\\k";
    }
    testing_support::WriteFile(dir.File("deep.reg"), keyFile(deep));
    testing_support::WriteFile(dir.File("long.reg"), keyFile("Software\\" + std::string(256, 'n')));
    std::string huge = dir.File("huge.reg");
    testing_support::WriteFile(huge, "");
    ASSERT_EQ(truncate(huge.c_str(), 1025ll * 1024 * 1024), 0);
    ASSERT_EQ(mkfifo(dir.File("pipe.reg").c_str(), 0600), 0);
    const std::pair<std::string, std::string> cases[] = {
        {dir.File("deep.reg"),
         "line 4: the key is 100000 levels deep; at most 512 are allowed (nothing imported)"},
        {dir.File("long.reg"),
         "line 4: a key name of 256 characters; at most 255 are allowed (nothing imported)"},
        {"/dev/zero", "/dev/zero is not a regular file (nothing imported)"},
        {dir.File("pipe.reg"), "pipe.reg is not a regular file (nothing imported)"},
        {huge, "huge.reg is larger than 1024 MiB (nothing imported)"},
    };
    for (const auto& [file, says] : cases) {
        EXPECT_EQ(Shell(env + tool + " import '" + file + "' 2> '" + dir.File("err.txt") + "'"), 1);
        std::string err = testing_support::ReadFile(dir.File("err.txt"));
        EXPECT_NE(err.find(says), std::string::npos) << err;
    }
    store::KeyStore s;
    ASSERT_TRUE(s.Open(dir.File("store.sqlite")));
    std::vector<std::string> top;
    ASSERT_TRUE(s.EnumSubKeys(s.OpenKey(store::kHive, "Software", store::Access::Read), top));
    EXPECT_EQ(top, std::vector<std::string>{"k"}); // only the 512-level key came in
}
