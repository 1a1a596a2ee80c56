// Work that must not hold up the window's thread (commands that may take seconds to answer):
// each call runs on a thread of its own and its answer comes back on the window's thread,
// through the UI queue, to the function given with it.
#pragma once

#include "platform/ui_queue.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace platform {

inline constexpr const char* kUpmBackgroundDoneName =
    "UPM_BACKGROUND_DONE-{5B0E7A52-3C1D-4E8B-9A57-2F3A1C6D9E40}";

class BackgroundCalls {
public:
    explicit BackgroundCalls(UiQueue& queue);
    // Answers that arrive after this are dropped by their threads.
    ~BackgroundCalls();
    BackgroundCalls(const BackgroundCalls&) = delete;
    BackgroundCalls& operator=(const BackgroundCalls&) = delete;

    // Runs `work` on a new thread; `done` gets its answer on the UI thread, unless Forget was
    // called first. `work` must not touch anything the UI thread uses (it gets copies). False
    // when no thread could be started: `done` is then never called. UI thread.
    bool Call(std::function<std::string()> work, std::function<void(std::string&)> done);

    // The queue's message with an answer of this object: calls its `done`. False for any other
    // message, and for an answer of another object or one forgotten.
    bool OnMessage(Message& message);

    // Answers still to come.
    size_t Pending() const { return m_Done.size(); }
    // Drops every answer still to come (their threads end on their own).
    void Forget() { m_Done.clear(); }

private:
    struct Link; // the queue while this object lives, shared with the threads
    std::shared_ptr<Link> m_Link;
    uint32_t m_Message;
    std::map<uint64_t, std::function<void(std::string&)>> m_Done;
};

} // namespace platform
