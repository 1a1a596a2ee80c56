#include "run/system_services.h"

#include "ecl/ecl_writer.h"
#include "env/startup_checks.h"
#include "pulldown/pulldown_worker.h"

#include <ctime>

namespace run {

void UseSystemServices(RunServices& services, const std::string& programPath,
                       pulldown::PulldownWorkers& pulldowns) {
    std::string programDir = env::FolderOf(programPath);
    services.programPath = programPath;
    services.inspect = [programDir](const std::string& path) {
        return ecl::ReadSourceFacts(path, programDir);
    };
    services.startPulldown = [&pulldowns](const std::string& source, const std::string& target) {
        pulldowns.Start(source, target);
    };
    services.now = [] { return static_cast<int64_t>(std::time(nullptr)); };
    services.cceVersion = [programPath] { return env::GetCceVersion(programPath); };
}

} // namespace run
