// No click loses work, through the real window in the X session: the close right after the
// start.
#include "platform/control_ids.h"
#include "program_folder.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using gui_testing::ProgramFolder;

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
