// The event loop: a locked message list, a condition to wait on, timers by due time.
#include "platform/posix/event_loop.h"

namespace platform {

EventLoop::EventLoop() : m_UiThread(std::this_thread::get_id()) {}

void EventLoop::SetHandler(MessageHandler* handler) {
    m_Handler = handler;
}

void EventLoop::Post(Message message) {
    auto item = std::make_shared<Item>();
    item->message = std::move(message);
    {
        std::lock_guard<std::mutex> hold(m_Mutex);
        m_Items.push_back(std::move(item));
    }
    m_Changed.notify_all();
}

int64_t EventLoop::Send(Message message) {
    if (std::this_thread::get_id() == m_UiThread) {
        return m_Handler ? m_Handler->OnMessage(message) : 0;
    }
    auto item = std::make_shared<Item>();
    item->message = std::move(message);
    item->sent = true;
    std::unique_lock<std::mutex> hold(m_Mutex);
    m_Items.push_back(item);
    m_Changed.notify_all();
    m_Changed.wait(hold, [&] { return item->handled; });
    return item->result;
}

void EventLoop::SetTimer(int timerId, uint32_t milliseconds) {
    m_Timers[timerId] = Clock::now() + std::chrono::milliseconds(milliseconds);
}

bool EventLoop::KillTimer(int timerId) {
    return m_Timers.erase(timerId) > 0;
}

void EventLoop::RunUntil(const std::function<bool()>& done) {
    while (!done()) {
        std::shared_ptr<Item> item;
        {
            std::unique_lock<std::mutex> hold(m_Mutex);
            if (m_Items.empty()) {
                auto due = m_Timers.empty() ? Clock::now() + std::chrono::seconds(1)
                                            : m_Timers.begin()->second;
                for (const auto& [id, when] : m_Timers) {
                    due = std::min(due, when);
                }
                m_Changed.wait_until(hold, due, [&] { return !m_Items.empty(); });
            }
            if (!m_Items.empty()) {
                item = std::move(m_Items.front());
                m_Items.pop_front();
            }
        }
        if (item) {
            int64_t result = m_Handler ? m_Handler->OnMessage(item->message) : 0;
            if (item->sent) {
                std::lock_guard<std::mutex> hold(m_Mutex);
                item->result = result;
                item->handled = true;
                m_Changed.notify_all();
            }
            continue;
        }
        // The earliest timer that has come due, removed before it fires.
        auto now = Clock::now();
        int due = 0;
        bool found = false;
        Clock::time_point earliest;
        for (const auto& [id, when] : m_Timers) {
            if (when <= now && (!found || when < earliest)) {
                due = id;
                earliest = when;
                found = true;
            }
        }
        if (found) {
            m_Timers.erase(due);
            if (m_Handler) {
                m_Handler->OnTimer(due);
            }
        }
    }
}

} // namespace platform
