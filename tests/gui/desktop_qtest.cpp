// The real window in an X session with a window manager and a notification area, used as a
// person uses it: the close box, minimising, keys, typing, a first start and a run, through
// real key, mouse and window-manager events.
#include "gui/settings_window.h"
#include "gui/up_down.h"
#include "jobs/job_store.h"
#include "platform/control_ids.h"
#include "program_folder.h"
#include "support/media.h"
#include "x_session.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

using namespace platform::main_window;
using gui_testing::ClickIn;
using gui_testing::kLong;
using gui_testing::LogRows;
using gui_testing::Managed;
using gui_testing::MapState;
using gui_testing::ProgramFolder;
using gui_testing::RunTool;
using gui_testing::Started;
using gui_testing::TrayIconWindow;
using gui_testing::Widget;

namespace {

QWidget* Popup() {
    return QApplication::activePopupWidget();
}

bool PopupOpens() {
    return QTest::qWaitFor([] { return Popup() != nullptr; }, kLong);
}

bool PopupCloses() {
    return QTest::qWaitFor([] { return Popup() == nullptr; }, kLong);
}

QAction* MenuItem(gui::MainWindowWidget& window, const QString& text) {
    for (QAction* menu : window.menuBar()->actions()) {
        for (QAction* item : menu->menu()->actions()) {
            if (item->text() == text) {
                return item;
            }
        }
    }
    return nullptr;
}

// The top-level window of process `pid` titled `title`, as "0x..." ("" when none).
QString WindowOf(qint64 pid, const std::string& title) {
    std::istringstream out(RunTool("wmctrl", {"-lp"}));
    for (std::string line; std::getline(out, line);) {
        std::istringstream fields(line);
        std::string id, desktop, host, rest;
        qint64 owner = 0;
        fields >> id >> desktop >> owner >> host;
        std::getline(fields, rest);
        if (owner == pid && rest.substr(rest.find_first_not_of(' ')) == title) {
            return QString::fromStdString(id);
        }
    }
    return QString();
}

std::string WriteSource(ProgramFolder& folder, uint32_t frames) {
    std::string source = folder.Dir().File("clip.avi");
    media::AviSpec spec;
    spec.totalFrames = frames;
    spec.streams[0].length = frames;
    EXPECT_TRUE(testing_support::WriteFile(source, media::BuildAvi(spec)));
    return source;
}

} // namespace

TEST(DesktopClose, CloseBoxEndsTheProgram) {
    ProgramFolder folder;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTAQ_STORE", QString::fromStdString(folder.StorePath()));
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QString::fromStdString(folder.ProgramPath()), {});
    ASSERT_TRUE(program.waitForStarted());
    // The window once its start-up has run (the title then carries the version).
    QString window;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !(window = WindowOf(program.processId(), "Vantaq " VANTAQ_TEST_VERSION))
                        .isEmpty();
        },
        kLong));
    // What the title bar's close box does: the window manager asks the window to close.
    RunTool("wmctrl", {"-i", "-c", window});
    bool ended = program.waitForFinished(kLong);
    if (!ended) {
        program.kill();
        program.waitForFinished();
    }
    ASSERT_TRUE(ended) << "the window went, the program stayed";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    // The store was closed: SQLite folded its write-ahead log back and removed it.
    EXPECT_TRUE(std::filesystem::exists(folder.StorePath()));
    EXPECT_FALSE(std::filesystem::exists(folder.StorePath() + "-wal"));
}

