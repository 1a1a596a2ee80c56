// The main window's job list details and context menu, and files dropped on the window.
#include "gui/job_list_delegate.h"
#include "gui/main_window_widget.h"
#include "gui/stream_report_window.h"
#include "platform/control_ids.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QShortcut>
#include <QUrl>

namespace gui {

using namespace platform::main_window;

namespace {

// The local files among dropped URLs; empty when any of them is something else.
std::vector<std::string> LocalFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (data == nullptr || !data->hasUrls()) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty()) {
            return {};
        }
        files.push_back(url.toLocalFile().toLocal8Bit().toStdString());
    }
    return files;
}

} // namespace

void MainWindowWidget::SetUpJobListDetails(QListView* list) {
    // The details come with each row from the store, a page at a time.
    list->setItemDelegate(new JobListDelegate(list));
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint& at) {
        // X asks for the menu when the right button goes down; a menu opened then would get
        // the button's release and close again at once, so it opens on the release.
        if (QGuiApplication::mouseButtons() & Qt::RightButton) {
            m_PendingJobMenu = at;
            m_JobMenuPending = true;
            return;
        }
        ShowJobMenu(list, at);
    });
    list->viewport()->installEventFilter(this);
    setAcceptDrops(true);

    // The keys of a list: Delete for the selected jobs, Shift+F10 and the Menu key for the menu.
    auto* remove = new QShortcut(QKeySequence(QKeySequence::Delete), list);
    remove->setContext(Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, this, [this] {
        if (m_Logic && m_Dialog.IsEnabled(kDelete)) {
            m_Logic->OnDeleteJob();
        }
    });
    for (const QKeySequence& keys :
         {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
        auto* menu = new QShortcut(keys, list);
        menu->setContext(Qt::WidgetShortcut);
        connect(menu, &QShortcut::activated, this, [this, list] { ShowJobMenuForKeyboard(list); });
    }
}

void MainWindowWidget::ShowJobMenuForKeyboard(QListView* list) {
    QModelIndex current = list->currentIndex();
    if (!current.isValid()) {
        return;
    }
    ShowJobMenu(list, list->visualRect(current).center());
}

