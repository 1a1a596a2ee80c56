// `CMainWindow`: the main window's logic: its shared state, initialisation, start-up automation,
// tray, close paths and menu commands, over the `Dialog` of its controls.
#pragma once

#include "app/command_line.h"
#include "app/job_list_source.h"
#include "app/job_row_details.h"
#include "app/tray.h"
#include "env/settings.h"
#include "env/startup_checks.h"
#include "jobs/job_editor.h"
#include "jobs/job_list.h"
#include "jobs/removed_jobs.h"
#include "platform/ui_queue.h"
#include "run/run_controller.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace logging {
class Log;
}
namespace platform {
class Dialog;
class MessageBoxes;
} // namespace platform
namespace store {
class KeyStore;
}

namespace app {

// Timer ids of the main window.
inline constexpr int kTimerStartup = 1;
// Removes, a slice at a time, what a long Clear set aside in the store.
inline constexpr int kTimerTidyStore = 12;
inline constexpr int kTidySliceKeys = 256;
using run::MY_TIMER_NEXT_JOB;
using run::MY_TIMER_PART2;
using run::MY_TIMER_RESTART_JOB;
inline constexpr uint32_t kStartupDelayMs = 500;
// A Delete of up to this many jobs names each in the log; of more, at the debug level.
inline constexpr size_t kNamedDeletes = 50;

inline constexpr const char* kTrayNotifyName =
    "UPM_TRAY_NOTIFY-{840A2ECA-26CC-4634-9281-85C7D2E2C2F6}";
inline constexpr size_t kTrayTipMax = 63;

// What the logic needs of the real window around it. UI thread only.
class MainWindowHost {
public:
    virtual ~MainWindowHost() = default;
    // Shows or hides the window (hiding to the tray).
    virtual void ShowWindow(bool visible) = 0;
    // Closes the window; the program ends when it has closed.
    virtual void EndWindow() = 0;
    // Opens an HTML help file with the desktop's handler; false when it could not be started.
    // A handler that starts and then fails is reported later through OnHelpFailed.
    virtual bool OpenHelp(const std::string& path) = 0;
    // Shows the about box under `caption`.
    virtual void ShowAbout(const std::string& caption) = 0;
    // Runs the settings dialog modally; true when it was closed with OK.
    virtual bool RunSettingsDialog() = 0;
    // The job list's line of details for `row` (CMainWindow::JobDetails) has changed.
    virtual void JobDetailsChanged(int /*row*/) {}
    // Opens a folder with the desktop's handler, as help is opened; false when it could not (a
    // later failure comes through OnOutputFolderFailed).
    virtual bool OpenFolder(const std::string& /*path*/) { return false; }
};

// The parts of the program that plug into the window. Each one is optional: while a hook is
// empty its command does nothing.
struct MainWindowHooks {
    // Start button and the "start" keyword (the run controller's `OnStartProcessing`).
    std::function<void()> onStartProcessing;
    // Stop button and the tray's "Stop Processing" (`OnStopProcessing`).
    std::function<void()> onStopProcessing;
    // Stop After This Job (button and tray menu).
    std::function<void()> onStopAfterThisJob;
    // At start-up, before the keywords: follows the encodes an earlier start left running.
    std::function<void()> onResumeRun;
    // The run's timers (run::IsRunTimer), the run display's and the cluster run's poll, after
    // the window killed them.
    std::function<void(int timerId)> onRunTimer;
    // Registered messages other than the tray's (the runner's and the pulldown's UPM_*).
    std::function<int64_t(platform::Message& message)> onMessage;
    // The job list file loader, given a path (File > Load File List and the "source" keyword).
    std::function<void(const std::string& path)> loadFileList;
    // The same, working in slices from the event loop; it calls `done` once the list is
    // through. Taken over `loadFileList` when set.
    std::function<void(const std::string& path, std::function<void()> done)> loadFileListInSlices;
    // Utilities > 2:3 Pulldown with the chosen ".mpv" file.
    std::function<void(const std::string& path)> pulldownUtility;
    // The environment checks: env::LoadSystemInfo in the program, a stand-in in tests. When
    // empty the checks are skipped and counted as failed.
    std::function<bool(env::StartupServices&, env::StartupResult&)> loadSystemInfo;
    // A new job's chapter information file: looks for it beside the source and imports it.
    std::function<void(const std::string& sourcePath)> findChapters;
    // The chapter list "&Browse" button, the "Convert Chapters to Film" box and the size "Calc"
    // button of the Job Info panel.
    std::function<void()> onChapterBrowse;
    std::function<void()> onConvertToFilm;
    std::function<void()> onCalc;
    // The work going on for a job, shown in its line of the job list; empty: none.
    std::function<JobActivity(int position)> jobActivity;
    // Delete or Reset of a job that runs elsewhere (on the cluster): true when the action must
    // wait, with the reason in `why` (the job is being cancelled there).
    std::function<bool(int position, const std::string& action, std::string& why)> withdrawJob;
};

class CMainWindow : public platform::MessageHandler {
public:
    // Every reference must outlive the window. `services` is handed to the start-up checks; its
    // store, log and dialog must be the ones given here.
    CMainWindow(platform::Dialog& dialog, platform::UiQueue& queue, store::KeyStore& store,
                logging::Log& log, Tray& tray, platform::MessageBoxes& boxes, MainWindowHost& host,
                env::StartupServices services, MainWindowHooks hooks = {});
    ~CMainWindow() override;