TEST(DesktopTray, MinimiseHidesTheWindowAndTheTrayBringsItBackWhole) {
    ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, kLong));
    ProgramFolder folder;
    auto program = Started(folder);
    gui::MainWindowWidget& w = program->Window();
    const WId id = w.winId();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Managed(id) && MapState(id) == "IsViewable"; }));
    // Hidden means unmapped and no longer managed: no frame is left on screen.
    // (Also once the program has seen the focus leave: a popup opened before that would be
    // closed by it.)
    auto minimised = [&] {
        return program->Logic().m_InTray && !w.isVisible() && MapState(id) == "IsUnMapped" &&
               !Managed(id) && QApplication::activeWindow() == nullptr;
    };
    auto minimise = [&] {
        // The window manager may pass over a request that comes while it is still settling a
        // window just shown; the request is repeated until the window is gone.
        for (int tries = 0; tries < 5 && !minimised(); ++tries) {
            RunTool("xdotool", {"windowminimize", QString::number(id)});
            if (QTest::qWaitFor(minimised, 4000)) {
                break;
            }
        }
        return minimised();
    };
    auto isRestored = [&] {
        return !program->Logic().m_InTray && w.isVisible() && !w.isMinimized() &&
               MapState(id) == "IsViewable" && Managed(id);
    };
    auto restored = [&] { return QTest::qWaitFor(isRestored, kLong); };
    // A double-click on the real icon, where the X server has it once the tray shows it (the
    // tray may still be embedding or moving it, so a click that found no icon is repeated).
    auto doubleClickIcon = [&] {
        for (int tries = 0; tries < 5 && program->Logic().m_InTray; ++tries) {
            WId icon = 0;
            if (QTest::qWaitFor(
                    [&] {
                        return (icon = TrayIconWindow()) != 0 && MapState(icon) == "IsViewable";
                    },
                    kLong)) {
                ClickIn(icon, QPoint(4, 4), 1, 2);
            }
            if (QTest::qWaitFor(isRestored, 4000)) {
                break;
            }
        }
        return isRestored();
    };

    ASSERT_TRUE(minimise()) << MapState(id);
    ASSERT_TRUE(doubleClickIcon()) << MapState(id);

    ASSERT_TRUE(minimise()) << program->Logic().m_InTray << w.isVisible() << w.isMinimized()
                            << MapState(id) << Managed(id);
    // The icon's right button, as its callback message, opens the menu; then "Restore".
    program->Queue().Post(platform::UiQueue::Make(program->Logic().TrayNotifyMessage(), 1,
                                                  app::kTrayRightButtonDown));
    QMenu* menu = program->Tray().Menu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, kLong));
    // Each entry is in the help, and the two stops say why they are off while idle.
    const QString help = gui_testing::HelpText(folder.Dir().File("vantaq.html"));
    for (QAction* action : menu->actions()) {
        EXPECT_TRUE(gui_testing::NamedInHelp(help, action->text())) << action->text().toStdString();
        if (action->text().startsWith("Stop")) {
            EXPECT_FALSE(action->isEnabled());
            EXPECT_TRUE(action->toolTip().endsWith("(No run is in progress.)"));
        }
    }
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions()[0]).center());
    ASSERT_TRUE(restored()) << MapState(id);

    // "Close" from the tray: back out of the tray, then the window ends.
    ASSERT_TRUE(minimise());
    for (QAction* action : program->Tray().Menu()->actions()) {
        if (action->text() == "Close") {
            action->trigger();
        }
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.Ended(); }));
    EXPECT_FALSE(program->Tray().IsShown());
}

