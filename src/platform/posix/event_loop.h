// A UI queue without a window system: the calling thread runs the loop, other threads post to
// it, and one-shot timers run on the system's steady clock. For programs without a window
// (vantaq-job) that drive the same logic as the window does.
#pragma once

#include "platform/ui_queue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace platform {

class EventLoop : public UiQueue {
public:
    // The thread that constructs the loop is its UI thread.
    EventLoop();

    void SetHandler(MessageHandler* handler) override;
    void Post(Message message) override;
    int64_t Send(Message message) override;
    void SetTimer(int timerId, uint32_t milliseconds) override;
    bool KillTimer(int timerId) override;

    // Delivers messages and fires timers as they come due until `done` returns true (checked
    // after each step). UI thread.
    void RunUntil(const std::function<bool()>& done);

private:
    using Clock = std::chrono::steady_clock;
    struct Item {
        Message message;
        bool sent = false;
        int64_t result = 0;
        bool handled = false;
    };

    std::thread::id m_UiThread;
    MessageHandler* m_Handler = nullptr;
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::deque<std::shared_ptr<Item>> m_Items;
    std::map<int, Clock::time_point> m_Timers; // UI thread only
};

} // namespace platform
