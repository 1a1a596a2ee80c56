// The program put together: the store, the window and its logic, the tray, the log and the
// start-up checks, for the real program and for the window's tests.
#pragma once

#include "app/dialog_log_view.h"
#include "app/main_window.h"
#include "app/run_wiring.h"
#include "cluster/cluster_run.h"
#include "gui/main_window_widget.h"
#include "gui/qt_tray.h"
#include "gui/sliced_import.h"
#include "log/log.h"
#include "platform/processes.h"
#include "platform/qt/qt_message_boxes.h"
#include "platform/qt/qt_ui_queue.h"
#include "pulldown/pulldown_worker.h"
#include "run/run_controller.h"
#include "store/key_store.h"

#include <memory>
#include <string>
#include <vector>

namespace gui {

struct ProgramOptions {
    std::string programPath; // the running program's file (its folder holds EclCCE, system/)
    std::vector<std::string> arguments; // the command line's arguments, without the program
    std::string storePath;              // the key store file
    // Ends the process with a status at a fatal start-up problem; must not return in the
    // program. Empty: flush and end at once.
    std::function<void(int status)> exit;
};

// Lives on the UI thread, inside a running QApplication.
class Program {
public:
    explicit Program(ProgramOptions options);
    ~Program();

    // Opens the store; false (with the reason in `error`) when it is not usable.
    bool Open(std::string& error);
    // Shows the window and initialises it: timer 1 then runs the start-up.
    void Start();

    MainWindowWidget& Window() { return *m_Window; }
    app::CMainWindow& Logic() { return *m_Logic; }
    QtTray& Tray() { return *m_Tray; }
    store::KeyStore& Store() { return m_Store; }
    logging::Log& Log() { return *m_Log; }
    platform::QtUiQueue& Queue() { return *m_Queue; }
    // Pulldown runs still going; the program lets them finish before it ends.
    int PulldownsRunning() const { return m_Pulldowns ? m_Pulldowns->Running() : 0; }

private:
    ProgramOptions m_Options;
    store::KeyStore m_Store;
    std::unique_ptr<platform::QtUiQueue> m_Queue;
    std::unique_ptr<MainWindowWidget> m_Window;
    std::unique_ptr<app::DialogLogView> m_LogView;
    std::unique_ptr<logging::Log> m_Log;
    std::unique_ptr<platform::QtMessageBoxes> m_Boxes;
    std::unique_ptr<QtTray> m_Tray;
    std::shared_ptr<platform::Processes> m_Processes;
    std::unique_ptr<SlicedImports> m_Imports;
    std::unique_ptr<app::RunWiring> m_Wiring;
    std::unique_ptr<app::CMainWindow> m_Logic;
    std::unique_ptr<pulldown::PulldownWorkers> m_Pulldowns;
    std::unique_ptr<run::RunController> m_Run;
    std::unique_ptr<cluster::ClusterRun> m_Cluster;
};

} // namespace gui
