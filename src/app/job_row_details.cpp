// The second line of a job in the job list.
#include "app/job_row_details.h"

#include "ecl/ecl_writer.h"
#include "env/settings.h"
#include "jobs/job_last_error.h"
#include "jobs/job_store.h"
#include "platform/files.h"
#include "pulldown/stream_report_file.h"
#include "run/run_progress.h"
#include "store/paths.h"
#include "templates/template_store.h"

namespace app {

namespace {

// ": REASON" with a failed job's stored reason (cut to fit a row), or "" without one.
std::string ErrorReason(const std::string& lastError) {
    constexpr size_t kRowReasonMax = 160;
    if (lastError.empty()) {
        return lastError;
    }
    if (lastError.size() > kRowReasonMax) {
        return ": " + lastError.substr(0, kRowReasonMax - 3) + "...";
    }
    return ": " + lastError;
}

} // namespace

std::string JobOutputStream(store::KeyStore& store, const env::Settings& settings, int position) {
    std::string base = ecl::JobOutputBase(store, settings, position);
    if (base.empty()) {
        return std::string();
    }
    int telecide = 0;
    jobs::GetJobNumber(store, position, jobs::kTelecide, telecide);
    std::string stream = ecl::ReplaceExtension(base, ".mpv");
    return telecide == 1 ? stream + ".m2v" : stream;
}

std::string JobStreamReport(store::KeyStore& store, const env::Settings& settings, int position) {
    std::string status;
    jobs::GetJobString(store, position, jobs::kStatus, jobs::kStatusSearchCapacity, status);
    std::string stream = JobOutputStream(store, settings, position);
    if (status != jobs::kStatusComplete || stream.empty()) {
        return std::string();
    }
    std::string report = pulldown::ReportPathFor(stream);
    platform::FileFacts facts;
    return platform::RegularFileFacts(report, facts) ? report : std::string();
}

std::string JobDetailsText(const std::string& status, const std::string& lastError,
                           const JobActivity& activity, const std::string& templateName,
                           const std::string& stream, bool dvdTarget, bool* missesDvd) {
    pulldown::DvdVerdict verdict;
    const bool judged = !activity.active && status == jobs::kStatusComplete && !stream.empty() &&
                        pulldown::ReadDvdVerdict(pulldown::ReportPathFor(stream), verdict);
    const bool missed = judged && dvdTarget && !verdict.compliant;
    if (missesDvd) {
        *missesDvd = missed;
    }
    std::string state;
    if (activity.active) {
        state = activity.label.empty() ? "Encoding" : activity.label;
        if (activity.percent >= 0) {
            state += " " + std::to_string(activity.percent) + "%";
        }
        if (activity.secondsLeft) {
            state += ", " + run::FormatDuration(*activity.secondsLeft) + " left";
        }
    } else {
        state = status;
        if (state == jobs::kStatusError) {
            state += ErrorReason(lastError);
        } else if (missed) {
            state += " \u2014 not DVD-Video" +
                     ErrorReason(verdict.reasons.empty() ? std::string() : verdict.reasons[0]);
        }
    }
    std::string line = state + "  |  " + (templateName.empty() ? "no template" : templateName) +
                       "  |  " + (stream.empty() ? "no output" : stream);
    if (judged) {
        line += std::string(kJobVerdictSeparator) + (verdict.compliant ? "yes" : "no");
    }
    return line;
}

std::string JobDetailsLine(store::KeyStore& store, const env::Settings& settings, int position,
                           const JobActivity& activity) {
    std::string status;
    std::string lastError;
    if (!activity.active) {
        jobs::GetJobString(store, position, jobs::kStatus, jobs::kStatusSearchCapacity, status);
        if (status == jobs::kStatusError) {
            lastError = jobs::GetJobLastError(store, position);
        }
    }
    std::string key;
    std::string templateName;
    if (jobs::GetJobString(store, position, jobs::kTemplate, jobs::kTemplateCapacity, key) &&
        !key.empty()) {
        // A template's display name is the default value of its sub-key.
        store.ReadString(store::kHive, std::string(store::kTemplatePath) + "\\" + key, "", 255,
                         templateName);
    }
    return JobDetailsText(status, lastError, activity, templateName,
                          JobOutputStream(store, settings, position),
                          templates::TemplateTargetsDvd(store, key));
}

int JobRowImage(store::KeyStore& store, const env::Settings& settings, int position) {
    int image = jobs::JobStatusImage(store, position);
    std::string key;
    if (image != jobs::kImageComplete ||
        !jobs::GetJobString(store, position, jobs::kTemplate, jobs::kTemplateCapacity, key) ||
        !templates::TemplateTargetsDvd(store, key)) {
        return image;
    }
    pulldown::DvdVerdict verdict;
    std::string stream = JobOutputStream(store, settings, position);
    return !stream.empty() && pulldown::ReadDvdVerdict(pulldown::ReportPathFor(stream), verdict) &&
                   !verdict.compliant
               ? jobs::kImageWarning
               : image;
}

} // namespace app
