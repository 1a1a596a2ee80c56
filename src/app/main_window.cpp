// `CMainWindow`: initialisation, the start-up automation of the first timer tick, the tray, the
// close paths and the menu commands of the main window.
#include "app/main_window.h"

#include "app/run_status_display.h"
#include "cluster/cluster_run.h"
#include "env/file_version_info.h"
#include "jobs/job_panels.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "platform/message_boxes.h"
#include "store/key_store.h"

#include <cstdio>

namespace app {

using namespace platform::main_window;

CMainWindow::CMainWindow(platform::Dialog& dialog, platform::UiQueue& queue, store::KeyStore& store,
                         logging::Log& log, Tray& tray, platform::MessageBoxes& boxes,
                         MainWindowHost& host, env::StartupServices services, MainWindowHooks hooks)
    : m_Dialog(dialog), m_Queue(queue), m_Store(store), m_Log(log), m_Tray(tray), m_Boxes(boxes),
      m_Host(host), m_Services(std::move(services)), m_Hooks(std::move(hooks)) {
    jobs::EditorState state;
    state.processing = [this] { return Processing(); };
    state.currentJob = [this] { return CurrentJob(); };
    state.autoBias = &m_Settings.m_AutoBias;
    state.sourceFrames = &m_SourceFrames;
    state.sourceSeconds = &m_SourceSeconds;
    jobs::EditorCallbacks callbacks;
    callbacks.findChapters = m_Hooks.findChapters;
    callbacks.placeNewJob = [this](const jobs::JobRecord& job,
                                   std::vector<std::pair<std::string, int>>& extras) {
        return PlaceNewJob(job, extras);
    };
    m_Editor = std::make_unique<jobs::CJobEditor>(
        dialog, store, log, env::FolderOf(m_Services.programPath), state, std::move(callbacks));
    m_JobRows = std::make_unique<JobListSource>(store, m_Settings, [this](int position) {
        return m_Hooks.jobActivity ? m_Hooks.jobActivity(position) : JobActivity();
    });
}

CMainWindow::~CMainWindow() {
    // The window may outlive the logic: it must not read rows from a source that is gone.
    m_Dialog.SetRowSource(kJobList, nullptr);
}

void CMainWindow::OnInitDialog(const std::string& commandLine) {
    m_CommandLine.Parse(commandLine);
    InitDialog();
}

void CMainWindow::OnInitDialog(const std::vector<std::string>& arguments) {
    m_CommandLine.ParseArguments(arguments);
    InitDialog();
}

void CMainWindow::InitDialog() {
    m_TrayNotify = m_Queue.RegisterMessage(kTrayNotifyName);
    m_Queue.SetHandler(this);
    m_Dialog.SetRowSource(kJobList, m_JobRows.get());
    m_InTray = false;
    jobs::SetJobSpinRanges(m_Dialog);
    // The editor is idle from the first moment, not only once the start-up has run: until
    // then nothing in it is a job.
    jobs::ResetJobEditor(m_Dialog);
    m_Queue.SetTimer(kTimerStartup, kStartupDelayMs);
}

void CMainWindow::OnStartupTimer() {
    m_Queue.KillTimer(kTimerStartup);
    if (m_StartupDone) {
        return;
    }
    m_StartupDone = true;

    env::StartupResult result;
    result.settings = m_Settings;
    uint64_t failedWrites = m_Store.FailedWrites();
    bool loaded = m_Hooks.loadSystemInfo && m_Hooks.loadSystemInfo(m_Services, result);
    LogFailedWrites(failedWrites, "store the default settings and templates");
    m_Settings = result.settings;
    m_HelpFile = result.helpFile;
    if (!loaded) {
        m_Log.Write("There were errors loading program system information!!!",
                    logging::kLogWarning);
    }

    jobs::RefreshJobList(m_Dialog, m_Store, &m_Log);
    // What a Clear set aside before the last exit goes now.
    m_Queue.SetTimer(kTimerTidyStore, 0);
    jobs::ResetJobEditor(m_Dialog);
    jobs::UpdateJobButtons(m_Dialog, Processing(), false, CurrentJob());
    m_Dialog.Enable(kNewJob, true);
    m_Dialog.Enable(kExit, true);

    // Encodes that an earlier start left running are followed before anything else runs.
    if (m_Hooks.onResumeRun) {
        m_Hooks.onResumeRun();
    }
    if (m_CommandLine.Has(kKeyClear) && Processing()) {
        m_Log.Write("WARNING: The job list is not cleared: jobs left running by the last start "
                    "are being followed.",
                    logging::kLogWarning);
    } else if (m_CommandLine.Has(kKeyClear)) {
        ClearByKeyword();
    }
    if (m_CommandLine.Has(kKeySource)) {
        std::string path = m_CommandLine.Value(kKeySource);
        m_Log.Write("Processing source file: " + path, logging::kLogInfo);
        if (HasFileListLoader()) {
            // The run starts on the whole list, however long it takes to read.
            OnLoadFileList(path, [this] { RunKeywordsAfterSource(); });
            return;
        }
    }
    RunKeywordsAfterSource();
}

void CMainWindow::RunKeywordsAfterSource() {
    if (m_CommandLine.Has(kKeyStart)) {
        OnStartProcessing();
    }
    if (m_CommandLine.Has(kKeyMinimize)) {
        // Silent on failure: the window simply stays visible.
        if (AddTrayIcon(StateTip())) {
            m_Host.ShowWindow(false);
            m_InTray = true;
        }
    }
}

std::string CMainWindow::StateTip() const {
    return Processing() ? "Vantaq - Running" : "Vantaq - Idle";
}

bool CMainWindow::AddTrayIcon(const std::string& tip) {
    return m_Tray.Add(tip.substr(0, kTrayTipMax));
}

bool CMainWindow::UpdateTrayIcon(const std::string& tip) {
    return m_Tray.Update(tip.substr(0, kTrayTipMax));
}

bool CMainWindow::OnMinimize() {
    if (m_InTray) {
        return false;
    }
    if (!AddTrayIcon(StateTip())) {
        // Without a notification area the window minimises the ordinary way.
        m_Log.Write("ERROR: Could not add icon to taskbar.", logging::kLogError);
        return false;
    }
    m_Host.ShowWindow(false);
    m_InTray = true;
    return true;
}

bool CMainWindow::RestoreFromTray() {
    if (!m_InTray) {
        return true;
    }
    if (!m_Tray.Remove()) {
        m_Log.Write("ERROR: Unable to set window to normal", logging::kLogError);
        return false;
    }
    m_Host.ShowWindow(true);
    m_InTray = false;
    return true;
}

void CMainWindow::OnTrayNotify(int64_t mouseMessage) {
    if (mouseMessage == kTrayLeftDoubleClick) {
        RestoreFromTray();
    } else if (mouseMessage == kTrayRightButtonDown) {
        m_Tray.ShowMenu();
    }
}

bool CMainWindow::ConfirmQuitDuringRun() {
    if (!Processing()) {
        return true;
    }
    const int quit = 0;
    const int cancel = 1;
    int answer = m_Boxes.Ask(
        "An encode is running. Quit Vantaq and leave the encode running?\n\n"
        "When Vantaq is started again, it follows the encode to its end and finishes the job.",
        "Vantaq", {"Quit", "Cancel"}, cancel, cancel);
    if (answer != quit) {
        return false;
    }
    m_Log.Write("Vantaq ends during a run; the encode goes on and is followed at the next start.",
                logging::kLogInfo);
    return true;
}

void CMainWindow::OnAccept() {
    m_Host.EndWindow();
}

void CMainWindow::OnCancel() {
    if (m_InTray) {
        RestoreFromTray();
    }
    m_Host.EndWindow();
}

void CMainWindow::OnUserAccept() {
    if (ConfirmCloseWithUnsavedEdit() && ConfirmQuitDuringRun()) {
        OnAccept();
    }
}

void CMainWindow::OnUserCancel() {
    if (ConfirmCloseWithUnsavedEdit() && ConfirmQuitDuringRun()) {
        OnCancel();
    }
}

bool CMainWindow::ConfirmCloseWithUnsavedEdit() {
    if (!m_Editor->HasUnsavedEdit()) {
        return true;
    }
    std::string name = m_Dialog.GetText(kName);
    std::string reason = jobs::AddJobReason(m_Dialog);
    bool canSave = m_Dialog.IsEnabled(kAddJob);
    std::string text =
        "The job \"" + name + "\" in the editor has changes that are not in the " + "Job List.";
    std::vector<std::string> buttons;
    if (canSave) {
        buttons = {"Save as job", "Discard", "Cancel"};
    } else {
        text += " It cannot be saved yet" + (reason.empty() ? "." : ": " + reason);
        buttons = {"Discard", "Cancel"};
    }
    const int cancel = static_cast<int>(buttons.size()) - 1;
    int answer = m_Boxes.Ask(text + "\n\nClose Vantaq anyway?", "Vantaq", buttons, cancel, cancel);
    if (answer == cancel || answer < 0) {
        return false;
    }
    if (canSave && answer == 0) {
        OnAddJob();
        // A job the store refused stays in the editor (and the log says why).
        return !m_Editor->HasUnsavedEdit();
    }
    m_Log.Write("Discarded the changes to job " + name + " on closing.", logging::kLogInfo);
    return true;
}

void CMainWindow::OnNotificationClicked() {
    if (m_InTray) {
        RestoreFromTray();
    } else {
        m_Host.ShowWindow(true);
    }
}

void CMainWindow::OnHelpFailed() {
    m_Log.Write("ERROR: Failed to launch help for " + m_HelpFile, logging::kLogError);
    m_Boxes.ShowError("Failed to launch help.", "Vantaq", platform::MessageBoxButtons::Ok);
}

void CMainWindow::OnOutputFolderFailed(const std::string& folder) {
    m_Log.Write("ERROR: Could not open the output folder " + folder, logging::kLogError);
    m_Boxes.ShowError("Could not open the output folder " + folder + ".", "Vantaq",
                      platform::MessageBoxButtons::Ok);
}

void CMainWindow::OnStartProcessing() {
    if (m_Hooks.onStartProcessing) {
        m_Hooks.onStartProcessing();
    }
}

void CMainWindow::OnStopProcessing() {
    if (m_Hooks.onStopProcessing) {
        m_Hooks.onStopProcessing();
    }
}

void CMainWindow::OnStopAfterThisJob() {
    if (m_Hooks.onStopAfterThisJob) {
        m_Hooks.onStopAfterThisJob();
    }
}

void CMainWindow::OnLogDebugInfo() {
    uint64_t failedWrites = m_Store.FailedWrites();
    logging::OnLogDebugInfo(m_Store, m_Log, m_Dialog.IsChecked(kLogDebugInfo));
    LogFailedWrites(failedWrites, "store \"Log debug info\"");
}

void CMainWindow::LogFailedWrites(uint64_t failedBefore, const std::string& what) {
    if (m_Store.FailedWrites() != failedBefore) {
        m_Log.Write("ERROR: Could not " + what + ": the store " + m_Store.Path() +
                        " refused the write (" + m_Store.LastError() + ").",
                    logging::kLogError);
    }
}

void CMainWindow::OnDeleteLog() {
    // The log holds the record of every run; one click must not take it. Without a file there
    // is nothing to lose and nothing to ask.
    platform::FileFacts facts;
    if (platform::RegularFileFacts(m_Log.FilePath(), facts)) {
        char size[32];
        std::snprintf(size, sizeof size, "%.2f KB", static_cast<double>(facts.size) / 1024.0);
        if (m_Boxes.Ask("Delete the log file " + m_Log.FilePath() + " (" + size +
                            ")?\nIts lines cannot be brought back.",
                        "Delete Log", {"Delete", "Cancel"}, 1, 1) != 0) {
            return;
        }
    }
    m_Log.DeleteLogFile();
}

void CMainWindow::OnSettings() {
    uint64_t failedWrites = m_Store.FailedWrites();
    bool accepted = m_Host.RunSettingsDialog();
    LogFailedWrites(failedWrites, "store the settings");
    if (accepted) {
        env::ReloadSettings(m_Store, m_Log, m_Settings);
    }
}

void CMainWindow::OnHelpContents() {
    if (m_HelpFile.empty() || !m_Host.OpenHelp(m_HelpFile)) {
        OnHelpFailed();
    }
}

void CMainWindow::OnAbout() {
    m_Host.ShowAbout(AboutCaption(m_Services.programPath));
}

bool CMainWindow::RunBusy() const {
    return m_Run != nullptr && (m_Run->m_Processing || m_Run->m_PulldownRunning);
}

std::string CMainWindow::NewJobReason() const {
    if (m_Dialog.IsEnabled(kNewJob)) {
        return std::string();
    }
    if (!m_StartupDone) {
        return "Vantaq is still starting.";
    }
    if (m_ReadingJobList) {
        return "A job list file is being read.";
    }
    // The editor holds a job (Cancel is offered exactly then).
    if (m_Dialog.IsEnabled(kCancel)) {
        return "The job in the editor comes first: add it to the Job List or cancel it.";
    }
    if (Processing()) {
        return "A run is in progress: New Job is offered again when it ends.";
    }
    return std::string();
}

std::string CMainWindow::PulldownUtilityReason() const {
    if (!m_Hooks.pulldownUtility) {
        return "This program has no pulldown pass.";
    }
    if (m_Run != nullptr && m_Run->m_Processing) {
        return "A run is in progress: the pass is offered again when it ends.";
    }
    if (m_Run != nullptr && m_Run->m_PulldownRunning) {
        return "A 2:3 pulldown pass is in progress: one pass at a time.";
    }
    return std::string();
}

void CMainWindow::OnPulldownUtility(const std::string& path) {
    // One pass at a time: the run keeps a single output path and utility flag.
    if (m_Hooks.pulldownUtility && !path.empty() && !RunBusy()) {
        m_Hooks.pulldownUtility(path);
    }
}

void CMainWindow::OnLoadFileList(const std::string& path, std::function<void()> done) {
    if (!HasFileListLoader()) {
        if (done) {
            done();
        }
        return;
    }
    // New Job is off while the list is read; afterwards it is as it was, so a list that could
    // not be read does not leave the window without a way to make jobs.
    bool newJob = m_Dialog.IsEnabled(kNewJob);
    m_Dialog.Enable(kNewJob, false);
    m_ReadingJobList = true;
    if (m_Hooks.loadFileListInSlices) {
        m_Hooks.loadFileListInSlices(path, [this, newJob, done = std::move(done)] {
            m_ReadingJobList = false;
            m_Dialog.Enable(kNewJob, newJob);
            if (done) {
                done();
            }
        });
        return;
    }
    m_Hooks.loadFileList(path);
    m_ReadingJobList = false;
    m_Dialog.Enable(kNewJob, newJob);
    if (done) {
        done();
    }
}

std::string CMainWindow::AboutCaption(const std::string& programPath) {
    env::CFileVersionInfo info;
    if (!info.OpenFile(programPath)) {
        return "Vantaq";
    }
    return info.QueryString("ProductName") + " " + info.QueryString("ProductVersion");
}

int64_t CMainWindow::OnMessage(platform::Message& message) {
    if (message.message == m_TrayNotify && m_TrayNotify != 0) {
        OnTrayNotify(message.lparam);
        return 0;
    }
    if (m_Hooks.onMessage) {
        return m_Hooks.onMessage(message);
    }
    return 0;
}

void CMainWindow::ClearByKeyword() {
    if (jobs::ClearJobList(m_Dialog, m_Store, m_Log)) {
        m_Queue.SetTimer(kTimerTidyStore, 0);
        m_Log.Write("Job List cleared!", logging::kLogInfo);
    }
}

void CMainWindow::OnTidyStoreTimer() {
    m_Queue.KillTimer(kTimerTidyStore);
    const int removed = m_Store.PurgeSetAside(kTidySliceKeys);
    if (removed > 0) {
        m_Queue.SetTimer(kTimerTidyStore, 0);
    } else if (removed < 0) {
        // Another process holds the store, or it cannot be written: the next start tries again.
        m_Log.Write("Could not yet remove the cleared jobs from the store (" + m_Store.LastError() +
                        ").",
                    logging::kLogDebug);
    }
}

void CMainWindow::OnTimer(int timerId) {
    switch (timerId) {
    case kTimerStartup:
        OnStartupTimer();
        break;
    case kTimerTidyStore:
        OnTidyStoreTimer();
        break;
    case kTimerRunDisplay:
    case cluster::MY_TIMER_CLUSTER_POLL:
        m_Queue.KillTimer(timerId);
        if (m_Hooks.onRunTimer) {
            m_Hooks.onRunTimer(timerId);
        }
        break;
    default:
        if (run::IsRunTimer(timerId)) {
            m_Queue.KillTimer(timerId);
            if (m_Hooks.onRunTimer) {
                m_Hooks.onRunTimer(timerId);
            }
        }
        break;
    }
}

} // namespace app
