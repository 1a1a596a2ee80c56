// What a person sees of the queue in the real window under a window manager: the run in the
// title and the job's line while an encode is held, the notification at the end, the job
// list's context menu (real right clicks), and files dropped on the window.
#include "gui/job_list_delegate.h"
#include "jobs/job_store.h"
#include "platform/control_ids.h"
#include "program_folder.h"
#include "store/key_store.h"
#include "support/media.h"
#include "templates/template_store.h"
#include "x_session.h"

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform::main_window;
using gui_testing::ClickIn;
using gui_testing::kLong;
using gui_testing::LogRows;
using gui_testing::ProgramFolder;
using gui_testing::Started;
using gui_testing::Widget;

namespace {

QMenu* OpenJobMenu(gui::Program& program, int row) {
    auto* list = Widget<QListView>(program, kJobList);
    QPoint at = list->viewport()->mapTo(&program.Window(),
                                        list->visualRect(list->model()->index(row, 0)).center());
    ClickIn(program.Window().winId(), at, 3); // a real right click
    if (!QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, kLong)) {
        return nullptr;
    }
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

std::string Details(gui::Program& program, int row) {
    auto* list = Widget<QListView>(program, kJobList);
    return list->model()->index(row, 0).data(gui::kJobDetailsRole).toString().toStdString();
}

// The text of the balloon a tray icon shows on an X desktop; "" while none is shown.
QString Balloon() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qstrcmp(widget->metaObject()->className(), "QBalloonTip") == 0 && widget->isVisible()) {
            QString text;
            for (QLabel* label : widget->findChildren<QLabel*>()) {
                text += label->text() + "\n";
            }
            return text;
        }
    }
    return QString();
}

} // namespace

TEST(DesktopQueue, TitleAndJobLineFollowTheEncodeAndTheEndIsNotified) {
    ProgramFolder folder;
    folder.WriteJobs(3);
    folder.WriteJobSources(2); // the third job's source is not there
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(folder.StorePath()));
        ASSERT_TRUE(jobs::SetJobString(s, 1, jobs::kTemplate, "3"));
    }
    // The runner reports 40% of its part, then holds the encode until the test lets it go.
    std::string runner = folder.Dir().File("EclCCE");
    std::filesystem::remove(runner);
    ASSERT_TRUE(testing_support::WriteFile(
        runner, "#!/bin/sh\necho '40% / held'\n"
                "while [ ! -e \"$(dirname \"$0\")/release\" ]; do sleep 0.05; done\n"));
    std::filesystem::permissions(runner, std::filesystem::perms::owner_all);
    auto program = Started(folder);
    gui::MainWindowWidget& w = program->Window();
    const QString idleTitle = w.windowTitle();
    auto* bar = Widget<QProgressBar>(*program, kProgress);

    QTest::mouseClick(Widget<QToolButton>(*program, kStart), Qt::LeftButton);
    // Job 0 runs the two-part method: 40% of its first part is 20% of the job.
    const QString running = QString::fromUtf8("Vantaq \u2014 job 1 of 3, 20%");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.windowTitle().startsWith(running); }, kLong))
        << w.windowTitle().toStdString();
    EXPECT_EQ(bar->value(), 20);
    EXPECT_TRUE(w.windowTitle().endsWith(" left")) << w.windowTitle().toStdString();
    EXPECT_EQ(Details(*program, 0).rfind("Encoding 20%, ", 0), 0u) << Details(*program, 0);
    // The template's display name, as the template list shows it.
    EXPECT_EQ(Details(*program, 1), std::string("Pending  |  ") +
                                        templates::DefaultTemplateName(3) + "  |  " +
                                        folder.Dir().File("media/job 1.mpv"));
    for (const std::string& row : LogRows(*program)) {
        EXPECT_EQ(row.find("% / held"), std::string::npos) << row;
    }

    // The runner writes no stream, so every job fails; the title is the window's own again.
    ASSERT_TRUE(testing_support::WriteFile(folder.Dir().File("release"), ""));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !program->Logic().Processing(); }, 60000));
    EXPECT_EQ(w.windowTitle(), idleTitle);
    // Each row names the first error of its job's run: no stream, or a source that is not there
    // (that job never reached the encoder).
    const std::string stream = folder.Dir().File("media/job 0.mpv");
    EXPECT_EQ(Details(*program, 0), "Error: The encoder wrote no video stream " + stream +
                                        "  |  no template  |  " + stream);
    EXPECT_EQ(Details(*program, 2), "Error: Source file not found: /media/in/job 2.avs  |  "
                                    "no template  |  /media/in/job 2.mpv");
    ASSERT_TRUE(QTest::qWaitFor([] { return !Balloon().isEmpty(); }, kLong));
    EXPECT_TRUE(Balloon().contains("Queue finished: 0 jobs completed, 3 failed."))
        << Balloon().toStdString();
}

