// The job panels' shared helpers over the window's controls and the job store.
#include "jobs/job_panels.h"

#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "store/key_store.h"
#include "store/paths.h"

#include <vector>

namespace jobs {

namespace ui = platform::main_window;

void RefreshJobList(platform::Dialog& dialog, store::KeyStore& store, logging::Log* log) {
    // A list that reads its rows from the store only re-counts them; a plain one is refilled.
    int count = 0;
    if (dialog.ReloadRows(ui::kJobList)) {
        count = dialog.GetCount(ui::kJobList);
    } else {
        dialog.ResetContent(ui::kJobList);
        std::vector<jobs::JobListEntry> entries = jobs::ReadJobNames(store);
        for (const jobs::JobListEntry& entry : entries) {
            dialog.InsertRow(ui::kJobList, -1, entry.name, entry.image);
        }
        count = static_cast<int>(entries.size());
    }
    if (log == nullptr) {
        return;
    }
    // Positions are contiguous; a job key beyond a gap is a damaged queue and is named.
    store::Key jobsKey = store.OpenKey(store::kHive, store::kJobsPath, store::Access::Read);
    int last = jobsKey ? store.LastPosition(jobsKey) : -1;
    if (last > count) {
        log->Write("WARNING: Job " + std::to_string(last) + " follows a missing job " +
                       std::to_string(count) + "; the Job List ends before it.",
                   logging::kLogWarning);
    }
}

void RefreshJobRow(platform::Dialog& dialog, store::KeyStore& store, int position, int image) {
    if (position < 0 || position >= dialog.GetCount(ui::kJobList)) {
        return;
    }
    std::string name;
    jobs::GetJobString(store, position, jobs::kName, jobs::kWholeValue, name);
    // The row is replaced in place: a selection on it stays on it.
    dialog.ReplaceRow(ui::kJobList, position, name, image);
}

namespace {

constexpr const char* kDeleteTip = "Delete the selected job from the Job List.";
constexpr const char* kResetTip = "Reset the selected job to pending status.";
constexpr const char* kStopTip = "Stop processing!!!";
constexpr const char* kJobStartTip = "Start processing the jobs in the Job List.";
constexpr const char* kJobClearTip = "Clear all jobs from the Job List.";
constexpr const char* kJobStopAfterJobTip = "Stop processing when the current job has ended.";

// `tip` with, when the button is disabled, the reason on a line of its own.
std::string JobButtonTipWithReason(const char* tip, const char* reason) {
    return reason == nullptr ? std::string(tip) : std::string(tip) + "\n(" + reason + ")";
}

} // namespace

void UpdateJobButtons(platform::Dialog& dialog, bool processing, bool passRunning, int currentJob) {
    dialog.Enable(ui::kMoveUp, true);
    dialog.Enable(ui::kMoveDown, true);
    UpdateSelectionButtons(dialog, processing ? currentJob : -1);
    // A pass keeps the run's one output path: no run may start beside it.
    dialog.Enable(ui::kStart, !processing && !passRunning);
    dialog.Enable(ui::kClear, !processing && !passRunning);
    dialog.Enable(ui::kStop, processing);
    dialog.Enable(ui::kStopAfterJob, processing);
    const char* busy = processing ? "A run is in progress."
                       : passRunning
                           ? "A 2:3 pulldown pass is in progress; wait until it has ended."
                           : nullptr;
    const char* idle = processing ? nullptr : "No run is in progress.";
    dialog.SetToolTip(ui::kStart, JobButtonTipWithReason(kJobStartTip, busy));
    dialog.SetToolTip(
        ui::kClear,
        JobButtonTipWithReason(kJobClearTip, processing ? "The queue cannot be cleared while a "
                                                          "run works it."
                                                        : busy));
    dialog.SetToolTip(ui::kStop, JobButtonTipWithReason(kStopTip, idle));
    dialog.SetToolTip(ui::kStopAfterJob, JobButtonTipWithReason(kJobStopAfterJobTip, idle));
}

void UpdateSelectionButtons(platform::Dialog& dialog, int currentJob) {
    bool onlyRunning = currentJob >= 0 && dialog.IsOnlySelectedRow(ui::kJobList, currentJob);
    dialog.Enable(ui::kDelete, !onlyRunning);
    dialog.Enable(ui::kReset, !onlyRunning);
    const char* why = "\n(The job being encoded cannot be changed until its run ends.)";
    dialog.SetToolTip(ui::kDelete, std::string(kDeleteTip) + (onlyRunning ? why : ""));
    dialog.SetToolTip(ui::kReset, std::string(kResetTip) + (onlyRunning ? why : ""));
}

std::string AddJobReason(const platform::Dialog& dialog) {
    if (dialog.IsEnabled(ui::kAddJob) || dialog.GetText(ui::kAddJob) == "&Replace") {
        return std::string();
    }
    if (dialog.GetText(ui::kInputFile).empty()) {
        return "Choose a source with New Job first.";
    }
    if (dialog.GetSelection(ui::kTemplateList) < 0) {
        return "Choose a template first.";
    }
    return std::string();
}

bool ClearJobList(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log) {
    int rows = dialog.GetCount(ui::kJobList);
    if (!jobs::ClearJobs(store, rows)) {
        LogStoreFailure(log, "clear the Job List", store);
        return false;
    }
    dialog.ResetContent(ui::kJobList);
    return true;
}

void LogStoreFailure(logging::Log& log, const std::string& what, const store::KeyStore& store) {
    log.Write("ERROR: Could not " + what + ": the store " + store.Path() + " was not changed (" +
                  store.LastError() + ").",
              logging::kLogError);
}

void ResetJobEditor(platform::Dialog& dialog) {
    dialog.Enable(ui::kAddJob, false);
    dialog.SetText(ui::kAddJob, "&Add Job");
    dialog.Enable(ui::kNewJob, false);
    dialog.Enable(ui::kCancel, false);

    for (int box : {ui::kPulldown, ui::kConvertToFilm, ui::kTopFieldFirst, ui::kProgressive,
                    ui::kAlternateScan, ui::kAngle}) {
        dialog.Enable(box, false);
        dialog.SetCheck(box, false);
    }

    for (int control : {ui::kAspectSquare,
                        ui::kAspect4x3,
                        ui::kAspect16x9,
                        ui::kTemplateList,
                        ui::kBitrateMin,
                        ui::kBitrateMinSpin,
                        ui::kBitrateMax,
                        ui::kBitrateMaxSpin,
                        ui::kBitrateAvg,
                        ui::kBitrateAvgSpin,
                        ui::kPasses,
                        ui::kPassesSpin,
                        ui::kQFactor,
                        ui::kQFactorSpin,
                        ui::kBias,
                        ui::kBiasSpin,
                        ui::kQuality,
                        ui::kQualitySpin,
                        ui::kStartFrame,
                        ui::kStartFrameSpin,
                        ui::kEndFrame,
                        ui::kEndFrameSpin,
                        ui::kSetTemplateDefault,
                        ui::kChapterBrowse,
                        ui::kName}) {
        dialog.Enable(control, false);
    }

    for (int text : {ui::kName, ui::kInputFile, ui::kChapterFile, ui::kChapterList,
                     ui::kInfoResolution, ui::kInfoFrames, ui::kInfoFrameRate, ui::kInfoLength,
                     ui::kInfoType, ui::kJobPartition, ui::kJobTimeLimit, ui::kJobCpus}) {
        dialog.SetText(text, "");
    }
    for (int field : {ui::kJobPartition, ui::kJobTimeLimit, ui::kJobCpus}) {
        dialog.Enable(field, false);
    }
    // The Picture choices, in the order of the job's "Picture Fit" value.
    if (dialog.GetCount(ui::kPicture) == 0) {
        for (const char* choice : {"Keep the source's", "Fit to DVD (NTSC)", "Fit to DVD (PAL)"}) {
            dialog.InsertRow(ui::kPicture, -1, choice);
        }
    }
    dialog.SetSelection(ui::kPicture, 0);
    dialog.Enable(ui::kPicture, false);
}

void SetJobSpinRanges(platform::Dialog& dialog) {
    dialog.SetSpinRange(ui::kPassesSpin, 1, 9);
    dialog.SetSpinRange(ui::kBitrateMinSpin, 0, 9800);
    dialog.SetSpinRange(ui::kBitrateMaxSpin, 500, 9800);
    dialog.SetSpinRange(ui::kBitrateAvgSpin, 500, 9800);
    dialog.SetSpinRange(ui::kQFactorSpin, 1, 300);
    dialog.SetSpinRange(ui::kBiasSpin, 1, 100);
    dialog.SetSpinRange(ui::kQualitySpin, 1, 100);
}

} // namespace jobs
