// The job's result file: its status on the first line, the failure's reason on the second.
#include "cluster/job_result.h"

#include "cluster/job_description.h"
#include "platform/files.h"

#include <algorithm>

namespace cluster {

namespace {

constexpr uint64_t kLongestResult = 8 * 1024;

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

} // namespace

std::string ResultPathFor(const std::string& descriptionPath) {
    const std::string reg = ".reg";
    std::string base = descriptionPath;
    if (base.size() >= reg.size() && base.compare(base.size() - reg.size(), reg.size(), reg) == 0) {
        base.resize(base.size() - reg.size());
    }
    return base + ".result";
}

bool WriteJobResult(const std::string& path, const JobResult& result, std::string& error) {
    return WriteDescriptionFile(path, OneLine(result.status) + "\n" + OneLine(result.reason) + "\n",
                                error);
}

bool ReadJobResult(const std::string& path, JobResult& result) {
    platform::ReadOnlyFile file;
    std::string text;
    if (!file.Open(path) || !file.ReadAt(0, std::min(file.Size(), kLongestResult), text)) {
        return false;
    }
    size_t end = text.find('\n');
    if (end == std::string::npos || end == 0) {
        return false;
    }
    result.status = text.substr(0, end);
    size_t next = text.find('\n', end + 1);
    result.reason = text.substr(end + 1, next == std::string::npos ? next : next - end - 1);
    return true;
}

} // namespace cluster