TEST(DesktopFirstStart, TemplatesWaitForAChoiceAndTypedNumbersAreTakenWhole) {
    ProgramFolder folder; // a store nothing has written to yet
    std::string source = WriteSource(folder, 250);
    auto program = Started(folder);
    gui::MainWindowWidget& w = program->Window();
    platform::Dialog& d = w.Dialog();

    // The window fits a 1280x720 screen with its frame, and opens inside the screen.
    std::printf("[ size ] minimum %dx%d, opened at %dx%d with its frame\n",
                w.minimumSizeHint().width(), w.minimumSizeHint().height(),
                w.frameGeometry().width(), w.frameGeometry().height());
    EXPECT_LE(w.minimumSizeHint().width(), 1280);
    EXPECT_LE(w.minimumSizeHint().height(), 720 - 40);
    EXPECT_TRUE(w.screen()->availableGeometry().contains(w.frameGeometry()));

    // The default templates are there at the first start, and none is chosen.
    auto* templates = Widget<QComboBox>(*program, kTemplateList);
    ASSERT_EQ(templates->count(), 4);
    EXPECT_EQ(templates->currentIndex(), -1);
    EXPECT_EQ(templates->currentText(), "");
    w.SetSourceChooser([&] { return source; });
    QTest::mouseClick(Widget<QPushButton>(*program, kNewJob), Qt::LeftButton);
    EXPECT_EQ(d.GetText(kName), "clip");
    EXPECT_FALSE(Widget<QWidget>(*program, kAddJob)->isEnabled());

    // The user opens the list and picks "One Pass VBR" with the keys.
    QTest::keyClick(templates, Qt::Key_F4);
    ASSERT_TRUE(PopupOpens());
    QAbstractItemView* view = templates->view();
    for (int i = 0; i < 4 && view->currentIndex().row() != 2; ++i) {
        QTest::keyClick(view, Qt::Key_Down);
    }
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(PopupCloses());
    EXPECT_EQ(templates->currentText(), "One Pass VBR");
    EXPECT_TRUE(Widget<QWidget>(*program, kAddJob)->isEnabled());

    // Typing is taken whole when the field is committed, brought into the range.
    auto* avg = Widget<QLineEdit>(*program, kBitrateAvg);
    QTest::mouseClick(avg, Qt::LeftButton);
    avg->selectAll();
    QTest::keyClicks(avg, "12000");
    EXPECT_EQ(avg->text(), "12000");
    QTest::keyClick(avg, Qt::Key_Tab);
    EXPECT_EQ(avg->text(), "9800");
    EXPECT_EQ(d.GetSpinPos(kBitrateAvgSpin), 9800);
    QTest::mouseClick(avg, Qt::LeftButton);
    avg->selectAll();
    QTest::keyClicks(avg, "4500");
    QTest::keyClick(avg, Qt::Key_Return);
    EXPECT_EQ(avg->text(), "4500");
    // The Up key and the mouse wheel step it.
    QTest::keyClick(avg, Qt::Key_Up);
    EXPECT_EQ(avg->text(), "4501");
    ClickIn(w.winId(), avg->mapTo(&w, avg->rect().center()), 4);
    EXPECT_TRUE(QTest::qWaitFor([&] { return avg->text() == "4502"; }, kLong))
        << avg->text().toStdString();
    // Text that is no number gives way to the position.
    auto* bias = Widget<QLineEdit>(*program, kBias);
    QTest::mouseClick(bias, Qt::LeftButton);
    bias->selectAll();
    QTest::keyClicks(bias, "lots");
    QTest::keyClick(bias, Qt::Key_Return);
    EXPECT_EQ(bias->text().toInt(), d.GetSpinPos(kBiasSpin));

    // What is shown is what is stored.
    QTest::mouseClick(Widget<QPushButton>(*program, kAddJob), Qt::LeftButton);
    int stored = 0;
    ASSERT_TRUE(jobs::GetJobNumber(program->Store(), 0, jobs::kBitrateAvg, stored));
    EXPECT_EQ(stored, 4502);
}

