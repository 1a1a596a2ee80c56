// The vantaq-reg program: it honours VANTAQ_STORE, exports to standard output, and reports a
// malformed import with its line while changing nothing.
#include "store/key_store.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

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
