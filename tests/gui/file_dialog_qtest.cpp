// A file dialog on the store's folder leaves SQLite's locks on the store in place, so writes of
// another process and of this one both reach the store.
#include "gui/file_dialogs.h"
#include "store/key_store.h"
#include "support/store_faults.h"
#include "support/test_support.h"

#include "program_folder.h"

#include <QFileSystemModel>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The lines of /proc/locks that this process holds on the store's files, without their ids.
std::multiset<std::string> OurLocks(const std::string& storePath) {
    std::set<std::string> inodes;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        struct stat st {};
        if (stat((storePath + suffix).c_str(), &st) == 0) {
            inodes.insert(":" + std::to_string(st.st_ino));
        }
    }
    std::multiset<std::string> locks;
    std::ifstream in("/proc/locks");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, kind, advisory, mode, pid, device, start, end;
        fields >> id >> kind >> advisory >> mode >> pid >> device >> start >> end;
        std::string inode = device.substr(device.rfind(':'));
        if (pid == std::to_string(getpid()) && inodes.count(inode) != 0) {
            locks.insert(kind + " " + mode + " " + device + " " + start + " " + end);
        }
    }
    return locks;
}

} // namespace

TEST(FileDialogs, ShowingTheStoreFolderKeepsItsLocksAndEveryWrite) {
    const std::string programs = VANTAQ_PROGRAM_DIR;
    testing_support::TempDir dir;
    const std::string storePath = dir.File("store.sqlite");
    setenv("VANTAQ_STORE", storePath.c_str(), 1);
    store::KeyStore s;
    ASSERT_TRUE(s.Open(storePath));
    ASSERT_TRUE(s.WriteNumber(store::kHive, "Software\\Test", "Mine", 1));
    const std::multiset<std::string> before = OurLocks(storePath);
    ASSERT_FALSE(before.empty());

    {
        // Even a dialog made while the working folder is the store's own keeps the locks.
        std::string workingDir = std::filesystem::current_path().string();
        std::filesystem::current_path(dir.Path());
        gui::FileDialog chooser(nullptr);
        std::filesystem::current_path(workingDir);
        QFileDialog& dialog = chooser.Dialog();
        dialog.setDirectory(QString::fromStdString(dir.Path()));
        dialog.show();
        auto* model = dialog.findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        // The type of each store file is known once the dialog has looked at it.
        ASSERT_TRUE(gui_testing::SpinUntil(
            [&] {
                for (const char* suffix : {"", "-wal", "-shm"}) {
                    QModelIndex index = model->index(QString::fromStdString(storePath + suffix));
                    if (!index.isValid() || model->type(index).isEmpty()) {
                        return false;
                    }
                }
                return true;
            },
            20000));
        EXPECT_EQ(OurLocks(storePath), before);
    }

    // Another process writes, then this one; both values are in the store.
    std::string reg = dir.File("theirs.reg");
    ASSERT_TRUE(testing_support::WriteFile(reg, "Windows Registry Editor Version 5.00\r\n\r\n"
                                                "[HKEY_CURRENT_USER\\Software\\Test]\r\n"
                                                "\"Theirs\"=dword:00000007\r\n"));
    std::string output;
    ASSERT_EQ(testing_support::RunProgram({programs + "/vantaq-reg", "import", reg}, "", output), 0)
        << output;
    ASSERT_TRUE(s.WriteNumber(store::kHive, "Software\\Test", "Mine", 2));
    output.clear();
    ASSERT_EQ(testing_support::RunProgram({programs + "/vantaq-reg", "export", "Software\\Test"},
                                          "", output),
              0);
    EXPECT_NE(output.find("\"Mine\"=dword:00000002"), std::string::npos) << output;
    EXPECT_NE(output.find("\"Theirs\"=dword:00000007"), std::string::npos) << output;
    unsetenv("VANTAQ_STORE");
}
