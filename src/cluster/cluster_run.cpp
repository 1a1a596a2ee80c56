// Handing the queue to Slurm and following it there.
#include "cluster/cluster_run.h"

#include "cluster/job_description.h"
#include "env/startup_checks.h"
#include "jobs/job_last_error.h"
#include "jobs/job_panels.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "run/encode_outputs.h"
#include "run/output_clash.h"
#include "run/run_record.h"
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

// A field of the answers passed back from the commands' thread: no tabs or line ends.
std::string Flat(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t at = 0;
    for (;;) {
        size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        if (tab == std::string::npos) {
            return fields;
        }
        at = tab + 1;
    }
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return lines;
}

std::string InfoLine(const std::string& id, const SlurmJobInfo* info) {
    if (info == nullptr) {
        return id + "\t0\n";
    }
    return id + "\t1\t" + Flat(info->state) + "\t" + Flat(info->reason) + "\t" +
           Flat(info->exitCode) + "\n";
}

// What Slurm says of the jobs `ids`, as lines "ID\t1\tSTATE\tREASON\tEXIT" (or "ID\t0" for a
// job no command knows), after a first line "ok" or "error\tWORDS" when squeue did not answer.
// A job still going is known by squeue's line; an ended one (for its exit code) or one squeue
// no longer lists is asked after on its own. Runs off the window's thread.
std::string AskSlurm(const CommandRunner& runCommand, const std::vector<std::string>& ids) {
    std::map<std::string, SlurmJobInfo> listed;
    std::string error;
    if (!QueueStates(runCommand, ids, listed, error)) {
        return "error\t" + Flat(error) + "\n";
    }
    std::string answer = "ok\n";
    for (const std::string& id : ids) {
        auto found = listed.find(id);
        if (found != listed.end() && !IsFinalState(found->second.state)) {
            answer += InfoLine(id, &found->second);
            continue;
        }
        SlurmJobInfo info;
        answer += InfoLine(id, QueryJob(runCommand, id, info) ? &info : nullptr);
    }
    return answer;
}

