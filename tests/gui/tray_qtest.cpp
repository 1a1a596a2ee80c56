// Minimise where no notification area exists: the failure is logged and the window minimises
// the ordinary way (offscreen, where there is never a tray).
#include "program_folder.h"

#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

using gui_testing::LogRows;
using gui_testing::ProgramFolder;
using gui_testing::SpinUntil;

TEST(TrayMissing, MinimiseLogsAndMinimisesTheOrdinaryWay) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        GTEST_SKIP() << "a notification area exists here";
    }
    ProgramFolder folder;
    auto program = folder.MakeProgram({"-minimize"});
    program->Start();
    ASSERT_TRUE(SpinUntil([&] { return program->Logic().StartupDone(); }));
    // The keyword fails silently and leaves the window as it is.
    EXPECT_TRUE(program->Window().isVisible());
    EXPECT_FALSE(program->Window().isMinimized());
    EXPECT_NE(LogRows(*program).back(), "2 ERROR: Could not add icon to taskbar.");

    program->Window().showMinimized();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return LogRows(*program).back() == "2 ERROR: Could not add icon to taskbar."; }));
    // The handler has run (it logged): still minimised, nothing put the window back.
    EXPECT_TRUE(program->Window().isMinimized());
    EXPECT_FALSE(program->Logic().m_InTray);
    EXPECT_FALSE(program->Tray().IsShown());
    // Closing by the cancel path needs no tray.
    program->Logic().OnCancel();
    EXPECT_TRUE(program->Window().Ended());
}
