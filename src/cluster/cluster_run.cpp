// Handing the queue to Slurm and following it there.
#include "cluster/cluster_run.h"

#include "cluster/job_description.h"
#include "env/startup_checks.h"
#include "jobs/job_panels.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "run/encode_outputs.h"
#include "store/key_store.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>

using logging::kLogDebug;
using logging::kLogError;
using logging::kLogInfo;
using logging::kLogWarning;
namespace ids = platform::main_window;

namespace cluster {

namespace {

// The first line of a command's answer, for a log line.
std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line.empty() ? "no answer" : line;
}

void AppendLine(const std::string& path, const std::string& line) {
    if (std::FILE* f = std::fopen(path.c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

} // namespace

uint32_t PollInterval(const char* value) {
    if (value == nullptr) {
        return kPollMilliseconds;
    }
    std::string_view text(value);
    uint32_t ms = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), ms);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || ms == 0 ||
        ms > kPollMilliseconds) {
        return kPollMilliseconds;
    }
    return ms;
}

ClusterRun::ClusterRun(ClusterServices services, run::RunState& state)
    : m_Services(std::move(services)), m_State(state) {}

const ClusterJob* ClusterRun::JobAt(int position) const {
    for (const ClusterJob& job : m_Jobs) {
        if (job.position == position) {
            return &job;
        }
    }
    return nullptr;
}

void ClusterRun::OnStartProcessing(const ClusterSettings& settings) {
    if (m_State.m_Processing || m_State.m_PulldownRunning) {
        m_Services.log->Write("WARNING: A run or a pulldown pass is in progress; Start waits "
                              "until it has ended.",
                              kLogWarning);
        return;
    }
    m_Settings = settings;
    m_Jobs.clear();
    m_Active = true;
    m_SubmitBlocked = false;
    m_PollDelay = m_Services.pollMilliseconds;
    m_State.m_Processing = true;
    m_State.m_FirstJob = true;
    m_State.m_StopRequested = false;
    m_State.m_CurrentJob = -1;
    m_State.m_JobsCompleted = 0;
    m_State.m_JobsFailed = 0;
    m_Services.window->ResetJobEditor();
    m_Services.window->UpdateJobButtons();
    m_Services.dialog->Enable(ids::kExit, false);
    m_Services.dialog->SetProgressRange(ids::kProgress, 0, 100);
    m_Services.dialog->SetProgressPos(ids::kProgress, 0);
    m_Services.log->Write(
        "Running the queue on the Slurm cluster (partition " +
            (settings.m_Partition.empty() ? std::string("default") : settings.m_Partition) +
            ", at most " + std::to_string(settings.m_MaxJobs) + " jobs at once)",
        kLogInfo);
    SubmitJobs();
    if (m_Jobs.empty()) {
        EndRun(m_SubmitBlocked);
        return;
    }
    m_Services.queue->SetTimer(MY_TIMER_CLUSTER_POLL, m_Services.pollMilliseconds);
}

int ClusterRun::NextPending() const {
    store::KeyStore& store = *m_Services.store;
    int count = jobs::JobCount(store);
    for (int position = 0; position < count; ++position) {
        std::string status;
        std::string input;
        if (JobAt(position) != nullptr ||
            !jobs::GetJobString(store, position, jobs::kStatus, jobs::kStatusSearchCapacity,
                                status) ||
            status != jobs::kStatusPending) {
            continue;
        }
        // Jobs of one source share the ECL, description and log files beside it, and sources
        // of one name in different folders share their outputs in a chosen output folder: such
        // a job waits until the one on the cluster has ended.
        jobs::GetJobString(store, position, jobs::kInput, jobs::kWholeValue, input);
        std::string eclPath = ecl::EclPathFor(input);
        std::string outputs = ecl::OutputBase(*m_Services.settings, input);
        if (std::none_of(m_Jobs.begin(), m_Jobs.end(), [&](const ClusterJob& job) {
                return job.eclPath == eclPath ||
                       ecl::OutputBase(*m_Services.settings, job.input) == outputs;
            })) {
            return position;
        }
    }
    return -1;
}

void ClusterRun::SubmitJobs() {
    while (!m_SubmitBlocked && !m_State.m_StopRequested &&
           static_cast<int>(m_Jobs.size()) < m_Settings.m_MaxJobs) {
        int position = NextPending();
        if (position < 0 || !Submit(position)) {
            return;
        }
    }
}

