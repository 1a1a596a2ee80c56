// The help file against the program: every link inside it leads to a place in it, and every
// menu entry, button, box and caption of the real main window and the settings window is named
// in it, so that a control added without help fails here. Also the job menu's hints.
#include "gui/settings_window.h"
#include "platform/control_ids.h"
#include "program_folder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <set>

using namespace platform::main_window;
using gui_testing::HelpText;
using gui_testing::NamedInHelp;
using gui_testing::ProgramFolder;
using gui_testing::SpinUntil;

namespace {

// The captions a reader sees in `window`: buttons with text, group boxes, and the labels that
// name a field (those with a buddy), each of them shown.
QStringList HelpCaptionsOf(QWidget& window) {
    QStringList captions;
    for (auto* button : window.findChildren<QAbstractButton*>()) {
        if (!button->text().isEmpty() && !button->isHidden()) {
            captions << button->text();
        }
    }
    for (auto* box : window.findChildren<QGroupBox*>()) {
        captions << box->title();
    }
    for (auto* label : window.findChildren<QLabel*>()) {
        if (label->buddy() != nullptr) {
            captions << label->text();
        }
    }
    return captions;
}

// The menu of the job at `row`, opened with Shift+F10 in the list; null when none opened.
QMenu* OpenJobMenuForHelp(gui::Program& program, int row) {
    auto* list = dynamic_cast<QListView*>(program.Window().Controls().Widget(kJobList));
    if (list == nullptr) {
        return nullptr;
    }
    list->setCurrentIndex(list->model()->index(row, 0));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
    if (!QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; })) {
        return nullptr;
    }
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

} // namespace

TEST(HelpFile, LinksLeadToPlacesInIt) {
    ProgramFolder folder;
    QFile file(QString::fromStdString(folder.Dir().File("vantaq.html")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    std::set<QString> ids;
    QRegularExpression idPattern(R"(\bid="([^"]+)\")");
    for (auto it = idPattern.globalMatch(html); it.hasNext();) {
        QString id = it.next().captured(1);
        EXPECT_TRUE(ids.insert(id).second) << "two places named " << id.toStdString();
    }
    int links = 0;
    QRegularExpression linkPattern(R"(\bhref="#([^"]*)\")");
    for (auto it = linkPattern.globalMatch(html); it.hasNext(); ++links) {
        QString target = it.next().captured(1);
        EXPECT_EQ(ids.count(target), 1u)
            << "a link to #" << target.toStdString() << " leads nowhere";
    }
    EXPECT_GE(links, 20);
    // Every section is reached from the contents.
    for (const QString& id : ids) {
        EXPECT_TRUE(html.contains("href=\"#" + id + "\"")) << id.toStdString();
    }
}

TEST(HelpFile, NamesEveryMenuEntryAndControlOfTheWindows) {
    ProgramFolder folder;
    folder.WriteJobs(2);
    auto program = folder.MakeProgram({});
    program->Start();
    ASSERT_TRUE(SpinUntil([&] { return program->Logic().StartupDone(); }));
    // The help the program found at start-up is the one read here.
    ASSERT_EQ(program->Logic().HelpFile(), folder.Dir().File("vantaq.html"));
    const QString help = HelpText(program->Logic().HelpFile());
    ASSERT_FALSE(help.isEmpty());
    gui::MainWindowWidget& w = program->Window();

    int entries = 0;
    for (QAction* top : w.menuBar()->actions()) {
        ASSERT_NE(top->menu(), nullptr);
        for (QAction* item : top->menu()->actions()) {
            if (item->isSeparator()) {
                continue;
            }
            ++entries;
            // Named with its menu, as "File > New Job".
            QString name = top->text() + " > " + item->text();
            EXPECT_TRUE(NamedInHelp(help, name)) << name.toStdString();
        }
    }
    EXPECT_GE(entries, 8);

    // The job's own menu, opened from the keyboard as a user does.
    QMenu* menu = OpenJobMenuForHelp(*program, 0);
    ASSERT_NE(menu, nullptr);
    int jobEntries = 0;
    for (QAction* item : menu->actions()) {
        if (!item->isSeparator()) {
            ++jobEntries;
            EXPECT_TRUE(NamedInHelp(help, item->text())) << item->text().toStdString();
        }
    }
    EXPECT_GE(jobEntries, 6);
    menu->close();

    for (const QString& caption : HelpCaptionsOf(w)) {
        EXPECT_TRUE(NamedInHelp(help, caption)) << "main window: " << caption.toStdString();
    }
    gui::SettingsWindow settings(program->Store(), &w);
    QStringList settingCaptions = HelpCaptionsOf(settings);
    EXPECT_GE(settingCaptions.size(), 12);
    for (const QString& caption : settingCaptions) {
        EXPECT_TRUE(NamedInHelp(help, caption)) << "settings: " << caption.toStdString();
    }
}

// The job menu's entries that are off say why in their hint: the first job cannot move up, a
// job never handed to the cluster has no job log, a pending job has no stream report yet.
TEST(JobMenu, EntriesThatAreOffSayWhy) {
    ProgramFolder folder;
    folder.WriteJobs(2);
    auto program = folder.MakeProgram({});
    program->Start();
    ASSERT_TRUE(SpinUntil([&] { return program->Logic().StartupDone(); }));
    QMenu* menu = OpenJobMenuForHelp(*program, 0);
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->toolTipsVisible());
    int off = 0;
    for (QAction* item : menu->actions()) {
        if (item->isSeparator()) {
            continue;
        }
        const QString tip = item->toolTip();
        const bool saysWhy = tip.endsWith(')') && (tip.startsWith('(') || tip.contains("\n("));
        EXPECT_NE(item->isEnabled(), saysWhy)
            << item->text().toStdString() << ": " << tip.toStdString();
        off += item->isEnabled() ? 0 : 1;
    }
    EXPECT_EQ(off, 3); // Move Up, Open Job Log and Stream Report
    // The mouse resting on an entry that is off shows its reason.
    QAction* up = menu->actions().at(0);
    ASSERT_FALSE(up->isEnabled());
    const QPoint at = menu->actionGeometry(up).center();
    QHelpEvent rest(QEvent::ToolTip, at, menu->mapToGlobal(at));
    QApplication::sendEvent(menu, &rest);
    EXPECT_EQ(QToolTip::text(), up->toolTip());
    menu->close();
}
