// Background calls: a thread per call, the answer posted back as the message's text.
#include "platform/background_calls.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace platform {

struct BackgroundCalls::Link {
    std::mutex mutex;
    UiQueue* queue = nullptr;
};

BackgroundCalls::BackgroundCalls(UiQueue& queue)
    : m_Link(std::make_shared<Link>()), m_Message(queue.RegisterMessage(kUpmBackgroundDoneName)) {
    m_Link->queue = &queue;
}

BackgroundCalls::~BackgroundCalls() {
    std::lock_guard<std::mutex> hold(m_Link->mutex);
    m_Link->queue = nullptr;
}

bool BackgroundCalls::Call(std::function<std::string()> work,
                           std::function<void(std::string&)> done) {
    // Numbers unique across every caller of the program, which share the one message.
    static std::atomic<uint64_t> next{1};
    uint64_t id = next++;
    uint32_t message = m_Message;
    try {
        std::thread([link = m_Link, message, id, work = std::move(work)] {
            auto answer = std::make_unique<std::string>(work());
            std::lock_guard<std::mutex> hold(link->mutex);
            if (link->queue != nullptr) {
                link->queue->Post(UiQueue::Make(message, id, 0, std::move(answer)));
            }
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    m_Done.emplace(id, std::move(done));
    return true;
}

bool BackgroundCalls::OnMessage(Message& message) {
    if (message.message != m_Message) {
        return false;
    }
    auto found = m_Done.find(message.wparam);
    if (found == m_Done.end()) {
        return false; // another caller's, or one forgotten
    }
    std::function<void(std::string&)> done = std::move(found->second);
    m_Done.erase(found);
    std::string answer = message.text ? std::move(*message.text) : std::string();
    done(answer);
    return true;
}

} // namespace platform