TEST(DesktopKeys, EscapeClosesTheOpenListOrMenuFirstAndMnemonicsAreUnique) {
    ProgramFolder folder;
    std::string source = WriteSource(folder, 100);
    auto program = Started(folder);
    gui::MainWindowWidget& w = program->Window();
    int chosen = 0;
    w.SetSourceChooser([&] {
        ++chosen;
        return source;
    });

    // One key per mnemonic in the window and its menu bar.
    std::map<QChar, QString> keys;
    auto mnemonic = [&](const QString& text) {
        for (qsizetype at = text.indexOf('&'); at >= 0 && at + 1 < text.size();
             at = text.indexOf('&', at + 2)) {
            if (text[at + 1] != '&') {
                auto [it, added] = keys.emplace(text[at + 1].toLower(), text);
                EXPECT_TRUE(added) << text.toStdString() << " and " << it->second.toStdString();
            }
        }
    };
    for (QWidget* child : w.findChildren<QWidget*>()) {
        if (auto* button = qobject_cast<QAbstractButton*>(child)) {
            mnemonic(button->text());
        } else if (auto* label = qobject_cast<QLabel*>(child); label && label->buddy()) {
            mnemonic(label->text());
        } else if (auto* group = qobject_cast<QGroupBox*>(child)) {
            mnemonic(group->title());
        }
    }
    for (QAction* menu : w.menuBar()->actions()) {
        mnemonic(menu->text());
    }
    EXPECT_GE(keys.size(), 12u);
    // Alt+J is New Job: its file dialog is asked for the source.
    QTest::keyClick(&w, Qt::Key_J, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return chosen == 1; }, kLong));
    ASSERT_EQ(w.Dialog().GetText(kName), "clip");

    // Tab follows the layout: down the list's buttons, then through the job editor.
    auto* list = Widget<QListView>(*program, kJobList);
    list->setFocus();
    std::vector<int> tabbed;
    for (int i = 0; i < 60; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        if (focus == list) {
            break;
        }
        for (int id :
             {kClear, kName, kInputFile, kTemplateList, kBitrateMin, kBitrateAvg, kPasses, kQuality,
              kStartFrame, kEndFrame, kChapterBrowse, kNewJob, kCancel, kLogList, kExit}) {
            if (focus == w.Controls().Widget(id)) {
                tabbed.push_back(id);
            }
        }
    }
    // (The numbers wait for a template; New Job is off while a job is being edited.)
    EXPECT_EQ(tabbed, (std::vector<int>{kClear, kName, kInputFile, kTemplateList, kStartFrame,
                                        kEndFrame, kChapterBrowse, kCancel, kLogList, kExit}));

    // Escape in the open template list closes the list only.
    auto* templates = Widget<QComboBox>(*program, kTemplateList);
    QTest::keyClick(templates, Qt::Key_F4);
    ASSERT_TRUE(PopupOpens());
    RunTool("xdotool", {"key", "Escape"}); // a real key press
    ASSERT_TRUE(PopupCloses());
    EXPECT_FALSE(w.Ended());
    // Escape in an open menu closes the menu only.
    QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(PopupOpens());
    ASSERT_NE(qobject_cast<QMenu*>(Popup()), nullptr);
    RunTool("xdotool", {"key", "Escape"}); // a real key press
    ASSERT_TRUE(PopupCloses());
    EXPECT_FALSE(w.Ended());
    EXPECT_TRUE(w.isVisible());
    // Escape in the window itself is the cancel path: with the new job in the editor it asks
    // first, and Discard lets the window end.
    QTest::mouseClick(list->viewport(), Qt::LeftButton);
    QString asked;
    gui_testing::AnswerNextBox("Discard", &asked);
    RunTool("xdotool", {"key", "Escape"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.Ended(); }, kLong));
}