    // Window initialisation: parses `commandLine` (the whole line, program path included),
    // leaves the tray, sets the editor's spin ranges and starts timer 1. The window's icons and
    // tooltips are the real window's own. Also registers the tray message and takes the
    // queue's messages.
    void OnInitDialog(const std::string& commandLine);
    // The same with the program's arguments (CommandLineOptions::ParseArguments): the program's
    // own path never yields a key.
    void OnInitDialog(const std::vector<std::string>& arguments);

    // The first tick of timer 1: the start-up checks and the keywords clear, source, start,
    // minimize, in that order.
    void OnStartupTimer();
    void OnTidyStoreTimer();
    // The keyword "clear": the list and its jobs go, "Job List cleared!" is logged.
    void ClearByKeyword();

    // The start-up keywords of a second start on the same store, handed over by it
    // (its arguments, as OnInitDialog takes them; relative paths are taken from `workingDir`).
    // Runs the start-up first if it has not run yet. A run in progress keeps its queue: "clear"
    // is refused then, and "start" does nothing; "exit" and "deletempv" join this window's own
    // keywords. Without keywords the window is shown.
    void OnHandedKeywords(const std::string& workingDir, const std::vector<std::string>& arguments);

    // Minimise command. True when the window went to the tray; false means: give it the
    // default handling (already in the tray, or no tray icon could be added, which is logged).
    bool OnMinimize();
    // Shows the window again if it is in the tray. False (and a logged error, window still
    // hidden) when the tray icon could not be removed.
    bool RestoreFromTray();
    // The tray icon's callback with its mouse message.
    void OnTrayNotify(int64_t mouseMessage);
    // Adds the tray icon with `tip` cut to 63 characters. Returns success.
    bool AddTrayIcon(const std::string& tip);
    bool UpdateTrayIcon(const std::string& tip);

    // Close paths: accept (Exit button, File > Close) and cancel (close box, Escape, the tray's
    // "Close", the "exit" keyword). Neither stops a run.
    void OnAccept();
    void OnCancel();
    // The same paths taken by the user: first ConfirmCloseWithUnsavedEdit, and the window
    // stays when it says so. The keywords take OnCancel itself.
    void OnUserAccept();
    void OnUserCancel();
    // Whether the window may close with the job editor as it is. With changes Add/Replace has
    // not stored, asks: "Save as job" (stores them, as Add/Replace does; closing goes on only
    // when that worked), "Discard" or "Cancel" (false: the window stays). True without changes.
    bool ConfirmCloseWithUnsavedEdit();
    // During a run, asks whether to quit and leave the encode running (Vantaq follows it when
    // started again); true when the window may close. True when no run is going.
    bool ConfirmQuitDuringRun();