bool ClusterRun::Submit(int position) {
    logging::Log& log = *m_Services.log;
    store::KeyStore& store = *m_Services.store;
    ClusterJob job;
    job.position = position;
    jobs::GetJobString(store, position, jobs::kName, jobs::kWholeValue, job.name);
    jobs::GetJobString(store, position, jobs::kInput, jobs::kWholeValue, job.input);
    jobs::GetJobNumber(store, position, jobs::kTelecide, job.telecide);
    job.submitTime = m_Services.now();
    log.Write("---", kLogInfo);
    log.Write("Starting Job: " + job.name, kLogInfo);
    m_Services.window->RefreshJobRow(position, jobs::kImageRunning);

    job.eclPath = ecl::WriteEcl(store, position, m_Services.cceVersion(), *m_Services.settings,
                                m_Services.inspect, job.ecl);
    log.Write("ECL Path: " + job.eclPath, kLogDebug);
    std::string text;
    std::string error;
    if (job.eclPath.empty()) {
        log.Write("  ERROR: Could not write the ECL file for the source \"" + job.ecl.m_SourcePath +
                      "\"",
                  kLogError);
    } else if (!BuildJobDescription(store, position, m_Services.window->HasDeleteMpvKeyword(), text,
                                    error) ||
               !WriteDescriptionFile(DescriptionPathFor(job.eclPath), text, error)) {
        log.Write("  ERROR: Could not write the job description: " + error, kLogError);
    } else {
        job.logPath = JobLogPathFor(job.eclPath);
        // A log of an earlier run would show its progress until this one starts.
        std::remove(job.logPath.c_str());
        std::string folder = env::FolderOf(m_Services.programPath);
        // Appending: Slurm's own late lines and the window's line about the job's end must
        // not write over each other.
        std::vector<std::string> argv = {"sbatch",
                                         "--parsable",
                                         "-J",
                                         SlurmJobName(job.name),
                                         "-o",
                                         SlurmOutputPattern(job.logPath),
                                         "--open-mode=append"};
        if (!m_Settings.m_Partition.empty()) {
            argv.insert(argv.end(), {"-p", m_Settings.m_Partition});
        }
        argv.insert(argv.end(), m_Settings.m_SbatchOptions.begin(),
                    m_Settings.m_SbatchOptions.end());
        argv.insert(argv.end(), {folder + "/" + kTrampoline, folder + "/" + kJobProgram,
                                 DescriptionPathFor(job.eclPath)});
        std::string output;
        int status = -1;
        bool ran = m_Services.runCommand(argv, output, status);
        job.slurmId = ran && status == 0 ? ParseSubmittedId(output) : std::string();
        if (job.slurmId.empty()) {
            log.Write("  ERROR: sbatch did not take the job " + job.name + ": " + FirstLine(output),
                      kLogError);
            m_Services.window->RefreshJobRow(position, jobs::kImagePending);
            m_SubmitBlocked = true;
            return false;
        }
        log.Write("  Submitted to Slurm as job " + job.slurmId, kLogInfo);
        m_Jobs.push_back(job);
        return true;
    }
    // Nothing could be handed over for this job: it has failed, the others go on.
    SetStatus(position, job.name, jobs::kStatusError);
    log.Write("Job: complete in " + std::to_string(m_Services.now() - job.submitTime) + " seconds",
              kLogInfo);
    return !m_SubmitBlocked;
}

bool ClusterRun::OnTimer(int timerId) {
    if (timerId != MY_TIMER_CLUSTER_POLL) {
        return false;
    }
    m_Services.queue->KillTimer(MY_TIMER_CLUSTER_POLL);
    if (m_Active) {
        Poll();
    }
    return true;
}

