// The job list's rows from pages of the job store.
#include "app/job_list_source.h"

#include "ecl/ecl_writer.h"
#include "env/settings.h"
#include "jobs/job_store.h"
#include "run/run_progress.h"
#include "store/key_store.h"
#include "store/paths.h"
#include "templates/template_store.h"

#include <map>

namespace app {

JobListSource::JobListSource(store::KeyStore& store, const env::Settings& settings,
                             std::function<JobActivity(int position)> activity)
    : m_Store(store), m_Settings(settings), m_Activity(std::move(activity)) {}

int JobListSource::CountRows() {
    return jobs::JobCount(m_Store);
}

void JobListSource::ReadRows(int first, int count, std::vector<platform::ListRow>& rows) {
    rows.clear();
    std::map<std::string, std::string> templateNames;
    std::map<std::string, bool> dvdTargets;
    for (jobs::JobRow& job : jobs::ReadJobPage(m_Store, first, count)) {
        auto found = templateNames.find(job.templateKey);
        if (found == templateNames.end()) {
            std::string name;
            if (!job.templateKey.empty()) {
                // A template's display name is the default value of its sub-key.
                m_Store.ReadString(store::kHive,
                                   std::string(store::kTemplatePath) + "\\" + job.templateKey, "",
                                   255, name);
            }
            found =
                templateNames.emplace(job.templateKey, name.empty() ? "no template" : name).first;
        }
        JobActivity activity = m_Activity ? m_Activity(job.position) : JobActivity();
        std::string stream;
        if (!job.input.empty() && job.input[0] == '/') {
            stream = ecl::ReplaceExtension(ecl::OutputBase(m_Settings, job.input, job.outputNumber),
                                           ".mpv");
            if (job.telecide == 1) {
                stream += ".m2v";
            }
        }
        auto dvd = dvdTargets.find(job.templateKey);
        if (dvd == dvdTargets.end()) {
            dvd = dvdTargets
                      .emplace(job.templateKey,
                               templates::TemplateTargetsDvd(m_Store, job.templateKey))
                      .first;
        }
        bool missesDvd = false;
        std::string details = JobDetailsText(job.status, job.lastError, activity, found->second,
                                             stream, dvd->second, &missesDvd);
        rows.push_back(platform::ListRow{
            std::move(job.name), missesDvd ? jobs::kImageWarning : job.image, std::move(details)});
    }
}

} // namespace app