    // Commands.
    void OnStartProcessing();
    void OnStopProcessing();
    void OnStopAfterThisJob();
    // Asks first; a list shorter than store::KeyStore::kSetAsideFrom is kept for Undo.
    void OnClearJobList();
    // Edit > Undo: puts back the jobs of the last Delete or Clear (at their old positions
    // while the queue has not changed its length since, else after the last job) and logs it.
    void OnUndo();
    // What Undo would undo ("Delete", "Clear"), "" when nothing.
    std::string UndoText() const { return m_UndoWhat; }
    void OnLogDebugInfo();
    void OnDeleteLog();
    void OnSettings();
    void OnHelpContents();
    void OnAbout();
    // Utilities > 2:3 Pulldown with the chosen file (the window runs the file dialog). Does
    // nothing while `RunBusy()`.
    void OnPulldownUtility(const std::string& path);
    bool HasPulldownUtility() const { return static_cast<bool>(m_Hooks.pulldownUtility); }
    // File > Load File List with the chosen path (the window runs the file dialog). `done` runs
    // once the list is through (at once when it is read in one go).
    void OnLoadFileList(const std::string& path, std::function<void()> done = nullptr);
    // The job list's buttons and events.
    void OnMoveJobUp();
    void OnDeleteJob();
    // True (with a logged reason) when a selected job runs elsewhere and `action` must wait.
    bool SelectedJobsElsewhere(const std::string& action);
    void OnMoveJobDown();
    void OnResetJob();
    void OnJobSelectionChanged();
    void OnJobDoubleClick();
    // The job editor's buttons and events. New Job takes the source the window's file dialog
    // gave (empty when cancelled).
    void OnNewJob(const std::string& path);
    // Add/Replace. When a new job would write the output of another job, the user chooses
    // before it is stored: replace that output, another output name, or not added.
    void OnAddJob();
    // Before a new job is stored (PlaceNewJob of the editor): an ECL name of its own when
    // another job has its source's, and the output choice when another job writes its stream;
    // a job list or other unattended add takes another output name and logs it.
    bool PlaceNewJob(const jobs::JobRecord& job, std::vector<std::pair<std::string, int>>& extras);
    void OnCancelEdit();
    void OnSelchangeTemplate();
    void OnSetTemplateDefault();
    void OnBitrateAvgKillFocus();
    // The Avg spin is about to move by `step`.
    void OnBitrateAvgSpin(int step);
    void OnChapterBrowse();
    void OnConvertToFilm();
    void OnCalc();
    bool HasChapterBrowse() const { return static_cast<bool>(m_Hooks.onChapterBrowse); }
    bool HasCalc() const { return static_cast<bool>(m_Hooks.onCalc); }
    // The editor as a job-list import drives it.
    jobs::JobBuilder& Builder() { return *m_Editor; }
    jobs::CJobEditor& Editor() { return *m_Editor; }
    // Whether a command's part of the program is present (the real window keeps the controls
    // of absent parts disabled).
    bool HasRunController() const { return static_cast<bool>(m_Hooks.onStartProcessing); }
    bool HasFileListLoader() const {
        return static_cast<bool>(m_Hooks.loadFileList) ||
               static_cast<bool>(m_Hooks.loadFileListInSlices);
    }

    // The job list's second line for `row`: state, template, output stream (JobDetailsLine),
    // with the work going on as the `jobActivity` hook reports it.
    std::string JobDetails(int row);
    // Tells the real window that the line of `row` changed.
    void JobDetailsChanged(int row);
    // The Slurm log of the job at `row` (NAME.job.log beside its ECL), or "" when none was
    // written; and its opening failed (logged).
    std::string JobLogPath(int row);
    void OnJobLogFailed(const std::string& path);
    // The stream report of the finished job at `row` (JobStreamReport), or "".
    std::string JobReportPath(int row);
    // The job list's context menu: the selected job's output folder, opened with the desktop's
    // handler (a logged error when there is none or it cannot be opened).
    void OnOpenOutputFolder();
    // Video files dropped on the window: one is taken as New Job takes its source (while New
    // Job is available); several become one job each with the selected template, as a job list
    // file's lines do. Returns the number of jobs added.
    int OnDropSources(const std::vector<std::string>& paths);
    // The queue ran dry: a desktop notification through the tray with the run's counts.
    void OnQueueFinished(int completed, int failed);
    // The notification was clicked: the window comes back (out of the tray) to the front.
    void OnNotificationClicked();
    // The desktop's opener reported, after it was started, that it could not open the help
    // file or the output folder `folder`: the failure is shown and logged.
    void OnHelpFailed();
    void OnOutputFolderFailed(const std::string& folder);