// Reads AskSlurm's lines into `infos` (a job no command knows is absent). False with `error`
// when squeue did not answer.
bool ReadAnswer(const std::string& answer, std::map<std::string, SlurmJobInfo>& infos,
                std::vector<std::string>& asked, std::string& error) {
    std::vector<std::string> lines = SplitLines(answer);
    if (lines.empty() || lines[0] != "ok") {
        std::vector<std::string> first = SplitTabs(lines.empty() ? std::string() : lines[0]);
        error = first.size() > 1 ? first[1] : "no answer";
        return false;
    }
    for (size_t k = 1; k < lines.size(); ++k) {
        std::vector<std::string> f = SplitTabs(lines[k]);
        if (f.empty() || f[0].empty()) {
            continue;
        }
        asked.push_back(f[0]);
        if (f.size() >= 5 && f[1] == "1") {
            infos[f[0]] = SlurmJobInfo{f[2], f[3], f[4]};
        }
    }
    return true;
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

ClusterRun::ClusterRun(ClusterServices services, run::RunOwner& owner)
    : m_Services(std::move(services)), m_Owner(owner), m_Calls(*m_Services.queue) {}

const ClusterJob* ClusterRun::JobAt(int position) const {
    for (const ClusterJob& job : m_Jobs) {
        if (job.position == position) {
            return &job;
        }
    }
    return nullptr;
}

bool ClusterRun::Chosen() {
    return ReadClusterSettings(*m_Services.store).m_UseSlurm;
}

bool ClusterRun::OnMessage(platform::Message& message) {
    return m_Calls.OnMessage(message);
}

void ClusterRun::StartRun() {
    m_Settings = ReadClusterSettings(*m_Services.store);
    if (!m_Active) {
        m_Jobs.clear();
    }
    m_Active = true;
    m_SubmitBlocked = false;
    m_NoMoreJobs = false;
    m_PollDelay = m_Services.pollMilliseconds;
    m_Services.dialog->SetProgressRange(ids::kProgress, 0, 100);
    m_Services.dialog->SetProgressPos(ids::kProgress, 0);
    m_Services.log->Write(
        "Running the queue on the Slurm cluster (partition " +
            (m_Settings.m_Partition.empty() ? std::string("default") : m_Settings.m_Partition) +
            ", at most " + std::to_string(m_Settings.m_MaxJobs) + " jobs at once)",
        kLogInfo);
    SubmitJobs();
    EndIfDone();
    if (m_Active) {
        m_Services.queue->SetTimer(MY_TIMER_CLUSTER_POLL, m_Services.pollMilliseconds);
    }
}

void ClusterRun::Resume(int position, const run::RunRecord& record) {
    store::KeyStore& store = *m_Services.store;
    ClusterJob job;
    job.position = position;
    job.key = record.key;
    job.slurmId = record.slurmId;
    job.eclPath = record.eclPath;
    job.logPath = JobLogPathFor(record.eclPath);
    job.ecl = record.ecl;
    job.submitTime = record.jobStartTime;
    jobs::GetJobString(store, position, jobs::kName, jobs::kWholeValue, job.name);
    jobs::GetJobString(store, position, jobs::kInput, jobs::kWholeValue, job.input);
    jobs::GetJobNumber(store, position, jobs::kTelecide, job.telecide);
    m_Services.log->Write("Following Slurm job " + job.slurmId + " (" + job.name +
                              "), handed over before Vantaq last ended",
                          kLogInfo);
    if (!m_Active) {
        m_Settings = ReadClusterSettings(store);
        m_Active = true;
        m_SubmitBlocked = false;
        m_PollDelay = m_Services.pollMilliseconds;
        m_Services.dialog->SetProgressRange(ids::kProgress, 0, 100);
        // Following what an earlier start left does not hand over more jobs; Start does.
        m_NoMoreJobs = true;
    }
    m_Jobs.push_back(job);
    m_Services.window->RefreshJobRow(position, jobs::kImageRunning);
    m_Services.queue->SetTimer(MY_TIMER_CLUSTER_POLL, 0);
}

int ClusterRun::NextPending() const {
    store::KeyStore& store = *m_Services.store;
    const int count = jobs::JobCount(store);
    // The pending jobs in order, each from the store's index: the ones on the cluster and the
    // ones waiting for them are passed over without reading the rest of the queue.
    for (int position = jobs::FindFirstPending(store, count); position >= 0;
         position = jobs::FindFirstPending(store, count, position + 1)) {
        if (JobAt(position) != nullptr) {
            continue;
        }
        // Jobs of one source share the ECL, description and log files beside it unless they
        // were given numbered ones, and sources of one name in different folders share their
        // outputs in a chosen output folder: such a job waits until the one on the cluster has
        // ended.
        std::string eclPath = ecl::JobEclPath(store, position);
        std::string outputs = ecl::JobOutputBase(store, *m_Services.settings, position);
        if (std::none_of(m_Jobs.begin(), m_Jobs.end(), [&](const ClusterJob& job) {
                return job.eclPath == eclPath ||
                       ecl::ReplaceExtension(outputs, ".mpv") == job.ecl.m_OutputPath;
            })) {
            return position;
        }
    }
    return -1;
}

void ClusterRun::SubmitJobs() {
    // One sbatch at a time; each answer hands over the next.
    while (m_Active && !m_Submitting && !m_SubmitBlocked && !m_NoMoreJobs && !m_Cancelling &&
           !m_Owner.State().m_StopRequested &&
           static_cast<int>(m_Jobs.size()) < m_Settings.m_MaxJobs) {
        int position = NextPending();
        if (position < 0 || Submit(position)) {
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
    job.key = m_Owner.BeginJob(position);

    job.eclPath = ecl::WriteEcl(store, position, m_Services.cceVersion(), *m_Services.settings,
                                m_Services.inspect, job.ecl);
    log.Write("ECL Path: " + job.eclPath, kLogDebug);
    std::string text;
    std::string error;
    std::string other;
    std::string clash;
    if (job.ecl.m_SourceUnreadable) {
        log.Write("  ERROR: The source \"" + job.ecl.m_SourcePath +
                      "\" is missing or cannot be read; the job is not encoded",
                  kLogError);
    } else if (job.eclPath.empty()) {
        log.Write("  ERROR: Could not write the ECL file for the source \"" + job.ecl.m_SourcePath +
                      "\"",
                  kLogError);
    } else if (run::OutputClashes(store, *m_Services.settings, position, job.ecl, other, clash)) {
        // Another finished job's stream would be written over: this job is not handed over.
        log.Write("  ERROR: " + clash, kLogError);
        jobs::SetJobLastError(store, position, clash);
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
        CommandRunner runCommand = m_Services.runCommand;
        m_Submitting = true;
        bool started = m_Calls.Call(
            [runCommand, argv] {
                std::string output;
                int status = -1;
                bool ran = runCommand(argv, output, status);
                return std::string(ran ? "1 " : "0 ") + std::to_string(status) + "\n" + output;
            },
            [this, job](std::string& answer) {
                size_t blank = answer.find(' ');
                size_t lf = answer.find('\n');
                bool ran = answer.compare(0, 1, "1") == 0;
                int status = -1;
                if (blank != std::string::npos && lf != std::string::npos && lf > blank) {
                    status = std::atoi(answer.substr(blank + 1, lf - blank - 1).c_str());
                }
                Submitted(job, ran, status,
                          lf == std::string::npos ? std::string() : answer.substr(lf + 1));
            });
        if (started) {
            return true;
        }
        m_Submitting = false;
        log.Write("  ERROR: sbatch could not be started for the job " + job.name, kLogError);
        m_SubmitBlocked = true;
    }
    // Nothing could be handed over for this job: it has failed, the others go on.
    SetStatus(job, jobs::kStatusError);
    log.Write("Job: complete in " + std::to_string(m_Services.now() - job.submitTime) + " seconds",
              kLogInfo);
    return m_SubmitBlocked;
}

void ClusterRun::Submitted(ClusterJob job, bool ran, int status, const std::string& output) {
    m_Submitting = false;
    logging::Log& log = *m_Services.log;
    job.slurmId = ran && status == 0 ? ParseSubmittedId(output) : std::string();
    int position = CurrentPosition(job);
    if (job.slurmId.empty()) {
        log.Write("  ERROR: sbatch did not take the job " + job.name + ": " + FirstLine(output),
                  kLogError);
        m_SubmitBlocked = true;
        // Not handed over: the job stays pending for the next Start.
        SetStatus(job, jobs::kStatusPending);
        EndIfDone();
        return;
    }
    log.Write("  Submitted to Slurm as job " + job.slurmId, kLogInfo);
    if (position >= 0) {
        run::RunRecord record;
        record.key = job.key;
        record.where = run::RunWhere::kSlurm;
        record.slurmId = job.slurmId;
        record.eclPath = job.eclPath;
        record.ecl = job.ecl;
        record.jobStartTime = job.submitTime;
        record.processStartTime = job.submitTime;
        if (job.key.empty() || !run::SaveRunRecord(*m_Services.store, position, record)) {
            jobs::LogStoreFailure(log, "keep the Slurm job's id", *m_Services.store);
        }
    }
    m_Jobs.push_back(job);
    if (m_Owner.State().m_StopRequested) {
        // Stop came while sbatch was answering: this one is cancelled with the rest.
        Stop(false);
        return;
    }
    SubmitJobs();
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
    if (m_Polling || m_Cancelling) {
        return;
    }
    // One squeue for all jobs; finishing a job removes it, so go by Slurm id.
    std::vector<std::string> ids;
    for (const ClusterJob& job : m_Jobs) {
        ids.push_back(job.slurmId);
    }
    if (ids.empty()) {
        ApplyPoll("ok\n");
        return;
    }
    CommandRunner runCommand = m_Services.runCommand;
    m_Polling = m_Calls.Call([runCommand, ids] { return AskSlurm(runCommand, ids); },
                             [this](std::string& answer) {
                                 m_Polling = false;
                                 ApplyPoll(answer);
                             });
    if (!m_Polling) {
        m_Services.queue->SetTimer(MY_TIMER_CLUSTER_POLL, m_PollDelay);
    }
}

void ClusterRun::ApplyPoll(const std::string& answer) {
    if (!m_Active || m_Cancelling) {
        return;
    }
    std::map<std::string, SlurmJobInfo> infos;
    std::vector<std::string> asked;
    std::string error;
    if (!ReadAnswer(answer, infos, asked, error)) {
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
    for (const std::string& id : asked) {
        for (ClusterJob& job : m_Jobs) {
            if (job.slurmId == id) {
                auto found = infos.find(id);
                Follow(job, found == infos.end() ? nullptr : &found->second);
                break;
            }
        }
    }
    if (!m_Active) {
        return;
    }
    SubmitJobs();
    ShowProgress();
    EndIfDone();
    if (m_Active) {
        m_Services.queue->SetTimer(MY_TIMER_CLUSTER_POLL, m_PollDelay);
    }
}

void ClusterRun::Follow(ClusterJob& job, const SlurmJobInfo* known) {
    SlurmJobInfo info;
    if (known != nullptr) {
        info = *known;
    } else if (++job.unknownPolls < kUnknownPollsBeforeError) {
        return;
    } else {
        info.state = "UNKNOWN";
        info.reason = "no Slurm command knows the job any more";
    }
    job.unknownPolls = 0;
    bool changed = false;
    std::string reason = info.reason == "None" ? std::string() : info.reason;
    if (info.state != job.state || reason != job.reason) {
        // While Slurm keeps the job waiting, its reason says why ("Resources", a node down).
        std::string line = "  Slurm job " + job.slurmId + " (" + job.name + "): " + info.state;
        if (!reason.empty() && !IsFinalState(info.state)) {
            line += " (" + reason + ")";
        }
        m_Services.log->Write(line, kLogInfo);
        job.state = info.state;
        job.reason = reason;
        changed = true;
    }
    int progress = ProgressFromLog(job.logPath);
    if (progress >= 0 && progress != job.progress) {
        job.progress = progress;
        changed = true;
    }
    // The list may have been reordered since the last poll.
    int before = job.position;
    if (CurrentPosition(job) != before) {
        changed = true;
    }
    if (changed && !IsFinalState(info.state) && job.position >= 0) {
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

int ClusterRun::CurrentPosition(ClusterJob& job) const {
    job.position = run::FindJobByRunKey(*m_Services.store, job.key, job.position);
    return job.position;
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
    SetStatus(done, status);
    log.Write("Job: complete in " + std::to_string(m_Services.now() - done.submitTime) + " seconds",
              kLogInfo);
}

void ClusterRun::SetStatus(const ClusterJob& job, const char* status) {
    if (!m_Owner.EndJob(job.key, job.position, status)) {
        // Going on would hand the same job over again.
        m_Services.log->Write("No more jobs are submitted.", kLogError);
        m_SubmitBlocked = true;
    }
    m_Services.window->RefreshJobList();
    ShowRunningRows();
}

void ClusterRun::ShowRunningRows() {
    // The list shows stored statuses; the jobs still on the cluster keep the running image.
    for (ClusterJob& job : m_Jobs) {
        if (CurrentPosition(job) >= 0) {
            m_Services.window->RefreshJobRow(job.position, jobs::kImageRunning);
        }
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

void ClusterRun::Stop(bool afterRunning) {
    if (!m_Active) {
        return;
    }
    if (afterRunning) {
        m_NoMoreJobs = true;
        m_Services.log->Write("Processing stops when the jobs on the cluster have ended.",
                              kLogInfo);
        EndIfDone();
        return;
    }
    if (m_Cancelling || m_Submitting) {
        return; // the cancel goes out when sbatch has answered
    }
    m_Cancelling = true;
    m_Calls.Forget();
    m_Polling = false;
    // Jobs that have ended meanwhile keep their result; the rest are cancelled.
    std::vector<std::string> ids;
    for (const ClusterJob& job : m_Jobs) {
        ids.push_back(job.slurmId);
    }
    CommandRunner runCommand = m_Services.runCommand;
    bool started = m_Calls.Call(
        [runCommand, ids] {
            std::string answer = AskSlurm(runCommand, ids);
            for (const std::string& id : ids) {
                std::string output;
                int status = -1;
                bool ok = runCommand({"scancel", id}, output, status) && status == 0;
                answer += "cancel\t" + id + "\t" + (ok ? "1" : "0") + "\t" +
                          Flat(FirstLine(output)) + "\n";
            }
            return answer;
        },
        [this](std::string& answer) { Cancelled(answer); });
    if (!started) {
        Cancelled("error\tno thread\n");
    }
}

void ClusterRun::Cancelled(const std::string& answer) {
    m_Cancelling = false;
    std::map<std::string, SlurmJobInfo> infos;
    std::vector<std::string> asked;
    std::string error;
    ReadAnswer(answer.substr(0, answer.find("\ncancel\t") + 1), infos, asked, error);
    std::map<std::string, std::pair<bool, std::string>> cancels;
    for (const std::string& line : SplitLines(answer)) {
        std::vector<std::string> f = SplitTabs(line);
        if (f.size() >= 4 && f[0] == "cancel") {
            cancels[f[1]] = {f[2] == "1", f[3]};
        }
    }
    std::vector<ClusterJob> jobs = m_Jobs;
    for (ClusterJob& job : jobs) {
        auto info = infos.find(job.slurmId);
        if (info != infos.end() && info->second.state == "COMPLETED") {
            // It ended whole before the cancel reached it: it keeps its result.
            for (ClusterJob& still : m_Jobs) {
                if (still.slurmId == job.slurmId) {
                    Finish(still, info->second);
                    break;
                }
            }
            continue;
        }
        auto cancel = cancels.find(job.slurmId);
        if (cancel != cancels.end() && cancel->second.first) {
            m_Services.log->Write("  Cancelled Slurm job " + job.slurmId + " (" + job.name + ")",
                                  kLogInfo);
        } else {
            m_Services.log->Write("  ERROR: scancel did not cancel Slurm job " + job.slurmId +
                                      ": " +
                                      (cancel != cancels.end() ? cancel->second.second : error),
                                  kLogError);
        }
        for (auto it = m_Jobs.begin(); it != m_Jobs.end(); ++it) {
            if (it->slurmId == job.slurmId) {
                m_Jobs.erase(it);
                break;
            }
        }
        SetStatus(job, jobs::kStatusPending);
    }
    m_Jobs.clear();
    EndRun(run::RunEnd::kStopped);
}

void ClusterRun::EndIfDone() {
    if (!m_Active || !m_Jobs.empty() || m_Submitting || m_Cancelling) {
        return;
    }
    if (m_NoMoreJobs) {
        EndRun(run::RunEnd::kStopped);
    } else if (m_SubmitBlocked) {
        m_Services.log->Write("Processing Stopped!!!!!", kLogWarning);
        EndRun(run::RunEnd::kFailed);
    } else if (NextPending() < 0) {
        EndRun(run::RunEnd::kQueueDone);
    }
}

void ClusterRun::EndRun(run::RunEnd how) {
    m_Services.queue->KillTimer(MY_TIMER_CLUSTER_POLL);
    m_Calls.Forget();
    m_Polling = false;
    m_Submitting = false;
    m_Active = false;
    m_Owner.EndRun(how);
}

} // namespace cluster
