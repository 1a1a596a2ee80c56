// The run controller inside the main window.
#include "app/run_wiring.h"

#include "app/command_line.h"
#include "app/job_row_details.h"
#include "cluster/cluster_run.h"
#include "jobs/job_panels.h"
#include "platform/dialog.h"

namespace app {

RunWiring::RunWiring(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log)
    : m_Dialog(dialog), m_Store(store), m_Log(log) {}

void RunWiring::Attach(CMainWindow* window, run::RunController* controller) {
    m_Window = window;
    m_Controller = controller;
    if (m_Window && m_Controller) {
        m_Window->AttachRun(m_Controller->State(),
                            [this] { return m_Controller->CurrentPosition(); });
    }
    if (m_Display) {
        m_Display->Attach(window, controller);
    }
}

void RunWiring::ShowRunStatus(platform::UiQueue& queue, std::function<int64_t()> clock) {
    m_Display = std::make_unique<RunStatusDisplay>(m_Dialog, queue, std::move(clock));
    m_Display->SetOtherRunText([this] { return ClusterStatusText(); });
}

std::string RunWiring::ClusterStatusText() const {
    if (!m_Cluster || !m_Cluster->Active()) {
        return std::string();
    }
    const std::vector<cluster::ClusterJob>& jobs = m_Cluster->Jobs();
    std::string text = "Vantaq \u2014 " + std::to_string(jobs.size()) +
                       (jobs.size() == 1 ? " job" : " jobs") + " on the Slurm cluster";
    // The share done as the progress bar shows it.
    if (int percent = m_Cluster->AverageProgress(); percent >= 0) {
        text += ", " + std::to_string(percent) + "%";
    }
    return text;
}

template <typename Step> void RunWiring::Run(Step step) {
    if (!m_Window || !m_Controller) {
        return;
    }
    step(*m_Controller);
}

void RunWiring::AddHooks(MainWindowHooks& hooks) {
    hooks.onStartProcessing = [this] { Run([](run::RunController& c) { c.OnStartProcessing(); }); };
    hooks.onStopProcessing = [this] { Run([](run::RunController& c) { c.OnStopProcessing(); }); };
    hooks.onStopAfterThisJob = [this] {
        Run([](run::RunController& c) { c.OnStopAfterThisJob(); });
    };
    hooks.onResumeRun = [this] { Run([](run::RunController& c) { c.ResumeRun(); }); };
    hooks.onRunTimer = [this](int timerId) {
        if (timerId == kTimerRunDisplay) {
            if (m_Display) {
                m_Display->OnTimer();
            }
            return;
        }
        Run([timerId](run::RunController& c) { c.OnTimer(timerId); });
    };
    hooks.jobActivity = [this](int position) {
        if (const cluster::ClusterJob* job = ClusterJobAt(position)) {
            JobActivity activity;
            activity.active = true;
            activity.percent = job->progress;
            activity.label = "Slurm job " + job->slurmId + " " + job->state;
            if (!job->reason.empty()) {
                activity.label += " (" + job->reason + ")";
            }
            if (!job->warning.empty()) {
                activity.label += " - " + job->warning;
            }
            return activity;
        }
        return m_Display ? m_Display->ActivityOf(position) : JobActivity();
    };
    hooks.withdrawJob = [this](int position, const std::string& action, std::string& why) {
        return m_Cluster && m_Cluster->Withdraw(position, action, why);
    };
    hooks.onMessage = [this](platform::Message& message) -> int64_t {
        Run([this, &message](run::RunController& c) {
            if (!(m_Cluster && m_Cluster->OnMessage(message))) {
                c.OnMessage(message);
            }
        });
        return 0;
    };
    hooks.pulldownUtility = [this](const std::string& path) {
        Run([&path](run::RunController& c) { c.OnPulldownUtility(path); });
    };
}

const cluster::ClusterJob* RunWiring::ClusterJobAt(int row) const {
    return m_Cluster && m_Cluster->Active() ? m_Cluster->JobAt(row) : nullptr;
}

void RunWiring::ResetJobEditor() {
    jobs::ResetJobEditor(m_Dialog);
}

void RunWiring::UpdateJobButtons() {
    const run::RunState& state = m_Controller->State();
    jobs::UpdateJobButtons(m_Dialog, state.m_Processing, state.m_PulldownRunning,
                           state.m_CurrentJob);
    // Every start and end of a run passes here.
    if (m_Display) {
        m_Display->ShowNow();
    }
}

void RunWiring::OnRunProgress() {
    if (m_Display) {
        m_Display->Changed();
    }
}

void RunWiring::OnQueueFinished(int completed, int failed) {
    if (m_Display) {
        m_Window->OnQueueFinished(completed, failed);
    }
}

void RunWiring::RefreshJobList() {
    jobs::RefreshJobList(m_Dialog, m_Store, &m_Log);
}

void RunWiring::RefreshJobRow(int row, int image) {
    // A finished job shows the warning when its stream misses the DVD-Video its template asks.
    if (image == jobs::kImageComplete && m_Window) {
        image = JobRowImage(m_Store, m_Window->m_Settings, row);
    }
    jobs::RefreshJobRow(m_Dialog, m_Store, row, image);
}

bool RunWiring::InTray() const {
    return m_Window->m_InTray;
}

void RunWiring::UpdateTrayIcon(const std::string& tip) {
    m_Window->UpdateTrayIcon(tip);
}

void RunWiring::CloseWindow() {
    m_Window->OnCancel();
}

void RunWiring::CloseWindowAfterFailure() {
    m_Window->m_ExitStatus = 1;
    m_Window->OnCancel();
}

bool RunWiring::HasExitKeyword() const {
    return m_Window->Options().Has(kKeyExit);
}

bool RunWiring::HasDeleteMpvKeyword() const {
    return m_Window->Options().Has(kKeyDeleteMpv);
}

} // namespace app
