// `CJobEditor`: the "Job Info" panel's logic: new jobs from a source, loading a stored job,
// Add/Replace into the queue, Cancel, the automatic bias, and the steps a job-list import drives.
#pragma once

#include "jobs/job_builder.h"
#include "jobs/job_record.h"

#include "platform/files.h"
#include "source/source_info.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace logging {
class Log;
}
namespace platform {
class Dialog;
}
namespace store {
class KeyStore;
}

namespace jobs {

// The bias derived from an average bitrate in kbit/s, 10 to 50.
int BiasFromBitrate(int bitrate);

// The job the panel holds, as Add/Replace stores it. Numbers are the spins' positions, except
// "EndFrame", which is the End field's text read as a number (0 when it holds none). With no
// template selected, "Template" is empty and "Method" -1; with no aspect checked it is 0.
JobRecord ReadEditorJob(const platform::Dialog& dialog);

// The job's own Slurm resources as the panel's Cluster fields hold them, blanks trimmed.
struct EditorResources {
    std::string partition;
    std::string timeLimit;
    std::string cpus;
    bool operator==(const EditorResources&) const = default;
};
EditorResources ReadEditorResources(const platform::Dialog& dialog);
// Why the fields cannot be stored (naming the field and what it takes), or empty.
std::string ResourcesProblem(const EditorResources& resources);

// The window's state the editor reads and keeps in step. Every pointer must outlive the editor.
struct EditorState {
    std::function<bool()> processing; // `m_Processing`, read from the run
    std::function<int()> currentJob;  // `m_CurrentJob`, read from the run
    const bool* autoBias = nullptr;   // `m_AutoBias`
    int* sourceFrames = nullptr;      // `m_SourceFrames`
    double* sourceSeconds = nullptr;  // `m_SourceSeconds`
};

// Parts of the program the editor calls out to; each may be empty (then nothing happens).
struct EditorCallbacks {
    // Looks for the chapter information file of a new job's source and, when found, fills the
    // chapter file and chapter list texts and logs the import.
    std::function<void(const std::string& sourcePath)> findChapters;
    // Before Add stores a new job (every path: the button, job list files, dropped files): the
    // number values it gets beside its record, such as names of its own for its files, go
    // into `extras`; false when it is not to be added (the panel keeps it as it is).
    std::function<bool(const JobRecord& job, std::vector<std::pair<std::string, int>>& extras)>
        placeNewJob;
};

// UI thread only. Built by the main window, which routes the panel's events to it.
class CJobEditor : public JobBuilder {
public:
    // `programDir` is the program's folder (for reading `.avs` sources).
    CJobEditor(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
               std::string programDir, EditorState state, EditorCallbacks callbacks = {});

    // New Job with the source the user chose (empty: the dialog was cancelled, nothing
    // happens). A source that cannot be inspected leaves the panel as it was, with New Job
    // enabled, and returns false (its reason is logged); true otherwise.
    bool NewJob(const std::string& path);
    // Double-click on a job row: fills the panel from the selected job. Replace is offered
    // unless that job is being encoded. Does nothing without a selection or a stored job.
    void LoadJobIntoEditor();
    // Cancel: back to the idle panel, New Job enabled.
    void CancelEdit();
    // A selection change of the job list: while no run is in progress the edit is discarded.
    void OnJobSelectionChanged();
    // The Avg field lost the focus: the automatic bias from its number.
    void OnBitrateAvgKillFocus();
    // The Avg spin is about to move by `step`: the automatic bias from where it will be.
    void OnBitrateAvgSpin(int step);
    // Sets the Bias field from `bitrate` when the automatic bias is on.
    void ApplyAutoBias(int bitrate);

    // The panel holds work that Add/Replace has not stored: a new job, or a loaded job whose
    // fields were changed since it was loaded.
    bool HasUnsavedEdit() const;

    // The stored job Replace writes to (it follows the job when the queue shifts), or -1.
    int& EditedJob() { return m_EditedJob; }

    // JobBuilder
    bool ShowSourceInfo(const std::string& path) override;
    void FillNewJob(const std::string& path) override;
    void SelectTemplate(int position) override;
    // With the Avg field's number.
    void ApplyAutoBias() override;
    // Replace writes the job loaded into the panel; if that job has been deleted meanwhile,
    // the panel's job is added at the end instead.
    void AddOrReplaceJob() override;
    void CacheInspections(bool on) override;

    // The template list's selection applied to the panel, then what the last source shown
    // says of its shape (ApplySourceShape).
    void ApplyTemplate();
    // The aspect choice nearest the display aspect and the field flags of the field order, of
    // the last source shown, where it states them (video files read through libavformat).
    void ApplySourceShape();

private:
    struct Inspection {
        platform::FileFacts facts;
        source::SourceInfoFields fields;
    };
    // Shows an inspection's fields in File Info and the window's source state.
    void ShowInspection(const source::SourceInfoFields& fields);
    void AddPictureFit(const JobRecord& job, std::vector<std::pair<std::string, int>>& extras);

    platform::Dialog& m_Dialog;
    store::KeyStore& m_Store;
    logging::Log& m_Log;
    std::string m_ProgramDir;
    EditorState m_State;
    EditorCallbacks m_Callbacks;
    int m_EditedJob = -1;
    bool m_CacheInspections = false;
    std::map<std::string, Inspection> m_Inspections;
    int m_SourceAspect = 0;     // SourceInfoFields::aspectChoice of the last source shown
    int m_SourceFieldOrder = 0; // SourceInfoFields::fieldOrder of the last source shown
    // The Picture a new job of the last source shown gets, and that source's path.
    int m_SourcePictureFit = 0;
    std::string m_SourceFitText;
    std::string m_ShownSource;
    // The panel's job as it was loaded from the list, to tell a changed one from an unchanged.
    JobRecord m_LoadedJob;
    EditorResources m_LoadedResources;
    int m_LoadedPicture = 0;
    bool m_HasLoadedJob = false;
    // A job was put into the panel (New Job, a job list line, a double-click) and has not
    // been stored or cancelled since. The panel's enabled controls alone do not say it: they
    // are enabled before the window has started up.
    bool m_HoldsJob = false;
};

} // namespace jobs
