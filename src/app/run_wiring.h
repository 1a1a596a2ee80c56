// Connects the run controller to the main window: the hooks the window calls, and the window's
// lists, buttons and tray as the run sees them. The run's state stays with the controller.
#pragma once

#include "app/main_window.h"
#include "app/run_status_display.h"
#include "run/run_controller.h"

#include <memory>
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
    // Shows the run in the title, the tray tip and the job list, and notifies at the end of
    // the queue; `clock` counts milliseconds. Call before Attach.
    void ShowRunStatus(platform::UiQueue& queue, std::function<int64_t()> clock);
    // The run on a Slurm cluster, the controller's remote executor while the settings choose
    // the cluster; the window shows its jobs.
    void AttachCluster(cluster::ClusterRun* clusterRun) { m_Cluster = clusterRun; }
    // The Slurm job of the job at `row` while a cluster run has it (its state and progress),
    // else null.
    const cluster::ClusterJob* ClusterJobAt(int row) const;
    // "Vantaq — 2 jobs on the Slurm cluster, 42%" while a cluster run goes, else "".
    std::string ClusterStatusText() const;

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
    void OnRunProgress() override;
    void OnQueueFinished(int completed, int failed) override;

private:
    template <typename Step> void Run(Step step);

    platform::Dialog& m_Dialog;
    store::KeyStore& m_Store;
    logging::Log& m_Log;
    CMainWindow* m_Window = nullptr;
    run::RunController* m_Controller = nullptr;
    std::unique_ptr<RunStatusDisplay> m_Display;
    cluster::ClusterRun* m_Cluster = nullptr;
};

} // namespace app
