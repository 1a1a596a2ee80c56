// The tray: failure where no notification area exists, and the real thing under Xvfb.
#include "platform/control_ids.h"
#include "program_folder.h"

#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

using gui_testing::LogRows;
using gui_testing::ProgramFolder;
using gui_testing::SpinUntil;

TEST(TrayMissing, MinimiseLogsAndTheWindowStays) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        GTEST_SKIP() << "a notification area exists here";
    }
    ProgramFolder folder;
    auto program = folder.MakeProgram({"-minimize"});
    program->Start();
    ASSERT_TRUE(SpinUntil([&] { return program->Logic().StartupDone(); }));
    EXPECT_TRUE(program->Window().isVisible());
    EXPECT_NE(LogRows(*program).back(), "2 ERROR: Could not add icon to taskbar.");

    EXPECT_TRUE(program->Logic().OnMinimize());
    EXPECT_EQ(LogRows(*program).back(), "2 ERROR: Could not add icon to taskbar.");
    EXPECT_TRUE(program->Window().isVisible());
    EXPECT_FALSE(program->Logic().m_InTray);
    EXPECT_FALSE(program->Tray().IsShown());
    // Closing by the cancel path needs no tray.
    program->Logic().OnCancel();
    EXPECT_TRUE(program->Window().Ended());
}

TEST(RealTray, MinimiseRestoreAndCloseThroughTheTray) {
    if (QGuiApplication::platformName() != "xcb") {
        GTEST_SKIP() << "needs an X display with a notification area";
    }
    ASSERT_TRUE(SpinUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5000))
        << "no notification area although trayer runs";
    ProgramFolder folder;
    auto program = folder.MakeProgram({"-minimize"});
    program->Start();
    ASSERT_TRUE(SpinUntil([&] { return program->Logic().StartupDone(); }));
    // The "minimize" keyword went to the tray.
    EXPECT_TRUE(program->Logic().m_InTray);
    EXPECT_TRUE(program->Tray().IsShown());
    EXPECT_FALSE(program->Window().isVisible());
    ASSERT_NE(program->Tray().Menu(), nullptr);
    QList<QAction*> entries = program->Tray().Menu()->actions();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0]->text().toStdString(), "Restore");
    EXPECT_EQ(entries[1]->text().toStdString(), "Stop Processing");
    EXPECT_EQ(entries[2]->text().toStdString(), "Close");

    // A double-click on the icon arrives as the callback message and restores the window.
    program->Queue().Post(platform::UiQueue::Make(program->Logic().TrayNotifyMessage(), 1,
                                                  app::kTrayLeftDoubleClick));
    ASSERT_TRUE(SpinUntil([&] { return !program->Logic().m_InTray; }));
    EXPECT_TRUE(program->Window().isVisible());
    EXPECT_FALSE(program->Tray().IsShown());

    // Minimise again, then "Close" from the tray menu: out of the tray, then closed.
    EXPECT_TRUE(program->Logic().OnMinimize());
    EXPECT_TRUE(program->Logic().m_InTray);
    program->Tray().Menu()->actions()[2]->trigger();
    SpinUntil([&] { return program->Window().Ended(); }, 2000);
    EXPECT_TRUE(program->Window().Ended());
    EXPECT_FALSE(program->Tray().IsShown());
}