TEST(DesktopRun, TheJobBeingEncodedStaysSelectedAndThePulldownUtilityWaits) {
    ProgramFolder folder;
    folder.WriteJobs(3);
    folder.WriteJobSources(3);
    // The runner holds each encode until the test lets it go.
    std::string runner = folder.Dir().File("EclCCE");
    std::filesystem::remove(runner);
    ASSERT_TRUE(testing_support::WriteFile(
        runner, "#!/bin/sh\nwhile [ ! -e \"$(dirname \"$0\")/release\" ]; do sleep 0.05; done\n"));
    std::filesystem::permissions(runner, std::filesystem::perms::owner_all);
    auto program = Started(folder);
    gui::MainWindowWidget& w = program->Window();
    platform::Dialog& d = w.Dialog();
    auto* list = Widget<QListView>(*program, kJobList);
    QAction* utility = MenuItem(w, "2:3 &Pulldown");
    ASSERT_NE(utility, nullptr);

    QTest::mouseClick(Widget<QToolButton>(*program, kStart), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return program->Logic().Processing() &&
                   d.GetRowImage(kJobList, 0) == jobs::kImageRunning;
        },
        kLong));
    // The job being encoded is the highlighted one, so Delete acts on it and is refused.
    EXPECT_EQ(list->currentIndex().row(), 0);
    ASSERT_EQ(list->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(list->selectionModel()->selectedRows()[0].row(), 0);
    QTest::mouseClick(Widget<QToolButton>(*program, kDelete), Qt::LeftButton);
    ASSERT_EQ(list->model()->rowCount(), 3);
    EXPECT_EQ(d.GetRowText(kJobList, 1), "job 1");

    // Utilities > 2:3 Pulldown is not offered while the run is on.
    QTest::keyClick(&w, Qt::Key_U, Qt::AltModifier);
    ASSERT_TRUE(PopupOpens());
    EXPECT_FALSE(utility->isEnabled());
    EXPECT_TRUE(utility->toolTip().contains("(A run is in progress"))
        << utility->toolTip().toStdString();
    QTest::keyClick(Popup(), Qt::Key_Escape);
    ASSERT_TRUE(PopupCloses());
    // So is New Job, whose hint, read as it shows, says why.
    auto* newJob = Widget<QPushButton>(*program, kNewJob);
    ASSERT_FALSE(newJob->isEnabled());
    QHelpEvent hover(QEvent::ToolTip, newJob->rect().center(),
                     newJob->mapToGlobal(newJob->rect().center()));
    QApplication::sendEvent(newJob, &hover);
    EXPECT_TRUE(newJob->toolTip().endsWith("(A run is in progress: New Job is offered again when "
                                           "it ends.)"))
        << newJob->toolTip().toStdString();

    // Exit is offered during the run and asks the close box's question; Cancel keeps both
    // the window and the run.
    QString byCloseBox;
    gui_testing::AnswerNextBox("Cancel", &byCloseBox);
    RunTool("wmctrl", {"-i", "-c", "0x" + QString::number(w.winId(), 16)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !byCloseBox.isEmpty(); }, kLong));
    auto* exit = Widget<QPushButton>(*program, kExit);
    ASSERT_TRUE(exit->isEnabled()) << exit->toolTip().toStdString();
    QString byExit;
    gui_testing::AnswerNextBox("Cancel", &byExit);
    QTest::mouseClick(exit, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !byExit.isEmpty(); }, kLong));
    EXPECT_EQ(byExit, byCloseBox);
    EXPECT_FALSE(w.Ended());
    EXPECT_TRUE(program->Logic().Processing());
    // The menu's key reaches the window once the window manager has given it back the focus.
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w, kLong));

    // Once the queue has run out it is offered again.
    ASSERT_TRUE(testing_support::WriteFile(folder.Dir().File("release"), ""));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !program->Logic().Processing(); }, 60000));
    QTest::keyClick(&w, Qt::Key_U, Qt::AltModifier);
    ASSERT_TRUE(PopupOpens());
    EXPECT_TRUE(utility->isEnabled());
    QTest::keyClick(Popup(), Qt::Key_Escape);
    ASSERT_TRUE(PopupCloses());
}

