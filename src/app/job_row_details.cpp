// The second line of a job in the job list.
#include "app/job_row_details.h"

#include "ecl/ecl_writer.h"
#include "env/settings.h"
#include "jobs/job_errors.h"
#include "jobs/job_store.h"
#include "run/run_progress.h"
#include "store/paths.h"

namespace app {

std::string JobOutputStream(store::KeyStore& store, const env::Settings& settings, int position) {
    std::string input;
    jobs::GetJobString(store, position, jobs::kInput, jobs::kWholeValue, input);
    if (input.empty() || input[0] != '/') {
        return std::string();
    }
    int telecide = 0;
    jobs::GetJobNumber(store, position, jobs::kTelecide, telecide);
    std::string stream = ecl::ReplaceExtension(ecl::OutputBase(settings, input), ".mpv");
    return telecide == 1 ? stream + ".m2v" : stream;
}

std::string JobDetailsLine(store::KeyStore& store, const env::Settings& settings, int position,
                           const JobActivity& activity) {
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
        jobs::GetJobString(store, position, jobs::kStatus, jobs::kStatusSearchCapacity, state);
        // A failed job says why: the first error of its run.
        std::string error = state == jobs::kStatusError ? jobs::JobError(store, position) : "";
        if (!error.empty()) {
            state += ": " + error;
        }
    }
    std::string key;
    std::string templateName;
    jobs::GetJobString(store, position, jobs::kTemplate, jobs::kTemplateCapacity, key);
    if (!key.empty()) {
        // A template's display name is the default value of its sub-key.
        store.ReadString(store::kHive, std::string(store::kTemplatePath) + "\\" + key, "", 255,
                         templateName);
    }
    if (templateName.empty()) {
        templateName = "no template";
    }
    std::string stream = JobOutputStream(store, settings, position);
    return state + "  |  " + templateName + "  |  " + (stream.empty() ? "no output" : stream);
}

} // namespace app