void ClusterRun::Poll() {
    // One squeue for all jobs; finishing a job removes it, so go by Slurm id.
    std::vector<std::string> ids;
    for (const ClusterJob& job : m_Jobs) {
        ids.push_back(job.slurmId);
    }
    std::map<std::string, SlurmJobInfo> listed;
    std::string error;
    if (!ids.empty() && !QueueStates(m_Services.runCommand, ids, listed, error)) {
        // Slurm cannot be reached: nothing is concluded about the jobs this round.
        if (m_PollDelay == m_Services.pollMilliseconds) {
            m_Services.log->Write("WARNING: Slurm does not answer (squeue: " + error +
                                      "); asking again later.",
                                  kLogWarning);
        }
        m_PollDelay = std::min(m_PollDelay * 2, kLongestPollMilliseconds);
        m_Services.queue->SetTimer(MY_TIMER_CLUSTER_POLL, m_PollDelay);
        return;
    }
    m_PollDelay = m_Services.pollMilliseconds;
    for (const std::string& id : ids) {
        for (ClusterJob& job : m_Jobs) {
            if (job.slurmId == id) {
                auto found = listed.find(id);
                Follow(job, found == listed.end() ? nullptr : &found->second);
                break;
            }
        }
    }
    if (!m_Active) {
        return;
    }
    SubmitJobs();
    ShowProgress();
    if (m_Jobs.empty()) {
        EndRun(m_SubmitBlocked || m_State.m_StopRequested);
        return;
    }
    m_Services.queue->SetTimer(MY_TIMER_CLUSTER_POLL, m_PollDelay);
}

void ClusterRun::Follow(ClusterJob& job, const SlurmJobInfo* listed) {
    SlurmJobInfo info;
    // A job still going is known by squeue's line; an ended one (for its exit code) or one
    // squeue no longer lists is asked after on its own.
    if (listed && !IsFinalState(listed->state)) {
        info = *listed;
    } else if (!QueryJob(m_Services.runCommand, job.slurmId, info)) {
        if (++job.unknownPolls < kUnknownPollsBeforeError) {
            return;
        }
        info.state = "UNKNOWN";
        info.reason = "no Slurm command knows the job any more";
    }
    job.unknownPolls = 0;
    bool changed = false;
    if (info.state != job.state) {
        m_Services.log->Write("  Slurm job " + job.slurmId + " (" + job.name + "): " + info.state,
                              kLogInfo);
        job.state = info.state;
        changed = true;
    }
    int progress = ProgressFromLog(job.logPath);
    if (progress >= 0 && progress != job.progress) {
        job.progress = progress;
        changed = true;
    }
    // The list may have been reordered since the last poll.
    if (int position = CurrentPosition(job); position >= 0 && position != job.position) {
        job.position = position;
        changed = true;
    }
    if (changed && !IsFinalState(info.state)) {
        // The row's second line shows the Slurm state and the progress.
        m_Services.window->RefreshJobRow(job.position, jobs::kImageRunning);
    }
    if (IsFinalState(info.state) || info.state == "UNKNOWN") {
        Finish(job, info);
    }
}

bool ClusterRun::OutputsThere(const ClusterJob& job) const {
    ecl::EclState expected = job.ecl;
    // After the pulldown pass the stream that counts is its result (the source stream may have
    // been deleted by then).
    if (job.telecide == 1 && expected.m_VideoOut) {
        expected.m_OutputPath += ".m2v";
    }
    // The file times come from the shared storage's clock, not this machine's.
    return run::CheckEncodeOutputs(expected, job.submitTime - kClockSlackSeconds, *m_Services.log);
}

int ClusterRun::CurrentPosition(const ClusterJob& job) const {
    store::KeyStore& store = *m_Services.store;
    auto same = [&](int position) {
        std::string name;
        std::string input;
        return jobs::GetJobString(store, position, jobs::kName, jobs::kWholeValue, name) &&
               jobs::GetJobString(store, position, jobs::kInput, jobs::kWholeValue, input) &&
               name == job.name && input == job.input;
    };
    if (same(job.position)) {
        return job.position;
    }
    int count = jobs::JobCount(store);
    for (int position = 0; position < count; ++position) {
        if (same(position)) {
            return position;
        }
    }
    return -1;
}

void ClusterRun::Finish(ClusterJob& job, const SlurmJobInfo& info) {
    logging::Log& log = *m_Services.log;
    const char* status = jobs::kStatusError;
    if (info.state == "COMPLETED") {
        if (OutputsThere(job)) {
            status = jobs::kStatusComplete;
        }
    } else {
        std::string line =
            "  ERROR: Slurm ended job " + job.slurmId + " (" + job.name + ") as " + info.state;
        if (!info.reason.empty() && info.reason != "None") {
            line += ", reason " + info.reason;
        }
        if (!info.exitCode.empty()) {
            line += ", exit code " + info.exitCode;
        }
        log.Write(line, kLogError);
        if (!job.logPath.empty()) {
            AppendLine(job.logPath, line.substr(2));
        }
    }
    log.Write("  Slurm job " + job.slurmId + " (" + job.name + "): " + status, kLogInfo);
    ClusterJob done = job;
    m_Jobs.erase(m_Jobs.begin() + (&job - m_Jobs.data()));
    int position = CurrentPosition(done);
    if (position < 0) {
        log.Write("WARNING: The job " + done.name +
                      " is no longer in the queue; its result is not recorded.",
                  kLogWarning);
    } else {
        SetStatus(position, done.name, status);
    }
    log.Write("Job: complete in " + std::to_string(m_Services.now() - done.submitTime) + " seconds",
              kLogInfo);
}