    // The about box's caption: product name, a blank and product version of `programPath`'s
    // version resource; "Vantaq" when it has none.
    static std::string AboutCaption(const std::string& programPath);

    // platform::MessageHandler
    int64_t OnMessage(platform::Message& message) override;
    void OnTimer(int timerId) override;

    uint32_t TrayNotifyMessage() const { return m_TrayNotify; }
    const CommandLineOptions& Options() const { return m_CommandLine; }
    const std::string& HelpFile() const { return m_HelpFile; }
    bool StartupDone() const { return m_StartupDone; }

    // The run's state, owned by the run controller; the window only reads it. `currentJob`
    // gives the position of the job being encoded, found again from its run key. Attach
    // before `OnInitDialog`; until then the window behaves as with no run in progress.
    void AttachRun(const run::RunState& run, std::function<int()> currentJob) {
        m_Run = &run;
        m_CurrentJobOf = std::move(currentJob);
    }
    bool Processing() const { return m_Run != nullptr && m_Run->m_Processing; }
    int CurrentJob() const {
        return m_Run == nullptr ? -1 : m_CurrentJobOf ? m_CurrentJobOf() : m_Run->m_CurrentJob;
    }
    // A run or a pulldown pass is in progress: the pulldown utility must wait.
    bool RunBusy() const;
    // Why New Job cannot be used now, as a sentence; "" when it can.
    std::string NewJobReason() const;
    // Why Utilities > 2:3 Pulldown cannot be used now; "" when it can.
    std::string PulldownUtilityReason() const;
    // The store the window's jobs are kept in.
    store::KeyStore& Store() { return m_Store; }

    // State of the window itself and of the job editor.
    bool m_InTray = false;
    int m_SourceFrames = 0;
    double m_SourceSeconds = 0.0;
    env::Settings m_Settings;
    CommandLineOptions m_CommandLine;
    // The program's exit status once the window has closed: non-zero after a run that ended on
    // a failure.
    int m_ExitStatus = 0;

private:
    // Window initialisation after the command line has been read.
    void InitDialog();
    // The start-up keywords after "source": start and minimize.
    void RunKeywordsAfterSource();
    // The tip for the tray while running or idle.
    std::string StateTip() const;
    // The positions the job list operations keep on their jobs.
    jobs::TrackedJobs Tracked();
    // Logs an error naming `what` when the store refused a write since `failedBefore` (its
    // FailedWrites() count then).
    void LogFailedWrites(uint64_t failedBefore, const std::string& what);

    platform::Dialog& m_Dialog;
    platform::UiQueue& m_Queue;
    store::KeyStore& m_Store;
    logging::Log& m_Log;
    Tray& m_Tray;
    platform::MessageBoxes& m_Boxes;
    MainWindowHost& m_Host;
    env::StartupServices m_Services;
    MainWindowHooks m_Hooks;
    uint32_t m_TrayNotify = 0;
    std::string m_HelpFile;
    bool m_StartupDone = false;
    // A job list file is being read (File > Load File List, the "source" keyword).
    bool m_ReadingJobList = false;
    const run::RunState* m_Run = nullptr;
    std::function<int()> m_CurrentJobOf;
    // The list operations' copy of the job being encoded's position.
    int m_TrackedCurrent = -1;
    // The Add button is being handled: someone is there to answer the output question.
    bool m_AddingByUser = false;
    // The jobs of the last Delete or Clear, whole, and which of the two it was ("" when
    // there is nothing to undo).
    jobs::RemovedJobs m_Undo;
    std::string m_UndoWhat;
    std::unique_ptr<jobs::CJobEditor> m_Editor;
    // The job list's rows, read from the store as they are shown.
    std::unique_ptr<JobListSource> m_JobRows;
};

} // namespace app
