// The run's services that come from the system, as the program and vantaq-job use them.
#pragma once

#include "run/run_controller.h"

#include <string>

namespace pulldown {
class PulldownWorkers;
}

namespace run {

// Sets, for the program at `programPath`: the program path, the source reader with the
// frame-server module of its folder, pulldown passes on `pulldowns`, the system clock and the
// installed encoder's version. `pulldowns` must outlive the services.
void UseSystemServices(RunServices& services, const std::string& programPath,
                       pulldown::PulldownWorkers& pulldowns);

} // namespace run
