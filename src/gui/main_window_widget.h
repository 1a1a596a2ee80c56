// The main window on Qt: every control of the main window as a real widget, the menus, and the
// translation of widget events into calls on the window's logic.
#pragma once

#include "app/main_window.h"
#include "gui/widget_dialog.h"

#include <QMainWindow>

#include <functional>
#include <map>

class QAction;
class QLabel;
class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QListView;
class QLineEdit;
class QGridLayout;

namespace store {
class KeyStore;
}

namespace gui {

class MainWindowWidget : public QMainWindow, public app::MainWindowHost {
public:
    explicit MainWindowWidget(store::KeyStore& store);

    platform::Dialog& Dialog() { return m_Dialog; }
    WidgetDialog& Controls() { return m_Dialog; }
    // The logic that receives the window's events; set once, before the window is shown.
    void SetLogic(app::CMainWindow* logic);
    // Called after the window has closed by either path.
    void SetOnEnded(std::function<void()> ended) { m_OnEnded = std::move(ended); }
    bool Ended() const { return m_Ended; }
    // Replaces the open-file dialog of New Job (tests); it returns the chosen source or "".
    void SetSourceChooser(std::function<std::string()> chooser) {
        m_SourceChooser = std::move(chooser);
    }

    // app::MainWindowHost
    void ShowWindow(bool visible) override;
    void EndWindow() override;
    bool OpenHelp(const std::string& path) override;
    void ShowAbout(const std::string& caption) override;
    bool RunSettingsDialog() override;
    void JobDetailsChanged(int row) override;
    bool OpenFolder(const std::string& path) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Escape that no child and no open list or menu took: the cancel path.
    void keyPressEvent(QKeyEvent* event) override;
    // Video files dragged from a file manager: one fills New Job, several become jobs.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The job list's right button release opens the menu that its press asked for.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* BuildJobsPanel();
    QWidget* BuildJobInfoPanel();
    // Set as Template Default, New Job, Add Job, Cancel, and why Add Job cannot be used yet.
    QWidget* BuildEditorButtons(QWidget* parent);
    void UpdateAddJobReason();
    // New Job's button and menu entry: their hint with the reason New Job is off, if it is.
    void UpdateNewJobHint();
    // `action` is enabled exactly while the control `id` is.
    void MirrorEnabled(QAction* action, int id);
    QWidget* BuildLogPanel();
    void BuildMenus();
    // A labelled number field with its up-down control on `row` of `grid`.
    void AddNumberField(QGridLayout* grid, int row, const char* label, int field, int spin,
                        bool digitsOnly);
    QLineEdit* AddEdit(int id, bool readOnly);
    void Connect(int id, void (app::CMainWindow::*handler)());
    // New Job button and menu item: the source from the open-file dialog, to the logic.
    void OnNewJob();
    std::string ChooseSource();
    // Tab goes through the controls in the order the layout shows them.
    void SetTabOrder();
    // The window is done: tells whoever waits for it, once.
    void Finish();
    // The job list's two-line rows, their details kept up to date, and its context menu.
    void SetUpJobListDetails(QListView* list);
    void ShowJobMenu(QListView* list, const QPoint& at);
    // Opens the stream report when `at` is on a finished job's verdict; false otherwise.
    bool OpenReportOnVerdict(QListView* list, const QPoint& at);
    void RefreshAllJobDetails();
    // Opens a file or folder with the desktop's handler (help, output folders). False when it
    // cannot be tried; `failed` runs later when the handler reports that it could not open it.
    bool OpenWithDesktop(const std::string& path, bool folder, std::function<void()> failed);
    // The row menu for the keyboard (Shift+F10, the Menu key): at the current row.
    void ShowJobMenuForKeyboard(QListView* list);

    store::KeyStore& m_Store;
    WidgetDialog m_Dialog;
    app::CMainWindow* m_Logic = nullptr;
    std::function<void()> m_OnEnded;
    std::function<std::string()> m_SourceChooser;
    bool m_Ending = false;
    bool m_InCloseEvent = false;
    bool m_Ended = false;
    QAction* m_NewJob = nullptr;
    QAction* m_LoadFileList = nullptr;
    QAction* m_PulldownUtility = nullptr;
    QLabel* m_AddJobReason = nullptr;
    std::map<QObject*, QAction*> m_Mirrors;
    bool m_JobMenuPending = false;
    QPoint m_PendingJobMenu;
};

} // namespace gui
