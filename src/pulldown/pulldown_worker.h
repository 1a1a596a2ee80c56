// Pulldown runs on worker threads that report to the window through the UI queue's pulldown
// messages: lines sent (the worker waits until the window has taken each), the source's picture
// count, progress and the end posted.
#pragma once

#include "platform/ui_queue.h"
#include "pulldown/pulldown.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pulldown {

// The option set of every run the window starts: 2:3 pulldown to 29.97 with new time codes and
// the drop-frame flag set.
PulldownOptions WindowRunOptions();

class PulldownWorkers {
public:
    explicit PulldownWorkers(platform::UiQueue& queue);
    // Waits for runs still going; the UI queue must still deliver their lines meanwhile, so
    // call WaitWhileRunning from the UI thread's loop before destroying this on shutdown.
    ~PulldownWorkers();
    PulldownWorkers(const PulldownWorkers&) = delete;
    PulldownWorkers& operator=(const PulldownWorkers&) = delete;

    // Starts a run from `source` to `target` at once; the worker owns the processor. UI thread.
    void Start(const std::string& source, const std::string& target,
               const PulldownOptions& options = WindowRunOptions());
    // Runs in progress.
    int Running() const { return m_Running.load(); }

private:
    platform::UiQueue& m_Queue;
    uint32_t m_Line;
    uint32_t m_Update;
    uint32_t m_Finished;
    std::atomic<int> m_Running{0};
    std::vector<std::thread> m_Threads;
};

} // namespace pulldown
