// Reading sbatch, scontrol and sacct answers.
#include "cluster/slurm_query.h"

#include "platform/files.h"
#include "run/progress_line.h"

#include <algorithm>
#include <cctype>

namespace cluster {

namespace {

constexpr uint64_t kLogTailBytes = 16 * 1024;

// The first line of `output` split at "|" (sacct's parsable form).
std::vector<std::string> FirstParsableRow(const std::string& output) {
    std::vector<std::string> fields;
    std::string line = output.substr(0, output.find('\n'));
    size_t start = 0;
    while (true) {
        size_t bar = line.find('|', start);
        fields.push_back(line.substr(start, bar == std::string::npos ? bar : bar - start));
        if (bar == std::string::npos) {
            break;
        }
        start = bar + 1;
    }
    return fields;
}

// `sacct` rows "State|ExitCode|NodeList|Elapsed[|Reason]".
bool FromAccounting(const CommandRunner& run, std::vector<std::string> argv, SlurmJobInfo& info) {
    std::string output;
    int status = 0;
    if (!run(argv, output, status) || status != 0) {
        return false;
    }
    std::vector<std::string> row = FirstParsableRow(output);
    if (row.size() < 2 || row[0].empty()) {
        return false;
    }
    // "CANCELLED by 0": the state is the first word.
    info.state = row[0].substr(0, row[0].find(' '));
    info.exitCode = row[1];
    info.node = row.size() > 2 && row[2] != "None assigned" ? row[2] : std::string();
    info.runTime = row.size() > 3 ? row[3] : std::string();
    info.reason = row.size() > 4 ? row[4] : std::string();
    return true;
}

std::vector<std::string> Lines(const std::string& output) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        lines.push_back(output.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

// The newest job id among `rows` of "ID|NAME..." whose name is `name`; empty for none.
std::string NewestNamed(const std::string& output, const std::string& name) {
    std::string newest;
    for (const std::string& line : Lines(output)) {
        std::vector<std::string> row = FirstParsableRow(line);
        if (row.size() >= 2 && row[1] == name && !row[0].empty() &&
            (newest.size() < row[0].size() ||
             (newest.size() == row[0].size() && newest < row[0]))) {
            newest = row[0];
        }
    }
    return newest;
}

} // namespace

bool IsFinalState(const std::string& state) {
    static const char* const kFinal[] = {"COMPLETED",     "FAILED",    "CANCELLED",
                                         "TIMEOUT",       "NODE_FAIL", "PREEMPTED",
                                         "OUT_OF_MEMORY", "BOOT_FAIL", "DEADLINE"};
    return std::find(std::begin(kFinal), std::end(kFinal), state) != std::end(kFinal);
}

std::string ParseSubmittedId(const std::string& output) {
    size_t start = output.find_first_not_of(" \t\r\n");
    if (start == std::string::npos) {
        return std::string();
    }
    size_t end = start;
    while (end < output.size() && std::isdigit(static_cast<unsigned char>(output[end]))) {
        ++end;
    }
    bool whole =
        end == output.size() || output[end] == ';' || output[end] == '\n' || output[end] == '\r';
    return end > start && whole ? output.substr(start, end - start) : std::string();
}

std::string SlurmOutputPattern(const std::string& path) {
    const char special = path.find('\\') == std::string::npos ? '%' : '\\';
    std::string pattern;
    for (char c : path) {
        if (c == special) {
            pattern += c;
        }
        pattern += c;
    }
    return pattern;
}

std::string SlurmJobName(const std::string& name) {
    std::string safe = name;
    for (char& c : safe) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') {
            c = '_';
        }
    }
    return safe;
}

std::string FieldOf(const std::string& line, const std::string& key) {
    std::string needle = key + "=";
    size_t at = 0;
    while ((at = line.find(needle, at)) != std::string::npos) {
        if (at == 0 || line[at - 1] == ' ') {
            size_t begin = at + needle.size();
            size_t end = line.find_first_of(" \n", begin);
            return line.substr(begin, end == std::string::npos ? end : end - begin);
        }
        at += needle.size();
    }
    return std::string();
}

