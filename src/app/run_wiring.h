// Connects the run controller to the main window: the hooks the window calls, and the window's
// lists, buttons and tray as the run sees them. The run's state stays with the controller.
#pragma once

#include "app/main_window.h"
#include "run/run_controller.h"

namespace cluster {
class ClusterRun;
struct ClusterJob;
} // namespace cluster

namespace app {

class RunWiring : public run::RunWindow {
public:
    RunWiring(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log);

    // The window's hooks for Start, Stop, the run's timers and messages and the pulldown
    // utility; they forward to the controller once both are attached. Attaching also points
    // the window at the controller's state.
    void AddHooks(MainWindowHooks& hooks);
    void Attach(CMainWindow* window, run::RunController* controller);
    // The run on a Slurm cluster, taken by Start while the settings choose the cluster. It
    // shares the controller's state.
    void AttachCluster(cluster::ClusterRun* clusterRun) { m_Cluster = clusterRun; }
    // The Slurm job of the job at `row` while a cluster run has it (its state and progress),
    // else null.
    const cluster::ClusterJob* ClusterJobAt(int row) const;

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
    template <typename Step> void Run(Step step);

    platform::Dialog& m_Dialog;
    store::KeyStore& m_Store;
    logging::Log& m_Log;
    CMainWindow* m_Window = nullptr;
    run::RunController* m_Controller = nullptr;
    cluster::ClusterRun* m_Cluster = nullptr;
};

} // namespace app
