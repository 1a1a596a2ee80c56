// Worker threads for pulldown runs.
#include "pulldown/pulldown_worker.h"

#include "platform/message_registry.h"
#include "pulldown/picture_count.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace pulldown {

PulldownOptions WindowRunOptions() {
    PulldownOptions options;
    options.m_DropFrame = 1;
    return options;
}

namespace {

// A target that is the source is refused by the processor itself; it must see it so.
bool TargetIsSource(const std::string& source, const std::string& target) {
    std::error_code ec;
    return std::filesystem::equivalent(source, target, ec) && !ec;
}

} // namespace

std::string WorkingTargetOf(const std::string& target) {
    return target + ".part";
}

std::string PassTargetOf(const std::string& source, const std::string& target) {
    return TargetIsSource(source, target) ? target : WorkingTargetOf(target);
}

PulldownCallbacks PublishWholeTarget(const std::string& source, const std::string& target,
                                     PulldownCallbacks callbacks) {
    if (TargetIsSource(source, target)) {
        return callbacks;
    }
    const std::string working = WorkingTargetOf(target);
    PulldownCallbacks wrapped;
    wrapped.OnUpdate = std::move(callbacks.OnUpdate);
    auto onLine =
        std::make_shared<std::function<void(const std::string&, int)>>(std::move(callbacks.OnLine));
    wrapped.OnLine = [onLine, working, target](const std::string& line, int level) {
        if (*onLine) {
            // The log names the file the user gets.
            (*onLine)(line == "  TARGET = " + working ? "  TARGET = " + target : line, level);
        }
    };
    wrapped.OnFinished = [onLine, working, target,
                          finished = std::move(callbacks.OnFinished)](int code) {
        if (code == kPulldownOk && std::rename(working.c_str(), target.c_str()) != 0) {
            if (*onLine) {
                (*onLine)("ERROR: Unable to write to output file. (pulldown)", kPulldownLogError);
            }
            code = kPulldownOpenOutputFailed;
        }
        if (code != kPulldownOk) {
            ::unlink(working.c_str());
        }
        if (finished) {
            finished(code);
        }
    };
    return wrapped;
}

PulldownWorkers::PulldownWorkers(platform::UiQueue& queue)
    : m_Queue(queue), m_Line(queue.RegisterMessage(platform::kUpmPulldownLineName)),
      m_Update(queue.RegisterMessage(platform::kUpmPulldownUpdateName)),
      m_Finished(queue.RegisterMessage(platform::kUpmPulldownFinishedName)) {}

PulldownWorkers::~PulldownWorkers() {
    for (std::thread& t : m_Threads) {
        if (t.joinable()) {
            t.join();
        }
    }
}

void PulldownWorkers::Start(const std::string& source, const std::string& target,
                            const PulldownOptions& options) {
    // Threads of finished runs are collected here, on the UI thread.
    for (auto it = m_Threads.begin(); it != m_Threads.end();) {
        if (m_Running.load() == 0 && it->joinable()) {
            it->join();
            it = m_Threads.erase(it);
        } else {
            ++it;
        }
    }
    ++m_Running;
    m_Threads.emplace_back([this, source, target, options] {
        PulldownCallbacks callbacks;
        callbacks.OnLine = [this](const std::string& line, int level) {
            m_Queue.Send(
                platform::UiQueue::Make(m_Line, 0, level, std::make_unique<std::string>(line)));
        };
        callbacks.OnUpdate = [this](int64_t pictures) {
            m_Queue.Post(platform::UiQueue::Make(m_Update, 0, pictures));
        };
        callbacks.OnFinished = [this](int code) {
            --m_Running;
            m_Queue.Post(platform::UiQueue::Make(m_Finished, static_cast<uint64_t>(code), 0));
        };
        // The pass's end first, so that its progress can be shown against it.
        int64_t total = CountPictures(source);
        if (total > 0) {
            m_Queue.Post(platform::UiQueue::Make(m_Update, platform::kPulldownUpdateTotal, total));
        }
        auto processor = std::make_unique<PulldownProcessor>(
            source, PassTargetOf(source, target), options,
            PublishWholeTarget(source, target, std::move(callbacks)));
        processor->Run();
    });
}

} // namespace pulldown
