// Handing the queue to Slurm and following it there.
#include "cluster/cluster_run.h"

#include "cluster/job_description.h"
#include "cluster/job_result.h"
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
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

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
           Flat(info->exitCode) + "\t" + Flat(info->node) + "\t" + Flat(info->runTime) + "\n";
}

// A search for a submission by its name, as a line "name\tSUBMISSION\tHOW\tID-OR-WORDS".
std::string LookupLine(const CommandRunner& runCommand, const std::string& submission) {
    std::string id;
    std::string error;
    Lookup found = FindSubmission(runCommand, submission, id, error);
    const char* how = found == Lookup::kFound  ? "found"
                      : found == Lookup::kNone ? "none"
                                               : "noanswer";
    return "name\t" + submission + "\t" + how + "\t" + Flat(found == Lookup::kFound ? id : error) +
           "\n";
}

// What Slurm says of the jobs `ids`, as lines "ID\t1\tSTATE\tREASON\tEXIT\tNODE\tRUNTIME" (or
// "ID\t0" for a job no command knows), after a first line "ok" or "error\tWORDS" when squeue did
// not answer; then a LookupLine for each of `names`, the submissions whose id is not known. A
// job still going is known by squeue's line; an ended one (for its exit code) or one squeue no
// longer lists is asked after on its own. Runs off the window's thread.
std::string AskSlurm(const CommandRunner& runCommand, const std::vector<std::string>& ids,
                     const std::vector<std::string>& names = {}) {
    std::map<std::string, SlurmJobInfo> listed;
    std::string error;
    if (!ids.empty() && !QueueStates(runCommand, ids, listed, error)) {
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
    for (const std::string& name : names) {
        answer += LookupLine(runCommand, name);
    }
    return answer;
}

// Reads AskSlurm's lines into `infos` (a job no command knows is absent) and its searches into
// `lookups` (submission: how, id or words). False with `error` when squeue did not answer.
bool ReadAnswer(const std::string& answer, std::map<std::string, SlurmJobInfo>& infos,
                std::vector<std::string>& asked, std::string& error,
                std::map<std::string, std::pair<std::string, std::string>>* lookups = nullptr) {
    std::vector<std::string> lines = SplitLines(answer);
    if (lines.empty() || lines[0] != "ok") {
        std::vector<std::string> first = SplitTabs(lines.empty() ? std::string() : lines[0]);
        error = first.size() > 1 ? first[1] : "no answer";
        return false;
    }
    for (size_t k = 1; k < lines.size(); ++k) {
        std::vector<std::string> f = SplitTabs(lines[k]);
        if (f.empty() || f[0].empty() || f[0] == "cancel") {
            continue;
        }
        if (f[0] == "name") {
            if (lookups != nullptr && f.size() >= 4) {
                (*lookups)[f[1]] = {f[2], f[3]};
            }
            continue;
        }
        asked.push_back(f[0]);
        if (f.size() >= 7 && f[1] == "1") {
            infos[f[0]] = SlurmJobInfo{f[2], f[3], f[4], f[5], f[6]};
        }
    }
    return true;
}

// Hands a job to sbatch unless Slurm has a job of its submission name already. Answers
// "found\tID", "submitted\tID", "refused\tWORDS" (sbatch answered and Slurm has no such job) or
// "noanswer\tWORDS" (nothing can be concluded: the job may have been submitted). Runs off the
// window's thread.
std::string SubmitOnce(const CommandRunner& runCommand, const std::vector<std::string>& argv,
                       const std::string& submission) {
    std::string id;
    std::string error;
    Lookup found = FindSubmission(runCommand, submission, id, error);
    if (found == Lookup::kFound) {
        return "found\t" + id;
    }
    if (found == Lookup::kNoAnswer) {
        return "noanswer\tsqueue: " + Flat(FirstLine(error));
    }
    std::string output;
    int status = -1;
    bool ran = runCommand(argv, output, status);
    id = ran && status == 0 ? ParseSubmittedId(output) : std::string();
    if (!id.empty()) {
        return "submitted\t" + id;
    }
    // No id: the submission may have reached the controller all the same.
    found = FindSubmission(runCommand, submission, id, error);
    if (found == Lookup::kFound) {
        return "found\t" + id;
    }
    if (found == Lookup::kNone && ran) {
        return "refused\t" + Flat(FirstLine(output));
    }
    return "noanswer\t" + Flat(FirstLine(output));
}

// Cancels the jobs (id, or "" when only their submission name is known), waits a while for
// them to end, and answers AskSlurm's lines about them followed by one line per job
// "cancel\tSUBMISSION\tID\tOK\tWORDS" (OK 1 with no ID: Slurm never had the job). Runs off the
// window's thread.
std::string CancelAll(const CommandRunner& runCommand,
                      const std::vector<std::pair<std::string, std::string>>& jobs) {
    std::string lines;
    std::vector<std::string> all;
    std::vector<std::string> cancelled;
    for (auto [id, submission] : jobs) {
        std::string error;
        if (id.empty()) {
            Lookup found = FindSubmission(runCommand, submission, id, error);
            if (found != Lookup::kFound) {
                lines += "cancel\t" + submission + "\t\t" + (found == Lookup::kNone ? "1" : "0") +
                         "\t" + Flat(FirstLine(error)) + "\n";
                continue;
            }
        }
        std::string output;
        int status = -1;
        bool ok = runCommand({"scancel", id}, output, status) && status == 0;
        lines += "cancel\t" + submission + "\t" + id + "\t" + (ok ? "1" : "0") + "\t" +
                 Flat(FirstLine(output)) + "\n";
        all.push_back(id);
        if (ok) {
            cancelled.push_back(id);
        }
    }
    // A job that ignores SIGTERM ends after Slurm's KillWait.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCancelWaitMs);
    while (!cancelled.empty() && std::chrono::steady_clock::now() < deadline) {
        std::map<std::string, SlurmJobInfo> states;
        std::string error;
        if (QueueStates(runCommand, cancelled, states, error) &&
            std::all_of(cancelled.begin(), cancelled.end(), [&](const std::string& id) {
                auto found = states.find(id);
                return found == states.end() || IsFinalState(found->second.state);
            })) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return AskSlurm(runCommand, all) + lines;
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
            // The list may have moved since the last poll: the row must still hold this job.
            std::string key;
            jobs::GetJobString(*m_Services.store, position, run::kRunKeyValue, jobs::kWholeValue,
                               key);
            return key == job.key ? &job : nullptr;
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
        m_Withdrawn.clear();
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
    job.stateSince = m_Services.now();
    job.eclPath = record.eclPath;
    job.logPath = JobLogPathFor(record.eclPath);
    job.ecl = record.ecl;
    job.submitTime = record.jobStartTime;
    jobs::GetJobString(store, position, jobs::kName, jobs::kWholeValue, job.name);
    jobs::GetJobString(store, position, jobs::kInput, jobs::kWholeValue, job.input);
    jobs::GetJobNumber(store, position, jobs::kTelecide, job.telecide);
    job.submission = SubmissionName(job.name, job.key);
    m_Services.log->Write((job.slurmId.empty()
                               ? "Looking for the Slurm job submitted as " + job.submission
                               : "Following Slurm job " + job.slurmId) +
                              " (" + job.name + "), handed over before Vantaq last ended",
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

bool ClusterRun::GoOn() {
    if (!m_Active || m_Cancelling) {
        return false;
    }
    m_Settings = ReadClusterSettings(*m_Services.store);
    m_NoMoreJobs = false;
    m_SubmitBlocked = false;
    SubmitJobs();
    return true;
}

int ClusterRun::NextPending() const {
    store::KeyStore& store = *m_Services.store;
    const int count = jobs::JobCount(store);
    // The pending jobs in order, each from the store's index: the ones on the cluster and the
    // ones waiting for them are passed over without reading the rest of the queue.
    for (int position = jobs::FindFirstPending(store, count); position >= 0;
         position = jobs::FindFirstPending(store, count, position + 1)) {
        std::string key;
        jobs::GetJobString(store, position, run::kRunKeyValue, jobs::kWholeValue, key);
        if (!key.empty() &&
            (std::any_of(m_Jobs.begin(), m_Jobs.end(),
                         [&](const ClusterJob& job) { return job.key == key; }) ||
             std::find(m_Withdrawn.begin(), m_Withdrawn.end(), key) != m_Withdrawn.end())) {
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
        if (!jobs::NoteMissingSource(store, position)) {
            jobs::SetJobLastError(store, position,
                                  "Source file cannot be read: " + job.ecl.m_SourcePath);
        }
    } else if (job.eclPath.empty()) {
        log.Write("  ERROR: Could not write the ECL file for the source \"" + job.ecl.m_SourcePath +
                      "\"",
                  kLogError);
    } else if (run::OutputClashes(store, *m_Services.settings, position, job.ecl, other, clash)) {
        // Another finished job's stream would be written over: this job is not handed over.
        log.Write("  ERROR: " + clash, kLogError);
        jobs::SetJobLastError(store, position, clash);
    } else if (job.key.empty()) {
        // Without its run key a submission whose answer is lost could not be found again.
        log.Write("  ERROR: The job " + job.name + " is not handed over: it has no run key",
                  kLogError);
        m_SubmitBlocked = true;
    } else if (!BuildJobDescription(store, position, m_Services.window->HasDeleteMpvKeyword(), text,
                                    error) ||
               !WriteDescriptionFile(DescriptionPathFor(job.eclPath), text, error)) {
        log.Write("  ERROR: Could not write the job description: " + error, kLogError);
    } else {
        job.logPath = JobLogPathFor(job.eclPath);
        job.submission = SubmissionName(job.name, job.key);
        job.resources = ResourceArguments(store, position, m_Settings);
        job.stateSince = job.submitTime;
        jobs::ClearJobError(store, position);
        std::remove(ResultPathFor(DescriptionPathFor(job.eclPath)).c_str());
        // Earlier submissions' lines stay in the log; this one's begin at its mark.
        AppendLine(job.logPath, std::string(kSubmissionMark) + job.submission);
        // Kept before sbatch runs: a later start looks for the submission by its name.
        if (!SaveSlurmId(job)) {
            m_SubmitBlocked = true;
            SetStatus(job, jobs::kStatusPending);
            return true;
        }
        if (Hand(job)) {
            return true;
        }
        log.Write("  ERROR: sbatch could not be started for the job " + job.name, kLogError);
        m_SubmitBlocked = true;
        SetStatus(job, jobs::kStatusPending);
        return true;
    }
    // Nothing could be handed over for this job: it has failed, the others go on.
    SetStatus(job, jobs::kStatusError);
    log.Write("Job: complete in " + std::to_string(m_Services.now() - job.submitTime) + " seconds",
              kLogInfo);
    return m_SubmitBlocked;
}

bool ClusterRun::Hand(const ClusterJob& job) {
    std::string folder = env::FolderOf(m_Services.programPath);
    // Appending: Slurm's own late lines, earlier submissions' lines and the window's line about
    // the job's end must not write over each other.
    std::vector<std::string> argv = {"sbatch",
                                     "--parsable",
                                     "-J",
                                     job.submission,
                                     "-o",
                                     SlurmOutputPattern(job.logPath),
                                     "--open-mode=append"};
    argv.insert(argv.end(), job.resources.begin(), job.resources.end());
    argv.insert(argv.end(), {folder + "/" + kTrampoline, folder + "/" + kJobProgram,
                             DescriptionPathFor(job.eclPath)});
    CommandRunner runCommand = m_Services.runCommand;
    std::string submission = job.submission;
    m_Submitting = m_Calls.Call(
        [runCommand, argv, submission] { return SubmitOnce(runCommand, argv, submission); },
        [this, job](std::string& answer) { Submitted(job, answer); });
    return m_Submitting;
}

bool ClusterRun::SaveSlurmId(ClusterJob& job) {
    int position = CurrentPosition(job);
    if (position < 0) {
        return true; // deleted meanwhile: nothing to keep it in
    }
    run::RunRecord record;
    record.key = job.key;
    record.where = run::RunWhere::kSlurm;
    record.slurmId = job.slurmId;
    record.eclPath = job.eclPath;
    record.ecl = job.ecl;
    record.jobStartTime = job.submitTime;
    record.processStartTime = job.submitTime;
    if (!run::SaveRunRecord(*m_Services.store, position, record)) {
        jobs::LogStoreFailure(*m_Services.log, "keep the Slurm job's id", *m_Services.store);
        return false;
    }
    return true;
}

void ClusterRun::Submitted(ClusterJob job, const std::string& answer) {
    m_Submitting = false;
    logging::Log& log = *m_Services.log;
    size_t tab = answer.find('\t');
    std::string kind = answer.substr(0, tab);
    std::string value = tab == std::string::npos ? std::string() : answer.substr(tab + 1);
    if (kind == "refused") {
        log.Write("  ERROR: sbatch did not take the job " + job.name + ": " +
                      (value.empty() ? "no answer" : value),
                  kLogError);
        m_SubmitBlocked = true;
        // Not handed over (Slurm has no job of its name): it stays pending for the next Start.
        SetStatus(job, jobs::kStatusPending);
        EndIfDone();
        return;
    }
    if (kind == "submitted" || kind == "found") {
        job.slurmId = value;
        log.Write(kind == "submitted" ? "  Submitted to Slurm as job " + job.slurmId
                                      : "  Found Slurm job " + job.slurmId + ", submitted as " +
                                            job.submission + " before its answer was lost",
                  kLogInfo);
        SaveSlurmId(job);
    } else {
        // The job may have reached Slurm: it is looked for by its name at each poll.
        log.Write("  WARNING: sbatch gave no answer for the job " + job.name + " (" + value +
                      "); it is looked for in Slurm as " + job.submission,
                  kLogWarning);
    }
    m_Jobs.push_back(job);
    if (m_Owner.State().m_StopRequested) {
        // Stop came while sbatch was answering: this one is cancelled with the rest.
        Stop(false);
        return;
    }
    SubmitJobs();
}

void ClusterRun::Found(ClusterJob& job, const std::string& how, const std::string& value) {
    logging::Log& log = *m_Services.log;
    if (how == "found") {
        job.slurmId = value;
        job.unknownPolls = 0;
        log.Write("  Found Slurm job " + job.slurmId + " (" + job.name + "), submitted as " +
                      job.submission,
                  kLogInfo);
        SaveSlurmId(job);
        return;
    }
    if (how != "none" || ++job.unknownPolls < kUnknownPollsBeforeError) {
        return; // no answer: nothing is concluded
    }
    log.Write("  Slurm has no job submitted as " + job.submission + ": the job " + job.name +
                  " was not handed over and goes back to \"Pending\"",
              kLogWarning);
    ClusterJob done = job;
    Forget(done);
    SetStatus(done, jobs::kStatusPending);
}

void ClusterRun::Forget(const ClusterJob& job) {
    for (auto it = m_Jobs.begin(); it != m_Jobs.end(); ++it) {
        if (it->key == job.key && it->submission == job.submission) {
            m_Jobs.erase(it);
            return;
        }
    }
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
    std::vector<std::string> names;
    for (const ClusterJob& job : m_Jobs) {
        (job.slurmId.empty() ? names : ids)
            .push_back(job.slurmId.empty() ? job.submission : job.slurmId);
    }
    if (ids.empty() && names.empty()) {
        ApplyPoll("ok\n");
        return;
    }
    CommandRunner runCommand = m_Services.runCommand;
    m_Polling = m_Calls.Call([runCommand, ids, names] { return AskSlurm(runCommand, ids, names); },
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
    std::map<std::string, std::pair<std::string, std::string>> lookups;
    if (!ReadAnswer(answer, infos, asked, error, &lookups)) {
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
    for (const auto& [submission, found] : lookups) {
        for (ClusterJob& job : m_Jobs) {
            if (job.slurmId.empty() && job.submission == submission) {
                Found(job, found.first, found.second);
                break;
            }
        }
    }
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
        job.stateSince = m_Services.now();
        job.warning.clear();
        changed = true;
    }
    job.node = info.node;
    job.exitCode = info.exitCode;
    job.runTime = info.runTime;
    if (!IsFinalState(info.state)) {
        WarnIfStuck(job, info);
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

void ClusterRun::WarnIfStuck(ClusterJob& job, const SlurmJobInfo& info) {
    // Slurm holds a job in COMPLETING until its node confirms the end; a node that does not
    // answer holds it there, or keeps a job from starting, without end.
    bool held = info.state == "COMPLETING" || job.reason.find("NodeDown") != std::string::npos ||
                job.reason.find("NotResponding") != std::string::npos;
    if (!held || !job.warning.empty() || m_Services.now() - job.stateSince <= kOutageSeconds) {
        return;
    }
    job.warning = "Slurm has held the job " + info.state + " for over a minute" +
                  (job.reason.empty() ? std::string() : " (" + job.reason + ")") +
                  (job.node.empty() ? std::string() : " on node " + job.node);
    m_Services.log->Write(
        "  WARNING: Slurm job " + job.slurmId + " (" + job.name + "): " + job.warning, kLogWarning);
    if (job.position >= 0) {
        m_Services.window->RefreshJobRow(job.position, jobs::kImageRunning);
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
    JobResult result;
    const bool reported = !job.eclPath.empty() &&
                          ReadJobResult(ResultPathFor(DescriptionPathFor(job.eclPath)), result);
    const char* status = jobs::kStatusError;
    std::string reason;
    if (info.state == "COMPLETED") {
        if (OutputsThere(job)) {
            status = jobs::kStatusComplete;
        } else {
            reason = "Slurm reports the job COMPLETED, but not all its outputs were written";
        }
    } else if (info.state == "CANCELLED" && job.cancelRequested) {
        // Stopped: it goes back to "Pending" unless it had ended whole before the cancel.
        log.Write("  Cancelled Slurm job " + job.slurmId + " (" + job.name + ")", kLogInfo);
        const bool whole = reported && result.status == jobs::kStatusComplete && OutputsThere(job);
        status = whole ? jobs::kStatusComplete : jobs::kStatusPending;
    } else {
        std::string line =
            "ERROR: Slurm ended job " + job.slurmId + " (" + job.name + ") as " + info.state;
        if (!info.reason.empty() && info.reason != "None") {
            line += ", reason " + info.reason;
        }
        if (!info.exitCode.empty()) {
            line += ", exit code " + info.exitCode;
        }
        log.Write("  " + line, kLogError);
        if (!job.logPath.empty()) {
            AppendLine(job.logPath, line);
        }
        reason = line.substr(7);
    }
    // The node's own words say more than Slurm's state.
    if (reported && !result.reason.empty()) {
        reason = result.reason;
    }
    log.Write("  Slurm job " + job.slurmId + " (" + job.name + "): " + status, kLogInfo);
    ClusterJob done = job;
    Forget(done);
    if (CurrentPosition(done) >= 0) {
        store::KeyStore& store = *m_Services.store;
        std::string where = "job " + done.slurmId;
        where += info.node.empty() ? std::string() : " on " + info.node;
        where += ", " + info.state;
        where += info.exitCode.empty() ? std::string() : ", exit code " + info.exitCode;
        where += info.runTime.empty() ? std::string() : ", ran " + info.runTime;
        if (!jobs::SetJobString(store, done.position, kSlurmJobValue, where) ||
            (status == jobs::kStatusError && !reason.empty() &&
             !jobs::SetJobLastError(store, done.position, reason + " (Slurm " + where + ")"))) {
            jobs::LogStoreFailure(log, "keep how the Slurm job ended", store);
        }
    }
    SetStatus(done, status);
    if (status == jobs::kStatusPending && done.withdrawn && done.position >= 0) {
        // Its key keeps the job from being handed over again while the action waits.
        jobs::SetJobString(*m_Services.store, done.position, run::kRunKeyValue, done.key);
        m_Withdrawn.push_back(done.key);
        m_Services.log->Write("  The job " + done.name + " is off the cluster now", kLogInfo);
    }
    if (status != jobs::kStatusPending) {
        log.Write("Job: complete in " + std::to_string(m_Services.now() - done.submitTime) +
                      " seconds",
                  kLogInfo);
    }
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

bool ClusterRun::Withdraw(int position, const std::string& action, std::string& why) {
    if (!m_Active || JobAt(position) == nullptr) {
        return false;
    }
    ClusterJob& job = m_Jobs[JobAt(position) - m_Jobs.data()];
    std::string what =
        job.slurmId.empty() ? "submitted as " + job.submission : "job " + job.slurmId;
    why = "The job " + job.name + " is on the Slurm cluster (" + what + "); it can be " + action +
          " once Slurm has cancelled it and its row shows \"Pending\".";
    if (job.withdrawn || job.slurmId.empty()) {
        return true; // cancelled already, or not known to Slurm yet: the next poll tells
    }
    job.withdrawn = true;
    job.cancelRequested = true;
    CommandRunner runCommand = m_Services.runCommand;
    std::string id = job.slurmId;
    std::string key = job.key;
    m_Calls.Call(
        [runCommand, id] {
            std::string output;
            int status = -1;
            bool ok = runCommand({"scancel", id}, output, status) && status == 0;
            return std::string(ok ? "1" : "0") + FirstLine(output);
        },
        [this, key](std::string& answer) {
            for (ClusterJob& still : m_Jobs) {
                if (still.key != key) {
                    continue;
                }
                if (answer[0] == '1') {
                    m_Services.log->Write("  Cancelling Slurm job " + still.slurmId + " (" +
                                              still.name + ")",
                                          kLogInfo);
                } else {
                    still.withdrawn = false;
                    still.cancelRequested = false;
                    m_Services.log->Write(
                        "  ERROR: scancel did not cancel Slurm job " + still.slurmId + " (" +
                            still.name + "): " + answer.substr(1) + "; the job is still followed",
                        kLogError);
                }
            }
        });
    return true;
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
    std::vector<std::pair<std::string, std::string>> handed;
    for (const ClusterJob& job : m_Jobs) {
        handed.emplace_back(job.slurmId, job.submission);
    }
    CommandRunner runCommand = m_Services.runCommand;
    bool started = m_Calls.Call([runCommand, handed] { return CancelAll(runCommand, handed); },
                                [this](std::string& answer) { Cancelled(answer); });
    if (!started) {
        Cancelled("error\tno thread\n");
    }
}

void ClusterRun::Cancelled(const std::string& answer) {
    m_Cancelling = false;
    logging::Log& log = *m_Services.log;
    std::map<std::string, SlurmJobInfo> infos;
    std::vector<std::string> asked;
    std::string error;
    ReadAnswer(answer, infos, asked, error);
    struct Cancel {
        std::string id;
        bool ok = false;
        std::string words;
    };
    std::map<std::string, Cancel> cancels; // by submission name
    for (const std::string& line : SplitLines(answer)) {
        std::vector<std::string> f = SplitTabs(line);
        if (f.size() >= 5 && f[0] == "cancel") {
            cancels[f[1]] = Cancel{f[2], f[3] == "1", f[4]};
        }
    }
    std::vector<std::string> submissions;
    for (const ClusterJob& job : m_Jobs) {
        submissions.push_back(job.submission);
    }
    for (const std::string& submission : submissions) {
        auto job = std::find_if(m_Jobs.begin(), m_Jobs.end(),
                                [&](const ClusterJob& j) { return j.submission == submission; });
        if (job == m_Jobs.end()) {
            continue;
        }
        auto cancel = cancels.find(submission);
        const bool cancelAsked = cancel != cancels.end() && cancel->second.ok;
        if (cancel != cancels.end() && job->slurmId.empty() && !cancel->second.id.empty()) {
            job->slurmId = cancel->second.id;
            SaveSlurmId(*job);
        }
        job->cancelRequested = job->cancelRequested || cancelAsked;
        auto info = job->slurmId.empty() ? infos.end() : infos.find(job->slurmId);
        if (info != infos.end() && IsFinalState(info->second.state)) {
            // Cancelled, or ended on its own before the cancel reached it (keeping its result).
            Finish(*job, info->second);
            continue;
        }
        if (cancelAsked && job->slurmId.empty()) {
            log.Write("  The job " + job->name + " had not reached Slurm", kLogInfo);
            ClusterJob done = *job;
            Forget(done);
            SetStatus(done, jobs::kStatusPending);
            continue;
        }
        std::string what =
            job->slurmId.empty() ? "submitted as " + job->submission : "job " + job->slurmId;
        if (!cancelAsked) {
            log.Write("  ERROR: scancel did not cancel Slurm " + what + " (" + job->name + "): " +
                          (cancel == cancels.end() || cancel->second.words.empty()
                               ? error
                               : cancel->second.words) +
                          "; the job is still followed",
                      kLogError);
        } else {
            log.Write("  WARNING: Slurm " + what + " (" + job->name +
                          ") has not ended since its cancel; the job is still followed",
                      kLogWarning);
        }
    }
    if (m_Jobs.empty()) {
        EndRun(run::RunEnd::kStopped);
        return;
    }
    // What still runs is followed to its end; nothing more is handed over.
    m_NoMoreJobs = true;
    m_Services.window->RefreshJobList();
    ShowRunningRows();
    m_Services.queue->SetTimer(MY_TIMER_CLUSTER_POLL, m_PollDelay);
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
