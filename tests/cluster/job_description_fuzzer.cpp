// libFuzzer target: a cluster job description as a node reads it, then the job's control list
// written from it for each encoder release, as the node's run does.
#include "cluster/job_description.h"
#include "ecl/ecl_writer.h"
#include "env/settings.h"
#include "jobs/job_store.h"
#include "support/fuzz_support.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = fuzz_support::WriteInput("job.reg", data, size);
    store::KeyStore store;
    fuzz_support::Check(store.Open(":memory:"), "a store in memory opens");
    std::string error;
    if (!cluster::LoadJobDescription(path, store, error)) {
        fuzz_support::Check(!error.empty(), "a refused description has a reason");
        return 0;
    }
    if (jobs::JobCount(store) != 1) {
        return 0;
    }
    fuzz_support::NullLogView view;
    logging::Log log(view, std::string());
    env::Settings settings;
    env::LoadSettingsAtStartup(store, log, settings);
    // The outputs stay in the scratch folder, whatever the description names.
    settings.m_OutputSameDir = true;
    settings.m_OutputDirectory.clear();
    jobs::SetJobString(store, 0, jobs::kInput, fuzz_support::ScratchDir() + "/job.avi");
    jobs::JobRecord record;
    fuzz_support::Check(jobs::ReadJobRecord(store, 0, record), "the one job reads");
    ecl::SourceFacts facts{true, 720, 480, 30000, 1001, 1500};
    for (int code = 1; code <= 5; ++code) {
        ecl::EclState state;
        std::string written = ecl::WriteEcl(
            store, 0, code, settings, [&](const std::string&) { return facts; }, state);
        fuzz_support::Check(written.empty() || written.rfind(fuzz_support::ScratchDir(), 0) == 0,
                            "the control list lands in the scratch folder");
    }
    return 0;
}
