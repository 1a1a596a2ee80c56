// Connects the run controller to the main window: the hooks the window calls, and the window's
// lists, buttons and tray as the run sees them, with the shared state kept in step.
#pragma once

#include "app/main_window.h"
#include "run/run_controller.h"

namespace app {

class RunWiring : public run::RunWindow {
public:
    RunWiring(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log);

    // The window's hooks for Start, Stop, the run's timers and messages and the pulldown
    // utility; they forward to the controller once both are attached.
    void AddHooks(MainWindowHooks& hooks);
    void Attach(CMainWindow* window, run::RunController* controller);

    // run::RunWindow
    void ResetJobEditor() override;
    void UpdateJobButtons() override;
    void RefreshJobList() override;
    void RefreshJobRow(int row, int image) override;
    bool InTray() const override;
    void UpdateTrayIcon(const std::string& tip) override;
    void CloseWindow() override;
    void CloseWindowAfterFailure() override;
    bool HasExitKeyword() const override;
    bool HasDeleteMpvKeyword() const override;

private:
    // The window's list operations may move the job being encoded; the run takes its position
    // from the window before each step and gives its state back after it.
    void TakeFromWindow();
    void GiveToWindow();
    template <typename Step> void Run(Step step);

    platform::Dialog& m_Dialog;
    store::KeyStore& m_Store;
    logging::Log& m_Log;
    CMainWindow* m_Window = nullptr;
    run::RunController* m_Controller = nullptr;
};

} // namespace app
