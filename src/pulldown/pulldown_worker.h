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

// The name a pass writes under before its result is whole: `target` + ".part".
std::string WorkingTargetOf(const std::string& target);

// The file the processor of a pass from `source` to `target` writes: the working name, or
// `target` itself when it is the source (which the processor then refuses).
std::string PassTargetOf(const std::string& source, const std::string& target);

// The callbacks of a pass that writes `target` under its working name (the processor is made
// with that name as its target): a whole result is renamed to `target` before `OnFinished`
// reports it; on any failure the working file is removed and an older `target` stays as it
// was. A failed rename reports "Unable to write to output file" (code 4). The "TARGET =" line
// names `target`. A target that is the source keeps `callbacks` as they are (the processor
// refuses it).
PulldownCallbacks PublishWholeTarget(const std::string& source, const std::string& target,
                                     PulldownCallbacks callbacks);

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
