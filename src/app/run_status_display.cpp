// The run's state in the title, the tray tip and the job list, rate-limited.
#include "app/run_status_display.h"

#include "app/main_window.h"
#include "jobs/job_panels.h"
#include "jobs/job_record.h"
#include "jobs/job_store.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/ui_queue.h"
#include "run/run_controller.h"

#include <algorithm>

namespace app {

RunStatusDisplay::RunStatusDisplay(platform::Dialog& dialog, platform::UiQueue& queue,
                                   std::function<int64_t()> clock)
    : m_Dialog(dialog), m_Queue(queue), m_Clock(std::move(clock)) {}

void RunStatusDisplay::Attach(CMainWindow* window, const run::RunController* controller) {
    m_Window = window;
    m_Controller = controller;
}

bool RunStatusDisplay::Running() const {
    return LocalJob() || !OtherRunText().empty();
}

bool RunStatusDisplay::LocalJob() const {
    return m_Controller != nullptr && m_Controller->State().m_Processing &&
           m_Controller->State().m_CurrentJob >= 0;
}

std::string RunStatusDisplay::OtherRunText() const {
    return m_OtherRunText ? m_OtherRunText() : std::string();
}

std::string RunStatusDisplay::StatusText() const {
    if (!LocalJob()) {
        return OtherRunText();
    }
    const run::RunProgress& progress = m_Controller->Progress();
    // This run's jobs: those it has started, and the pending ones still ahead of it.
    const int current = m_Controller->State().m_CurrentJob;
    // Counted by the store's index, whatever the length of the queue.
    store::KeyStore& store = m_Window->Store();
    int pending = jobs::CountJobStatuses(store, jobs::JobCount(store)).pending;
    std::string status;
    if (jobs::GetJobString(store, current, jobs::kStatus, jobs::kStatusSearchCapacity, status) &&
        status == jobs::kStatusPending) {
        --pending;
    }
    const int started = std::max(progress.JobsStarted(), 1);
    std::string text =
        "Vantaq \u2014 job " + std::to_string(started) + " of " + std::to_string(started + pending);
    if (progress.Percent() >= 0) {
        text += ", " + std::to_string(progress.Percent()) + "%";
    }
    if (auto left = progress.JobSecondsLeft()) {
        text += ", " + run::FormatDuration(*left) + " left";
    }
    auto queue = progress.QueueSecondsLeft();
    if (queue && queue != progress.JobSecondsLeft()) {
        text += ", queue " + run::FormatDuration(*queue);
    }
    return text;
}

JobActivity RunStatusDisplay::ActivityOf(int position) const {
    JobActivity activity;
    // Between a job's end and the next job's start the row shows the status written.
    if (LocalJob() && position == m_Controller->State().m_CurrentJob &&
        m_Controller->Progress().InJob()) {
        activity.active = true;
        activity.percent = m_Controller->Progress().Percent();
        activity.secondsLeft = m_Controller->Progress().JobSecondsLeft();
    }
    return activity;
}

void RunStatusDisplay::Changed() {
    if (m_TimerArmed) {
        return;
    }
    int64_t since = m_Clock() - m_LastShown;
    if (!m_EverShown || since >= kRunDisplayIntervalMs) {
        ShowNow();
        return;
    }
    m_TimerArmed = true;
    m_Queue.SetTimer(kTimerRunDisplay, static_cast<uint32_t>(kRunDisplayIntervalMs - since));
}

void RunStatusDisplay::OnTimer() {
    m_TimerArmed = false;
    ShowNow();
}

void RunStatusDisplay::ShowNow() {
    if (m_Window == nullptr || m_Controller == nullptr) {
        return;
    }
    if (m_TimerArmed) {
        m_Queue.KillTimer(kTimerRunDisplay);
        m_TimerArmed = false;
    }
    m_EverShown = true;
    m_LastShown = m_Clock();
    // The job being encoded cannot be deleted or reset: its buttons say so while it is selected.
    jobs::UpdateSelectionButtons(m_Dialog, LocalJob() ? m_Controller->State().m_CurrentJob : -1);
    if (!Running()) {
        if (m_Showing) {
            m_Dialog.SetTitle(m_IdleTitle);
            m_Showing = false;
            // A run that stopped or ended leaves no bar behind.
            m_Dialog.SetProgressPos(platform::main_window::kProgress, 0);
        }
        return;
    }
    if (!m_Showing) {
        m_IdleTitle = m_Dialog.GetTitle();
        m_Showing = true;
    }
    std::string text = StatusText();
    m_Dialog.SetTitle(text);
    if (m_Window->m_InTray) {
        m_Window->UpdateTrayIcon(text);
    }
    if (LocalJob()) {
        m_Window->JobDetailsChanged(m_Controller->State().m_CurrentJob);
    }
}

} // namespace app
