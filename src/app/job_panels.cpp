// The job panels' shared helpers over the window's controls and the job store.
#include "app/job_panels.h"

#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "store/key_store.h"
#include "store/paths.h"

namespace app {

using namespace platform::main_window;

void RefreshJobList(platform::Dialog& dialog, store::KeyStore& store, logging::Log* log) {
    dialog.ResetContent(kJobList);
    std::vector<jobs::JobListEntry> entries = jobs::ReadJobNames(store);
    for (const jobs::JobListEntry& entry : entries) {
        dialog.InsertRow(kJobList, -1, entry.name, entry.image);
    }
    if (log == nullptr) {
        return;
    }
    int next = static_cast<int>(entries.size());
    store::Key damaged = store.OpenKey(store::kHive, jobs::JobKeyPath(next), store::Access::Read);
    if (damaged) {
        log->Write("WARNING: Job " + std::to_string(next) +
                       " has no readable name; the Job List ends before it.",
                   logging::kLogWarning);
    }
}

void RefreshJobRow(platform::Dialog& dialog, store::KeyStore& store, int position, int image) {
    if (position < 0 || position >= dialog.GetCount(kJobList)) {
        return;
    }
    std::string name;
    jobs::GetJobString(store, position, jobs::kName, jobs::kNameRowCapacity, name);
    dialog.DeleteRow(kJobList, position);
    dialog.InsertRow(kJobList, position, name, image);
}

void UpdateJobButtons(platform::Dialog& dialog, bool processing) {
    dialog.Enable(kMoveUp, true);
    dialog.Enable(kDelete, true);
    dialog.Enable(kMoveDown, true);
    dialog.Enable(kReset, true);
    dialog.Enable(kStart, !processing);
    dialog.Enable(kClear, !processing);
    dialog.Enable(kStop, processing);
}

void ClearJobList(platform::Dialog& dialog, store::KeyStore& store) {
    int rows = dialog.GetCount(kJobList);
    jobs::ClearJobs(store, rows);
    dialog.ResetContent(kJobList);
}

void ResetJobEditor(platform::Dialog& dialog) {
    dialog.Enable(kAddJob, false);
    dialog.SetText(kAddJob, "&Add Job");
    dialog.Enable(kNewJob, false);
    dialog.Enable(kCancel, false);

    for (int box :
         {kPulldown, kConvertToFilm, kTopFieldFirst, kProgressive, kAlternateScan, kAngle}) {
        dialog.Enable(box, false);
        dialog.SetCheck(box, false);
    }

    for (int control : {kAspectSquare,
                        kAspect4x3,
                        kAspect16x9,
                        kTemplateList,
                        kBitrateMin,
                        kBitrateMinSpin,
                        kBitrateMax,
                        kBitrateMaxSpin,
                        kBitrateAvg,
                        kBitrateAvgSpin,
                        kPasses,
                        kPassesSpin,
                        kQFactor,
                        kQFactorSpin,
                        kBias,
                        kBiasSpin,
                        kQuality,
                        kQualitySpin,
                        kStartFrame,
                        kStartFrameSpin,
                        kEndFrame,
                        kEndFrameSpin,
                        kSetTemplateDefault,
                        kChapterBrowse,
                        kName}) {
        dialog.Enable(control, false);
    }

    for (int text : {kName, kInputFile, kChapterFile, kChapterList, kInfoResolution, kInfoFrames,
                     kInfoFrameRate, kInfoLength, kInfoType}) {
        dialog.SetText(text, "");
    }
}

void SetJobSpinRanges(platform::Dialog& dialog) {
    dialog.SetSpinRange(kPassesSpin, 1, 9);
    dialog.SetSpinRange(kBitrateMinSpin, 0, 9800);
    dialog.SetSpinRange(kBitrateMaxSpin, 500, 9800);
    dialog.SetSpinRange(kBitrateAvgSpin, 500, 9800);
    dialog.SetSpinRange(kQFactorSpin, 1, 300);
    dialog.SetSpinRange(kBiasSpin, 1, 100);
    dialog.SetSpinRange(kQualitySpin, 1, 100);
}

} // namespace app
