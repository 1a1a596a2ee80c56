// The job editor's logic over the main window's controls, the job store and the source files.
#include "jobs/job_editor.h"

#include "jobs/job_panels.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "source/dvd_fit.h"
#include "source/source_info.h"
#include "templates/template_selection.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace jobs {

namespace ui = platform::main_window;

namespace {

// The leading number of a text as the window reads a field ("12ab" is 12, "" is 0), kept
// within int.
int NumberOfText(const std::string& text) {
    errno = 0;
    long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX || (errno == ERANGE && value > 0)) {
        return INT_MAX;
    }
    if (value < INT_MIN || (errno == ERANGE && value < 0)) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

// The file name of `path` without its folder and without its extension; a "." in a folder
// name does not count.
std::string NameOfSource(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = file.find_last_of('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

int Flag(const platform::Dialog& dialog, int box) {
    return dialog.IsChecked(box) ? 1 : 0;
}

} // namespace

int BiasFromBitrate(int a) {
    int b = a >= 2000 ? a / 100 + 5 : ((a - 1400) / 50 + a / 50) / 2 - 1;
    if (b > 50) {
        return 50;
    }
    if (b < 10) {
        return 10;
    }
    return b;
}

JobRecord ReadEditorJob(const platform::Dialog& dialog) {
    JobRecord r;
    r.status = kStatusPending;
    r.name = dialog.GetText(ui::kName);
    r.input = dialog.GetText(ui::kInputFile);
    int selected = dialog.GetSelection(ui::kTemplateList);
    std::string order = dialog.GetText(ui::kTemplateOrder);
    if (selected >= 0 && static_cast<size_t>(selected) < order.size()) {
        r.templateKey = std::string(1, order[static_cast<size_t>(selected)]);
        r.method = selected;
    } else {
        r.templateKey.clear();
        r.method = -1;
    }
    r.telecide = Flag(dialog, ui::kPulldown);
    int aspect = dialog.GetCheckedRadioButton(ui::kAspectSquare, ui::kAspect16x9);
    r.aspectRatio = aspect == 0 ? 0 : aspect - ui::kAspectSquare + 1;
    r.bitrateMin = dialog.GetSpinPos(ui::kBitrateMinSpin);
    r.bitrateMax = dialog.GetSpinPos(ui::kBitrateMaxSpin);
    r.bitrateAvg = dialog.GetSpinPos(ui::kBitrateAvgSpin);
    r.qFactor = dialog.GetSpinPos(ui::kQFactorSpin);
    r.bias = dialog.GetSpinPos(ui::kBiasSpin);
    r.passes = dialog.GetSpinPos(ui::kPassesSpin);
    r.quality = dialog.GetSpinPos(ui::kQualitySpin);
    r.startFrame = dialog.GetSpinPos(ui::kStartFrameSpin);
    r.endFrame = NumberOfText(dialog.GetText(ui::kEndFrame));
    r.convertToFilm = Flag(dialog, ui::kConvertToFilm);
    r.topFieldFirst = Flag(dialog, ui::kTopFieldFirst);
    r.progressive = Flag(dialog, ui::kProgressive);
    r.alternateScan = Flag(dialog, ui::kAlternateScan);
    r.angle = Flag(dialog, ui::kAngle);
    r.chapters = dialog.GetText(ui::kChapterList);
    return r;
}

namespace {

std::string TrimBlanks(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool AllOf(const std::string& text, const char* allowed) {
    return text.find_first_not_of(allowed) == std::string::npos;
}

// sbatch's forms: MM, MM:SS, HH:MM:SS, D-HH, D-HH:MM, D-HH:MM:SS, or UNLIMITED / INFINITE.
bool IsSlurmTimeLimit(const std::string& text) {
    if (text == "UNLIMITED" || text == "INFINITE") {
        return true;
    }
    size_t dash = text.find('-');
    std::string clock = dash == std::string::npos ? text : text.substr(dash + 1);
    if (dash != std::string::npos && (dash == 0 || !AllOf(text.substr(0, dash), "0123456789"))) {
        return false;
    }
    size_t part = 0;
    size_t start = 0;
    for (;;) {
        size_t colon = clock.find(':', start);
        std::string digits = clock.substr(start, colon - start);
        if (digits.empty() || digits.size() > 6 || !AllOf(digits, "0123456789")) {
            return false;
        }
        ++part;
        if (colon == std::string::npos) {
            break;
        }
        start = colon + 1;
    }
    return part <= 3;
}

} // namespace

EditorResources ReadEditorResources(const platform::Dialog& dialog) {
    return {TrimBlanks(dialog.GetText(ui::kJobPartition)),
            TrimBlanks(dialog.GetText(ui::kJobTimeLimit)),
            TrimBlanks(dialog.GetText(ui::kJobCpus))};
}

std::string ResourcesProblem(const EditorResources& r) {
    if (r.partition.size() > 64 ||
        !AllOf(r.partition, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.,-")) {
        return "Partition takes a Slurm partition name (letters, digits, _ . - and commas between "
               "names), or nothing for the settings' partition.";
    }
    if (!r.timeLimit.empty() && !IsSlurmTimeLimit(r.timeLimit)) {
        return "Time limit takes minutes, HH:MM:SS or D-HH:MM:SS, or nothing for no limit of "
               "the job's own.";
    }
    if (!r.cpus.empty() && (r.cpus.size() > 4 || !AllOf(r.cpus, "0123456789") ||
                            std::stoi(r.cpus) < 1 || std::stoi(r.cpus) > 1024)) {
        return "CPUs takes a whole number from 1 to 1024, or nothing for the cluster's default.";
    }
    return "";
}

CJobEditor::CJobEditor(platform::Dialog& dialog, store::KeyStore& store, logging::Log& log,
                       std::string programDir, EditorState state, EditorCallbacks callbacks)
    : m_Dialog(dialog), m_Store(store), m_Log(log), m_ProgramDir(std::move(programDir)),
      m_State(state), m_Callbacks(std::move(callbacks)) {}

bool CJobEditor::ShowSourceInfo(const std::string& path) {
    m_ShownSource.clear();
    platform::FileFacts facts;
    const bool known = m_CacheInspections && platform::RegularFileFacts(path, facts);
    if (known) {
        auto found = m_Inspections.find(path);
        if (found != m_Inspections.end() && found->second.facts.size == facts.size &&
            found->second.facts.modified == facts.modified) {
            ShowInspection(found->second.fields);
            m_ShownSource = path;
            return false;
        }
    }
    source::SourceInfoFields fields;
    if (source::InspectSource(path, m_ProgramDir, m_Log, fields)) {
        return true;
    }
    if (known) {
        m_Inspections[path] = Inspection{facts, fields};
    }
    ShowInspection(fields);
    m_ShownSource = path;
    return false;
}

void CJobEditor::CacheInspections(bool on) {
    m_CacheInspections = on;
    if (!on) {
        m_Inspections.clear();
    }
}

void CJobEditor::ShowInspection(const source::SourceInfoFields& fields) {
    m_Dialog.SetText(ui::kInfoResolution, fields.resolution);
    m_Dialog.SetText(ui::kInfoFrames, fields.frames);
    m_Dialog.SetText(ui::kInfoFrameRate, fields.frameRate);
    m_Dialog.SetText(ui::kInfoLength, fields.length);
    m_Dialog.SetText(ui::kInfoType, fields.type);
    *m_State.sourceFrames = fields.sourceFrames;
    *m_State.sourceSeconds = fields.sourceSeconds;
    m_SourceAspect = fields.aspectChoice;
    m_SourceFieldOrder = fields.fieldOrder;
    m_SourcePictureFit = fields.pictureFit;
    m_SourceFitText = fields.fitText;
}

bool CJobEditor::NewJob(const std::string& path) {
    if (path.empty()) {
        return true;
    }
    m_Dialog.Enable(ui::kNewJob, false);
    if (ShowSourceInfo(path)) {
        // Nothing was taken; the user may choose another file at once.
        m_Dialog.Enable(ui::kNewJob, true);
        return false;
    }
    FillNewJob(path);
    m_Dialog.Enable(ui::kCancel, true);
    jobs::UpdateJobButtons(m_Dialog, m_State.processing(), false, m_State.currentJob());
    m_Dialog.Enable(ui::kStop, false);
    return true;
}

void CJobEditor::FillNewJob(const std::string& path) {
    std::string input;
    for (char c : path) {
        if (c != '"') {
            input += c;
        }
    }
    m_Dialog.SetText(ui::kInputFile, input);
    m_Dialog.SetText(ui::kName, NameOfSource(input));
    m_Dialog.Enable(ui::kName, true);
    // A new job is never a stored one, whatever was loaded before.
    m_EditedJob = -1;
    m_HasLoadedJob = false;
    m_HoldsJob = true;
    m_Dialog.SetText(ui::kAddJob, "&Add Job");

    bool film = m_Dialog.GetText(ui::kInfoFrameRate) == "23.976";
    m_Dialog.Enable(ui::kConvertToFilm, film);
    m_Dialog.SetCheck(ui::kConvertToFilm, film);

    if (m_Callbacks.findChapters) {
        m_Callbacks.findChapters(input);
    }
    m_Dialog.Enable(ui::kChapterBrowse, true);

    std::string framesText = m_Dialog.GetText(ui::kInfoFrames);
    int frames = NumberOfText(framesText);
    for (int control : {ui::kStartFrame, ui::kStartFrameSpin, ui::kEndFrame, ui::kEndFrameSpin}) {
        m_Dialog.Enable(control, true);
    }
    m_Dialog.SetSpinRange(ui::kStartFrameSpin, 0, frames - 1);
    m_Dialog.SetSpinRange(ui::kEndFrameSpin, 1, frames);
    m_Dialog.SetText(ui::kStartFrame, "0");
    m_Dialog.SetText(ui::kEndFrame, framesText);

    // A source a DVD cannot carry as it is gets fitted unless the user keeps its picture.
    m_Dialog.SetSelection(ui::kPicture, m_ShownSource.empty() ? 0 : m_SourcePictureFit);
    m_Dialog.Enable(ui::kPicture, true);

    // A new job runs with the settings' resources until the user gives it its own.
    for (int field : {ui::kJobPartition, ui::kJobTimeLimit, ui::kJobCpus}) {
        m_Dialog.SetText(field, "");
        m_Dialog.Enable(field, true);
    }

    m_Dialog.Enable(ui::kTemplateList, true);
    if (m_Dialog.GetSelection(ui::kTemplateList) >= 0) {
        ApplyTemplate();
    }
}

void CJobEditor::ApplyTemplate() {
    templates::ApplySelectedTemplate(m_Dialog, m_Store);
    ApplySourceShape();
}

void CJobEditor::ApplySourceShape() {
    // A video file that states its display aspect and field order knows them better than a
    // template made for every source; AVI files and scripts state neither.
    if (m_SourceAspect == 2 || m_SourceAspect == 3) {
        m_Dialog.CheckRadioButton(ui::kAspectSquare, ui::kAspect16x9,
                                  m_SourceAspect == 3 ? ui::kAspect16x9 : ui::kAspect4x3);
    }
    if (m_SourceFieldOrder >= 1 && m_SourceFieldOrder <= 3) {
        m_Dialog.SetCheck(ui::kProgressive, m_SourceFieldOrder == 1);
        if (m_SourceFieldOrder != 1) {
            m_Dialog.SetCheck(ui::kTopFieldFirst, m_SourceFieldOrder == 2);
        }
    }
}

void CJobEditor::SelectTemplate(int position) {
    m_Dialog.SetSelection(ui::kTemplateList, position);
    ApplyTemplate();
}

void CJobEditor::ApplyAutoBias(int bitrate) {
    if (*m_State.autoBias) {
        m_Dialog.SetText(ui::kBias, std::to_string(BiasFromBitrate(bitrate)));
    }
}

void CJobEditor::ApplyAutoBias() {
    ApplyAutoBias(NumberOfText(m_Dialog.GetText(ui::kBitrateAvg)));
}

void CJobEditor::OnBitrateAvgKillFocus() {
    ApplyAutoBias();
}

void CJobEditor::OnBitrateAvgSpin(int step) {
    ApplyAutoBias(m_Dialog.GetSpinPos(ui::kBitrateAvgSpin) + step);
}

void CJobEditor::LoadJobIntoEditor() {
    int s = m_Dialog.GetSelection(ui::kJobList);
    JobRecord job;
    if (s < 0 || !ReadJobRecord(m_Store, s, job)) {
        return;
    }
    m_Dialog.SetText(ui::kName, job.name);
    m_Dialog.Enable(ui::kName, true);
    m_Dialog.SetText(ui::kInputFile, job.input);
    if (ShowSourceInfo(job.input)) {
        // The texts of a source shown before must not pass for this one's.
        for (int text : {ui::kInfoResolution, ui::kInfoFrames, ui::kInfoFrameRate, ui::kInfoLength,
                         ui::kInfoType}) {
            m_Dialog.SetText(text, "");
        }
    }

    std::string order = m_Dialog.GetText(ui::kTemplateOrder);
    size_t at = job.templateKey.size() == 1 ? order.find(job.templateKey[0]) : std::string::npos;
    m_Dialog.SetSelection(ui::kTemplateList, at == std::string::npos ? -1 : static_cast<int>(at));
    m_Dialog.Enable(ui::kTemplateList, true);

    int aspect =
        job.aspectRatio >= 1 && job.aspectRatio <= 3 ? ui::kAspectSquare + job.aspectRatio - 1 : 0;
    m_Dialog.CheckRadioButton(ui::kAspectSquare, ui::kAspect16x9, aspect);
    for (int radio : {ui::kAspectSquare, ui::kAspect4x3, ui::kAspect16x9}) {
        m_Dialog.Enable(radio, true);
    }

    const std::pair<int, int> numbers[] = {
        {ui::kBitrateMinSpin, job.bitrateMin}, {ui::kBitrateMaxSpin, job.bitrateMax},
        {ui::kBitrateAvgSpin, job.bitrateAvg}, {ui::kPassesSpin, job.passes},
        {ui::kQFactorSpin, job.qFactor},       {ui::kBiasSpin, job.bias},
        {ui::kQualitySpin, job.quality}};
    const int fields[] = {ui::kBitrateMin, ui::kBitrateMax, ui::kBitrateAvg, ui::kPasses,
                          ui::kQFactor,    ui::kBias,       ui::kQuality};
    for (size_t i = 0; i < std::size(fields); ++i) {
        m_Dialog.Enable(fields[i], true);
        m_Dialog.SetSpinPos(numbers[i].first, numbers[i].second);
        m_Dialog.Enable(numbers[i].first, true);
    }

    if (m_Dialog.GetText(ui::kInfoFrameRate) == "23.976") {
        m_Dialog.Enable(ui::kPulldown, true);
        m_Dialog.SetCheck(ui::kPulldown, job.telecide == 1);
    }

    int e = job.endFrame;
    m_Dialog.SetSpinRange(ui::kEndFrameSpin, 1, e);
    // A stored EndFrame of 0x80000000 reads as INT_MIN: one less wraps, never overflows.
    m_Dialog.SetSpinRange(ui::kStartFrameSpin, 0, static_cast<int>(static_cast<uint32_t>(e) - 1u));
    m_Dialog.SetText(ui::kEndFrame, std::to_string(e));
    m_Dialog.Enable(ui::kEndFrame, true);
    m_Dialog.Enable(ui::kEndFrameSpin, true);
    m_Dialog.SetText(ui::kStartFrame, std::to_string(job.startFrame));
    m_Dialog.Enable(ui::kStartFrame, true);
    m_Dialog.Enable(ui::kStartFrameSpin, true);
    m_Dialog.Enable(ui::kChapterBrowse, true);

    m_Dialog.SetText(ui::kChapterList, job.chapters);

    std::string partition;
    std::string timeLimit;
    int cpus = 0;
    GetJobString(m_Store, s, kSlurmPartition, kWholeValue, partition);
    GetJobString(m_Store, s, kSlurmTimeLimit, kWholeValue, timeLimit);
    GetJobNumber(m_Store, s, kSlurmCpus, cpus);
    int picture = 0;
    GetJobNumber(m_Store, s, kPictureFit, picture);
    m_Dialog.SetSelection(ui::kPicture, picture >= 0 && picture <= 2 ? picture : 0);
    m_Dialog.Enable(ui::kPicture, true);

    const std::pair<int, std::string> resources[] = {
        {ui::kJobPartition, partition},
        {ui::kJobTimeLimit, timeLimit},
        {ui::kJobCpus, cpus > 0 ? std::to_string(cpus) : ""}};
    for (const auto& [field, text] : resources) {
        m_Dialog.SetText(field, text);
        m_Dialog.Enable(field, true);
    }

    const std::pair<int, int> boxes[] = {{ui::kConvertToFilm, job.convertToFilm},
                                         {ui::kTopFieldFirst, job.topFieldFirst},
                                         {ui::kProgressive, job.progressive},
                                         {ui::kAlternateScan, job.alternateScan},
                                         {ui::kAngle, job.angle}};
    for (const auto& [box, value] : boxes) {
        m_Dialog.SetCheck(box, value != 0);
        m_Dialog.Enable(box, true);
    }

    m_Dialog.Enable(ui::kNewJob, false);
    m_Dialog.Enable(ui::kCancel, true);
    if (s != m_State.currentJob()) {
        m_EditedJob = s;
        m_Dialog.SetText(ui::kAddJob, "&Replace");
        m_Dialog.Enable(ui::kAddJob, true);
    } else {
        // The job being encoded can be viewed but neither replaced nor added again.
        m_EditedJob = -1;
        m_Dialog.SetText(ui::kAddJob, "&Add Job");
        m_Dialog.Enable(ui::kAddJob, false);
    }
    m_Dialog.Enable(ui::kSetTemplateDefault, true);
    jobs::UpdateJobButtons(m_Dialog, m_State.processing(), false, m_State.currentJob());
    m_Dialog.Enable(ui::kStop, false);
    m_LoadedJob = ReadEditorJob(m_Dialog);
    m_LoadedResources = ReadEditorResources(m_Dialog);
    m_LoadedPicture = m_Dialog.GetSelection(ui::kPicture);
    m_HasLoadedJob = true;
    m_HoldsJob = true;
}

bool CJobEditor::HasUnsavedEdit() const {
    // The idle panel has Cancel disabled; every edit enables it, and every reset of the panel
    // from outside (a run's start) disables it.
    if (!m_HoldsJob || !m_Dialog.IsEnabled(ui::kCancel)) {
        return false;
    }
    if (!m_HasLoadedJob) {
        return true;
    }
    return !(ReadEditorJob(m_Dialog) == m_LoadedJob) ||
           !(ReadEditorResources(m_Dialog) == m_LoadedResources) ||
           m_Dialog.GetSelection(ui::kPicture) != m_LoadedPicture;
}

// The Picture chosen for a new job: the panel's choice, which New Job (and each job-list line)
// set from the inspection of its source, a fit for a source a DVD cannot carry as it is.
void CJobEditor::AddPictureFit(const JobRecord& job,
                               std::vector<std::pair<std::string, int>>& extras) {
    int chosen = m_Dialog.GetSelection(ui::kPicture);
    if (chosen < 0) {
        // The inspection said, if it was this job's source.
        chosen = job.input == m_ShownSource ? m_SourcePictureFit : source::kFitKeep;
    }
    if (chosen == source::kFitKeep) {
        return;
    }
    extras.emplace_back(kPictureFit, chosen);
    std::string what = chosen == source::kFitNtsc ? "NTSC" : "PAL";
    if (job.input == m_ShownSource && chosen == m_SourcePictureFit && !m_SourceFitText.empty()) {
        what = m_SourceFitText;
    }
    m_Log.Write("Job " + job.name + " is fitted to DVD: " + what, logging::kLogInfo);
}

void CJobEditor::AddOrReplaceJob() {
    bool replace = m_Dialog.GetText(ui::kAddJob) == "&Replace" && m_EditedJob >= 0;
    int p = replace ? m_EditedJob : m_Dialog.GetCount(ui::kJobList);
    JobRecord job = ReadEditorJob(m_Dialog);
    if (replace && job.method < 0) {
        // No template selected (the job's template has left the list): keep the job's own.
        JobRecord stored;
        if (ReadJobRecord(m_Store, p, stored)) {
            job.templateKey = stored.templateKey;
            job.method = stored.method;
        }
    }
    std::string name = m_Dialog.GetText(ui::kName);
    if (replace && m_State.processing() && m_EditedJob == m_State.currentJob()) {
        // The run has taken this job since it was loaded; writing it now would put "Pending"
        // under the encode and be overwritten by the run's own status.
        m_Log.Write("ERROR: Job " + name + " is being encoded and cannot be replaced now.",
                    logging::kLogError);
        return;
    }
    EditorResources resources = ReadEditorResources(m_Dialog);
    if (std::string problem = ResourcesProblem(resources); !problem.empty()) {
        // The edit stays in the panel to be mended.
        m_Log.Write("ERROR: Job " + name + " was not stored: " + problem, logging::kLogError);
        return;
    }
    std::vector<std::pair<std::string, int>> extras;
    if (!replace && m_Callbacks.placeNewJob && !m_Callbacks.placeNewJob(job, extras)) {
        return;
    }
    if (!replace && !resources.cpus.empty()) {
        extras.emplace_back(kSlurmCpus, std::stoi(resources.cpus));
    }
    if (!replace) {
        AddPictureFit(job, extras);
    }
    // A new job goes after the last stored job, which another process may have added.
    if (replace ? !WriteJobRecord(m_Store, p, job) : !AppendJobRecord(m_Store, job, p, extras)) {
        // The list shows only what the store holds; the edit stays in the panel.
        m_Log.Write("ERROR: Could not store job " + name + " (" + m_Store.LastError() + ").",
                    logging::kLogError);
        return;
    }
    // A new job holds only the resources given; Replace also clears those emptied.
    bool resourcesStored =
        (resources.partition.empty() && !replace
             ? true
             : SetJobString(m_Store, p, kSlurmPartition, resources.partition)) &&
        (resources.timeLimit.empty() && !replace
             ? true
             : SetJobString(m_Store, p, kSlurmTimeLimit, resources.timeLimit)) &&
        (!replace || SetJobNumber(m_Store, p, kSlurmCpus,
                                  resources.cpus.empty() ? 0 : std::stoi(resources.cpus)));
    if (!resourcesStored) {
        m_Log.Write("ERROR: Could not store the cluster resources of job " + name + " (" +
                        m_Store.LastError() + "); it runs with the settings' resources.",
                    logging::kLogError);
    }
    const int picture = m_Dialog.GetSelection(ui::kPicture);
    if (replace && picture >= 0 && !SetJobNumber(m_Store, p, kPictureFit, picture)) {
        m_Log.Write("ERROR: Could not store the Picture of job " + name + " (" +
                        m_Store.LastError() + "); it keeps its earlier one.",
                    logging::kLogError);
    }

    if (replace) {
        m_Dialog.DeleteRow(ui::kJobList, p);
        m_Dialog.InsertRow(ui::kJobList, p, name, kImagePending);
        m_Log.Write("Replaced job " + name, logging::kLogInfo);
    } else {
        if (p == m_Dialog.GetCount(ui::kJobList)) {
            m_Dialog.InsertRow(ui::kJobList, -1, name, kImagePending);
        } else {
            // The list was behind the store: show the store as it is now.
            jobs::RefreshJobList(m_Dialog, m_Store, &m_Log);
            if (m_State.currentJob() >= 0) {
                jobs::RefreshJobRow(m_Dialog, m_Store, m_State.currentJob(), kImageRunning);
            }
        }
        m_Log.Write("Added job " + name, logging::kLogInfo);
    }
    m_EditedJob = -1;
    m_HasLoadedJob = false;
    m_HoldsJob = false;
    jobs::UpdateJobButtons(m_Dialog, m_State.processing(), false, m_State.currentJob());
    jobs::ResetJobEditor(m_Dialog);
    m_Dialog.Enable(ui::kNewJob, true);
}

void CJobEditor::CancelEdit() {
    jobs::UpdateJobButtons(m_Dialog, m_State.processing(), false, m_State.currentJob());
    jobs::ResetJobEditor(m_Dialog);
    m_Dialog.Enable(ui::kNewJob, true);
    m_EditedJob = -1;
    m_HasLoadedJob = false;
    m_HoldsJob = false;
}

void CJobEditor::OnJobSelectionChanged() {
    if (m_State.processing()) {
        return;
    }
    CancelEdit();
}

} // namespace jobs