TEST(DesktopRun, PulldownProgressRunsToTheEndOfTheStream) {
    ProgramFolder folder;
    std::string stream = folder.Dir().File("film.mpv");
    int status = -1;
    RunTool("ffmpeg",
            {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=24000/1001", "-frames:v",
             "240", "-c:v", "mpeg2video", "-g", "12", "-f", "mpeg2video", "-y",
             QString::fromStdString(stream)},
            &status);
    ASSERT_EQ(status, 0);
    // The sequence end code an encoder closes its stream with.
    QFile end(QString::fromStdString(stream));
    ASSERT_TRUE(end.open(QIODevice::Append));
    end.write(QByteArray("\x00\x00\x01\xb7", 4));
    end.close();
    auto program = Started(folder);
    auto* bar = Widget<QProgressBar>(*program, kProgress);
    QSignalSpy values(bar, &QProgressBar::valueChanged);

    // The file Utilities > 2:3 Pulldown's dialog would give.
    program->Logic().OnPulldownUtility(stream);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !program->Logic().RunBusy(); }, 60000));
    std::vector<std::string> log = LogRows(*program);
    ASSERT_EQ(log.back(), "0   Pulldown successfull.") << testing::PrintToString(log);
    EXPECT_EQ(bar->maximum(), 240);
    std::vector<int> seen;
    for (const QList<QVariant>& v : values) {
        seen.push_back(v.at(0).toInt());
    }
    // Step by step up to the end, then back to 0 when the pass is done.
    ASSERT_GE(seen.size(), 5u);
    EXPECT_EQ(seen.back(), 0);
    EXPECT_EQ(seen[seen.size() - 2], 240);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end() - 1));
}

TEST(DesktopHelp, ContentsGoesToTheDesktopOpener) {
    ProgramFolder folder;
    // An opener first in PATH that notes what it was given.
    std::string opener = folder.Dir().File("bin/xdg-open");
    std::filesystem::create_directories(folder.Dir().File("bin"));
    ASSERT_TRUE(testing_support::WriteFile(
        opener, "#!/bin/sh\nprintf '%s\\n' \"$@\" >\"$0.tmp\" && mv \"$0.tmp\" \"$0.args\"\n"));
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(folder.Dir().File("bin")) + ":" + path);
    auto program = Started(folder);

    QTest::keyClick(&program->Window(), Qt::Key_H, Qt::AltModifier);
    ASSERT_TRUE(PopupOpens());
    QTest::keyClick(Popup(), Qt::Key_C);
    QFile args(QString::fromStdString(opener + ".args"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return args.exists(); }, kLong));
    qputenv("PATH", path);
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(args.readAll().trimmed().toStdString(),
              QUrl::fromLocalFile(QString::fromStdString(folder.Dir().File("vantaq.html")))
                  .toString()
                  .toStdString());
}

// The output folder typed into the settings: one that does not exist is named in a box, the
// window stays with the folder to change in focus, and once it exists OK takes it.
TEST(DesktopSettings, AnOutputFolderThatCannotTakeTheOutputIsRefusedWithAMessage) {
    ProgramFolder folder;
    auto program = Started(folder);
    gui::SettingsWindow settings(program->Store(), &program->Window());
    // Modal, as File > Settings runs it.
    settings.setWindowModality(Qt::ApplicationModal);
    settings.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&settings, kLong));
    gui::WidgetDialog& d = static_cast<gui::WidgetDialog&>(settings.Dialog());
    using namespace platform::settings_dialog;
    QTest::mouseClick(dynamic_cast<QAbstractButton*>(d.Widget(kOutputSelected)), Qt::LeftButton);
    auto* typed = dynamic_cast<QLineEdit*>(d.Widget(kOutputDirectory));
    ASSERT_NE(typed, nullptr);
    typed->setFocus();
    const std::string out = folder.Dir().File("out");
    QTest::keyClicks(typed, QString::fromStdString(out));
    QString said;
    gui_testing::AnswerNextBox("OK", &said);
    QTest::keyClick(typed, Qt::Key_Return); // the dialog's default button, OK
    EXPECT_EQ(said.toStdString(), "The output folder \"" + out + "\" does not exist.");
    EXPECT_TRUE(settings.isVisible());
    EXPECT_NE(settings.result(), QDialog::Accepted);
    // Back from the box, the folder to change has the focus.
    EXPECT_TRUE(QTest::qWaitFor([&] { return typed->hasFocus(); }, kLong));

    std::filesystem::create_directories(out);
    QTest::keyClick(typed, Qt::Key_Return);
    EXPECT_EQ(settings.result(), QDialog::Accepted);
    EXPECT_FALSE(settings.isVisible());
}
