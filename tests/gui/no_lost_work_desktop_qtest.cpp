// No click loses work, through the real window in the X session: the close right after the
// start and Delete Log.
#include "platform/control_ids.h"
#include "program_folder.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

using gui_testing::AnswerNextBox;
using gui_testing::LogRows;
using gui_testing::ProgramFolder;
using gui_testing::Started;

namespace {

// Records the text of every message box that opens while it lives and closes it unanswered:
// a test that expects no question sees the one that came anyway instead of hanging on it.
class BoxWatch {
public:
    BoxWatch() {
        QObject::connect(&m_Poll, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr && box->isVisible()) {
                texts.push_back(box->text().toStdString());
                box->reject();
            }
        });
        m_Poll.start(20);
    }
    std::vector<std::string> texts;

private:
    QTimer m_Poll;
};

bool LogHas(gui::Program& program, const std::string& row) {
    std::vector<std::string> rows = LogRows(program);
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

QAction* MenuAction(gui::Program& program, const QString& menuText, const QString& text) {
    for (QAction* menu : program.Window().menuBar()->actions()) {
        if (menu->text() == menuText) {
            for (QAction* item : menu->menu()->actions()) {
                if (item->text() == text) {
                    return item;
                }
            }
        }
    }
    return nullptr;
}

} // namespace

TEST(DesktopNoLostWork, CloseRightAfterTheStartAsksNothing) {
    ProgramFolder folder;
    folder.WriteJobs(1);
    auto program = folder.MakeProgram({});
    BoxWatch boxes;
    program->Start();
    // The close box before the start-up has run: no event has been handled since the window
    // was shown, so the start-up timer cannot have fired.
    ASSERT_FALSE(program->Logic().StartupDone());
    QCloseEvent close;
    QCoreApplication::sendEvent(&program->Window(), &close);
    EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front();
    EXPECT_TRUE(program->Window().Ended());
}

TEST(DesktopNoLostWork, DeleteLogAsksFirst) {
    ProgramFolder folder;
    auto program = Started(folder);
    const std::string log = program->Log().FilePath();
    ASSERT_TRUE(testing_support::WriteFile(log, "kept\r\n"));
    QAction* deleteLog = MenuAction(*program, "&Utilities", "&Delete Log");
    ASSERT_NE(deleteLog, nullptr);
    QString seen;
    AnswerNextBox("Cancel", &seen);
    deleteLog->trigger();
    EXPECT_TRUE(seen.startsWith(QString::fromStdString("Delete the log file " + log)))
        << seen.toStdString();
    EXPECT_TRUE(std::filesystem::exists(log));
    AnswerNextBox("Delete", &seen);
    deleteLog->trigger();
    EXPECT_TRUE(LogHas(*program, "0 Log file deleted"));
}