bool QueryJob(const CommandRunner& run, const std::string& id, SlurmJobInfo& info) {
    std::string output;
    int status = 0;
    if (run({"scontrol", "-o", "show", "job", id}, output, status) && status == 0) {
        info.state = FieldOf(output, "JobState");
        info.reason = FieldOf(output, "Reason");
        info.exitCode = FieldOf(output, "ExitCode");
        info.node = FieldOf(output, "BatchHost");
        info.runTime = FieldOf(output, "RunTime");
        if (!info.state.empty()) {
            return true;
        }
    }
    return FromAccounting(run,
                          {"sacct", "-n", "-P", "-X", "-o",
                           "State,ExitCode,NodeList,Elapsed,Reason", "-j", id},
                          info) ||
           FromAccounting(
               run, {"sacct", "-c", "-n", "-P", "-o", "State,ExitCode,NodeList,Elapsed", "-j", id},
               info);
}

bool QueueStates(const CommandRunner& run, const std::vector<std::string>& ids,
                 std::map<std::string, SlurmJobInfo>& states, std::string& error) {
    std::string list;
    for (const std::string& id : ids) {
        list += (list.empty() ? "" : ",") + id;
    }
    std::string output;
    int status = 0;
    bool ran = run({"squeue", "-h", "-t", "all", "-j", list, "-o", "%i|%T|%r|%N"}, output, status);
    // A single job that squeue has forgotten is an answer too (with nothing listed).
    if (ran && status != 0 && output.find("Invalid job id") != std::string::npos) {
        return true;
    }
    if (!ran || status != 0) {
        error = output.substr(0, output.find('\n'));
        return false;
    }
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        std::vector<std::string> row =
            FirstParsableRow(output.substr(start, end == std::string::npos ? end : end - start));
        if (row.size() >= 3 && !row[0].empty() && !row[1].empty()) {
            states[row[0]] = SlurmJobInfo{row[1], row[2], std::string(),
                                          row.size() > 3 ? row[3] : std::string(), std::string()};
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return true;
}

std::string SubmissionName(const std::string& name, const std::string& key) {
    return SlurmJobName(name + ".vq-" + key);
}

Lookup FindSubmission(const CommandRunner& run, const std::string& submissionName, std::string& id,
                      std::string& error) {
    std::string output;
    int status = 0;
    if (!run({"squeue", "-h", "-t", "all", "--name=" + submissionName, "-o", "%i|%j"}, output,
             status) ||
        status != 0) {
        error = output.substr(0, output.find('\n'));
        return Lookup::kNoAnswer;
    }
    id = NewestNamed(output, submissionName);
    // A job the controller has forgotten: the accounting, then the completion log (which
    // filters by nothing but the id, so the names are compared here).
    if (id.empty() &&
        run({"sacct", "-n", "-P", "-X", "--name=" + submissionName, "-o", "JobID,JobName"}, output,
            status) &&
        status == 0) {
        id = NewestNamed(output, submissionName);
    }
    if (id.empty() && run({"sacct", "-c", "-n", "-P", "-o", "JobID,JobName"}, output, status) &&
        status == 0) {
        id = NewestNamed(output, submissionName);
    }
    return id.empty() ? Lookup::kNone : Lookup::kFound;
}

int ProgressFromLog(const std::string& logPath) {
    platform::ReadOnlyFile file;
    if (!file.Open(logPath) || file.Size() == 0) {
        return -1;
    }
    uint64_t size = std::min(file.Size(), kLogTailBytes);
    std::string tail;
    if (!file.ReadAt(file.Size() - size, size, tail)) {
        return -1;
    }
    size_t end = tail.size();
    while (end > 0) {
        size_t start = tail.rfind('\n', end - 1);
        size_t from = start == std::string::npos ? 0 : start + 1;
        std::string_view line(tail.data() + from, end - from);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        int percent = run::ParseProgressLine(line);
        if (percent >= 0) {
            return percent;
        }
        if (line.rfind(kSubmissionMark, 0) == 0) {
            break; // an earlier submission's lines
        }
        if (start == std::string::npos) {
            break;
        }
        end = start;
    }
    return -1;
}

} // namespace cluster