void ClusterRun::SetStatus(int position, const std::string& name, const char* status) {
    store::KeyStore& store = *m_Services.store;
    if (jobs::SetJobString(store, position, jobs::kStatus, status)) {
        const std::string written = status;
        m_State.m_JobsCompleted += written == jobs::kStatusComplete ? 1 : 0;
        m_State.m_JobsFailed += written == jobs::kStatusError ? 1 : 0;
    } else {
        // Going on would hand the same job over again.
        m_Services.log->Write("ERROR: Could not mark job " + name + " \"" + status +
                                  "\": the store " + store.Path() + " refused the write (" +
                                  store.LastError() + "). No more jobs are submitted.",
                              kLogError);
        m_SubmitBlocked = true;
    }
    m_Services.window->RefreshJobList();
    // The list shows stored statuses; the jobs still on the cluster keep the running image.
    for (const ClusterJob& job : m_Jobs) {
        m_Services.window->RefreshJobRow(job.position, jobs::kImageRunning);
    }
}

int ClusterRun::AverageProgress() const {
    int sum = 0;
    bool reported = false;
    for (const ClusterJob& job : m_Jobs) {
        reported = reported || job.progress >= 0;
        sum += job.progress > 0 ? job.progress : 0;
    }
    return reported ? sum / static_cast<int>(m_Jobs.size()) : -1;
}

void ClusterRun::ShowProgress() {
    m_Services.dialog->SetProgressPos(ids::kProgress, std::max(AverageProgress(), 0));
    m_Services.window->OnRunProgress();
}

void ClusterRun::OnStopProcessing() {
    if (!m_Active) {
        return;
    }
    m_State.m_StopRequested = true;
    // Jobs that have ended meanwhile keep their result; the rest are cancelled.
    Poll();
    if (!m_Active) {
        return;
    }
    for (const ClusterJob& job : m_Jobs) {
        std::string output;
        int status = -1;
        if (m_Services.runCommand({"scancel", job.slurmId}, output, status) && status == 0) {
            m_Services.log->Write("  Cancelled Slurm job " + job.slurmId + " (" + job.name + ")",
                                  kLogInfo);
        } else {
            m_Services.log->Write("  ERROR: scancel did not cancel Slurm job " + job.slurmId +
                                      ": " + FirstLine(output),
                                  kLogError);
        }
        int position = CurrentPosition(job);
        if (position >= 0) {
            SetStatus(position, job.name, jobs::kStatusPending);
        }
    }
    m_Jobs.clear();
    EndRun(true);
}

void ClusterRun::EndRun(bool stopped) {
    run::RunWindow& window = *m_Services.window;
    platform::Dialog& dialog = *m_Services.dialog;
    m_Services.queue->KillTimer(MY_TIMER_CLUSTER_POLL);
    m_Active = false;
    m_State.m_Processing = false;
    m_State.m_CurrentJob = -1;
    // As at the end of a local run: "Vantaq Idle" when the queue ran dry.
    if (window.InTray()) {
        window.UpdateTrayIcon(stopped ? "Vantaq - Idle" : "Vantaq Idle");
    }
    m_Services.log->Write(stopped ? "Processing Stopped!!!!!" : "No more jobs!!!",
                          stopped ? kLogWarning : kLogInfo);
    dialog.SetProgressPos(ids::kProgress, 0);
    window.ResetJobEditor();
    window.UpdateJobButtons();
    window.RefreshJobList();
    dialog.Enable(ids::kExit, true);
    dialog.Enable(ids::kNewJob, true);
    if (!stopped) {
        window.OnQueueFinished(m_State.m_JobsCompleted, m_State.m_JobsFailed);
    }
    if (window.HasExitKeyword() && !m_State.m_StopRequested) {
        if (stopped) {
            window.CloseWindowAfterFailure();
        } else {
            window.CloseWindow();
        }
    }
}

} // namespace cluster