TEST(DesktopQueue, ContextMenuActsOnTheJobUnderThePointer) {
    ProgramFolder folder;
    folder.WriteJobs(3);
    std::filesystem::create_directories(folder.Dir().File("media"));
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(folder.StorePath()));
        ASSERT_TRUE(jobs::SetJobString(s, 2, jobs::kInput, folder.Dir().File("media/clip.avi")));
    }
    // An opener first in PATH that notes what it was given.
    std::string opener = folder.Dir().File("bin/xdg-open");
    std::filesystem::create_directories(folder.Dir().File("bin"));
    ASSERT_TRUE(testing_support::WriteFile(
        opener, "#!/bin/sh\nprintf '%s\\n' \"$@\" >\"$0.tmp\" && mv \"$0.tmp\" \"$0.args\"\n"));
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(folder.Dir().File("bin")) + ":" + path);
    auto program = Started(folder);
    platform::Dialog& d = program->Window().Dialog();

    QMenu* menu = OpenJobMenu(*program, 2);
    ASSERT_NE(menu, nullptr);
    QStringList offered;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            offered << action->text() + (action->isEnabled() ? "" : " (off)");
        }
    }
    EXPECT_EQ(offered.join(", ").toStdString(),
              "Move &Up, Move &Down (off), &Delete, &Reset, Open &Output Folder, "
              "Open &Job Log (off), "
              "&Stream Report\u2026 (off)");
    QTest::keyClick(menu, Qt::Key_O);
    QFile args(QString::fromStdString(opener + ".args"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return args.exists(); }, kLong));
    qputenv("PATH", path);
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll().trimmed().toStdString(),
              QUrl::fromLocalFile(QString::fromStdString(folder.Dir().File("media/")))
                  .toString()
                  .toStdString());

    // Move Up on the last job: it and its line go up one.
    menu = OpenJobMenu(*program, 2);
    ASSERT_NE(menu, nullptr);
    QTest::keyClick(menu, Qt::Key_U);
    ASSERT_TRUE(QTest::qWaitFor([&] { return d.GetRowText(kJobList, 1) == "job 2"; }, kLong));
    EXPECT_EQ(d.GetSelection(kJobList), 1);
    EXPECT_NE(Details(*program, 1).find("media/clip.mpv"), std::string::npos)
        << Details(*program, 1);
    EXPECT_EQ(Details(*program, 2), "Pending  |  no template  |  /media/in/job 1.mpv");

    // A job with no source path has no output folder: said in the log, nothing opened.
    menu = OpenJobMenu(*program, 0);
    ASSERT_NE(menu, nullptr);
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(folder.StorePath()));
        ASSERT_TRUE(jobs::SetJobString(s, 0, jobs::kInput, "clip.avi"));
    }
    QTest::keyClick(menu, Qt::Key_O);
    ASSERT_TRUE(
        QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, kLong));
    EXPECT_EQ(LogRows(*program).back(),
              "2 ERROR: Job job 0 has no source with a full path, so it has no output folder.");
}

// A real XDND drag needs a second client acting as the drag source, which xdotool cannot be;
// the drop events go to the real window instead, as the X connection would deliver them.
TEST(DesktopQueue, DroppedFilesBecomeJobs) {
    ProgramFolder folder;
    std::vector<QUrl> urls;
    for (const char* name : {"a.avi", "b.avi", "c.avi"}) {
        std::string file = folder.Dir().File(name);
        media::AviSpec spec;
        spec.totalFrames = 48;
        spec.streams[0].length = 48;
        ASSERT_TRUE(testing_support::WriteFile(file, media::BuildAvi(spec)));
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file)));
    }
    auto program = Started(folder);
    gui::MainWindowWidget& w = program->Window();
    platform::Dialog& d = w.Dialog();
    auto drop = [&](const QList<QUrl>& files) {
        QMimeData data;
        data.setUrls(files);
        QPoint at = w.rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &dropped);
        return dropped.isAccepted();
    };

    // Several files need a template to take their values from.
    ASSERT_TRUE(drop({urls[0], urls[1]}));
    EXPECT_EQ(d.GetCount(kJobList), 0);
    EXPECT_EQ(LogRows(*program).back(),
              "2 ERROR: No template is selected; choose one before adding several sources at "
              "once.");
    auto* templates = Widget<QComboBox>(*program, kTemplateList);
    templates->setCurrentIndex(1);
    ASSERT_TRUE(drop({urls[0], urls[1]}));
    ASSERT_EQ(d.GetCount(kJobList), 2);
    for (int job = 0; job < 2; ++job) {
        jobs::JobRecord record;
        ASSERT_TRUE(jobs::ReadJobRecord(program->Store(), job, record));
        EXPECT_EQ(record.name, job == 0 ? "a" : "b");
        EXPECT_EQ(record.input, urls[job].toLocalFile().toStdString());
        EXPECT_EQ(record.templateKey, "1");
        EXPECT_EQ(record.endFrame, 48);
    }
    // One file is New Job's source; nothing is added until Add Job.
    ASSERT_TRUE(d.IsEnabled(kNewJob));
    ASSERT_TRUE(drop({urls[2]}));
    EXPECT_EQ(d.GetText(kInputFile), urls[2].toLocalFile().toStdString());
    EXPECT_EQ(d.GetText(kName), "c");
    EXPECT_EQ(d.GetCount(kJobList), 2);
    // While New Job is not available (a job is being made), one file is refused.
    EXPECT_FALSE(d.IsEnabled(kNewJob));
    EXPECT_FALSE(drop({urls[0]}));
    EXPECT_EQ(d.GetText(kName), "c");
}