bool MainWindowWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        auto mirror = m_Mirrors.find(watched);
        if (mirror != m_Mirrors.end()) {
            mirror->second->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
        }
        if (watched == m_Dialog.Widget(kAddJob)) {
            UpdateAddJobReason();
        }
    }
    // New Job's hint says why it is off, read when the hint is about to show.
    if (event->type() == QEvent::ToolTip && watched == m_Dialog.Widget(kNewJob)) {
        UpdateNewJobHint();
    }
    auto* list = dynamic_cast<QListView*>(m_Dialog.Widget(kJobList));
    // A press comes before the menu request it makes: whatever was pending is forgotten.
    if (list && watched == list->viewport() && event->type() == QEvent::MouseButtonPress) {
        m_JobMenuPending = false;
    }
    if (list && watched == list->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        OpenReportOnVerdict(list, static_cast<QMouseEvent*>(event)->position().toPoint())) {
        return true; // the report, not the editor
    }
    if (list && watched == list->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton && m_JobMenuPending) {
        m_JobMenuPending = false;
        ShowJobMenu(list, m_PendingJobMenu);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindowWidget::JobDetailsChanged(int row) {
    m_Dialog.RowChanged(kJobList, row);
}

void MainWindowWidget::RefreshAllJobDetails() {
    m_Dialog.AllRowsChanged(kJobList);
}

void MainWindowWidget::ShowJobMenu(QListView* list, const QPoint& at) {
    int row = list->indexAt(at).row();
    if (row < 0 || !m_Logic) {
        return;
    }
    // A row of a selection keeps the selection, so that the menu acts on all of it.
    QModelIndex index = list->model()->index(row, 0);
    if (!list->selectionModel()->isSelected(index)) {
        list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
    // The list's own buttons decide what is offered, as they decide what can be clicked.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // An entry that is off says why, as its button does.
    menu->setToolTipsVisible(true);
    auto add = [&](const char* text, int button, bool possible, void (app::CMainWindow::*handler)(),
                   const char* whyNot = nullptr) {
        QAction* action = menu->addAction(text);
        action->setEnabled(possible && (button == 0 || m_Dialog.IsEnabled(button)));
        if (!action->isEnabled()) {
            action->setToolTip(!possible && whyNot != nullptr ? QString(whyNot)
                                                              : m_Dialog.Widget(button)->toolTip());
        }
        connect(action, &QAction::triggered, this, [this, handler] {
            if (m_Logic) {
                (m_Logic->*handler)();
            }
        });
    };
    add("Move &Up", kMoveUp, row > 0, &app::CMainWindow::OnMoveJobUp,
        "(The job is the first in the Job List.)");
    add("Move &Down", kMoveDown, row < list->model()->rowCount() - 1,
        &app::CMainWindow::OnMoveJobDown, "(The job is the last in the Job List.)");
    add("&Delete", kDelete, true, &app::CMainWindow::OnDeleteJob);
    add("&Reset", kReset, true, &app::CMainWindow::OnResetJob);
    menu->addSeparator();
    add("Open &Output Folder", 0, true, &app::CMainWindow::OnOpenOutputFolder);
    std::string jobLog = m_Logic->JobLogPath(row);
    QAction* logAction = menu->addAction("Open &Job Log");
    logAction->setEnabled(!jobLog.empty());
    if (jobLog.empty()) {
        logAction->setToolTip("(A job's log is written when it runs on the Slurm cluster.)");
    }
    connect(logAction, &QAction::triggered, this, [this, jobLog] {
        auto failed = [this, jobLog] {
            if (m_Logic) {
                m_Logic->OnJobLogFailed(jobLog);
            }
        };
        if (!OpenWithDesktop(jobLog, false, failed)) {
            failed();
        }
    });
    std::string report = m_Logic->JobReportPath(row);
    QAction* reportAction = menu->addAction("&Stream Report\u2026");
    reportAction->setEnabled(!report.empty());
    if (report.empty()) {
        reportAction->setToolTip("(A job's stream report is made when its encode has ended.)");
    }
    connect(reportAction, &QAction::triggered, this,
            [this, report] { OpenStreamReportWindow(report, this); });
    menu->popup(list->viewport()->mapToGlobal(at));
}

bool MainWindowWidget::OpenReportOnVerdict(QListView* list, const QPoint& at) {
    QModelIndex index = list->indexAt(at);
    if (!index.isValid() || !m_Logic) {
        return false;
    }
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.rect = list->visualRect(index);
    option.font = list->font();
    option.decorationSize = list->iconSize();
    QRect verdict = JobListDelegate::VerdictRect(option, index.data(kJobDetailsRole).toString());
    std::string report = verdict.contains(at) ? m_Logic->JobReportPath(index.row()) : "";
    if (report.empty()) {
        return false;
    }
    OpenStreamReportWindow(report, this);
    return true;
}

bool MainWindowWidget::OpenFolder(const std::string& path) {
    return OpenWithDesktop(path, true, [this, path] {
        if (m_Logic) {
            m_Logic->OnOutputFolderFailed(path);
        }
    });
}

void MainWindowWidget::dragEnterEvent(QDragEnterEvent* event) {
    std::vector<std::string> files = LocalFiles(event->mimeData());
    // One file is New Job's source, so it is taken only while New Job can be used.
    if (m_Logic && !files.empty() && (files.size() > 1 || m_Dialog.IsEnabled(kNewJob))) {
        event->acceptProposedAction();
    }
}

void MainWindowWidget::dropEvent(QDropEvent* event) {
    std::vector<std::string> files = LocalFiles(event->mimeData());
    if (!m_Logic || files.empty()) {
        return;
    }
    event->acceptProposedAction();
    m_Logic->OnDropSources(files);
}

} // namespace gui
