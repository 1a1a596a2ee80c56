// What the window shows of a run beyond the progress bar: the title and the tray tip
// ("Vantaq — job 3 of 10, 42%, 0:12:30 left"), and the running job's line in the job list.
// Changes are shown at most every `kRunDisplayIntervalMs`, the last one always.
#pragma once

#include "app/job_row_details.h"

#include <cstdint>
#include <functional>
#include <string>

namespace platform {
class Dialog;
class UiQueue;
} // namespace platform
namespace run {
class RunController;
}

namespace app {

class CMainWindow;

// The window's timer that shows a change held back by the interval.
inline constexpr int kTimerRunDisplay = 7;
inline constexpr int64_t kRunDisplayIntervalMs = 250;

class RunStatusDisplay {
public:
    // `clock`: milliseconds that never go back. UI thread only.
    RunStatusDisplay(platform::Dialog& dialog, platform::UiQueue& queue,
                     std::function<int64_t()> clock);

    void Attach(CMainWindow* window, const run::RunController* controller);
    // The title of a run that another engine (a cluster) works; "" while there is none.
    void SetOtherRunText(std::function<std::string()> text) { m_OtherRunText = std::move(text); }

    // The run's progress changed: shown now, or at the end of the interval after the last one.
    void Changed();
    // The run started, moved to another job or ended: shown now. After the run the title is
    // the one it had before; the tray tip is left to the run, which names its idle texts.
    void ShowNow();
    // Timer `kTimerRunDisplay` came due.
    void OnTimer();

    // The text of the title and tray tip during a run; "" when no job is being worked.
    std::string StatusText() const;
    // The work on the job at `position` as the run reports it.
    JobActivity ActivityOf(int position) const;

private:
    // A run of this machine or of another engine is going.
    bool Running() const;
    // This machine's run is on a job.
    bool LocalJob() const;
    std::string OtherRunText() const;

    platform::Dialog& m_Dialog;
    platform::UiQueue& m_Queue;
    std::function<int64_t()> m_Clock;
    std::function<std::string()> m_OtherRunText;
    CMainWindow* m_Window = nullptr;
    const run::RunController* m_Controller = nullptr;
    std::string m_IdleTitle;
    bool m_Showing = false;
    bool m_TimerArmed = false;
    bool m_EverShown = false;
    int64_t m_LastShown = 0;
};

} // namespace app
