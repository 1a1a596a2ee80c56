// The deterministic UI queue used by tests: explicit delivery and a fake clock.
#include "platform/fake_ui_queue.h"

#include <chrono>

namespace platform {

FakeUiQueue::FakeUiQueue() : m_UiThread(std::this_thread::get_id()) {}

FakeUiQueue::~FakeUiQueue() {
    // Release senders still waiting, and let them leave before the queue goes; their messages
    // are dropped with it.
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (Item& item : m_Items) {
        if (item.slot != nullptr) {
            item.slot->done = true;
            item.slot->result = 0;
        }
    }
    m_Items.clear();
    m_Completed.notify_all();
    m_Completed.wait(lock, [&] { return m_WaitingSenders == 0; });
}

void FakeUiQueue::SetHandler(MessageHandler* handler) {
    m_Handler = handler;
}

void FakeUiQueue::Post(Message message) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Items.push_back(Item{std::move(message), nullptr});
    m_Arrived.notify_all();
}

int64_t FakeUiQueue::Send(Message message) {
    if (OnUiThread()) {
        return Deliver(message);
    }
    SendSlot slot;
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Items.push_back(Item{std::move(message), &slot});
    m_Arrived.notify_all();
    ++m_WaitingSenders;
    m_Completed.wait(lock, [&] { return slot.done; });
    --m_WaitingSenders;
    m_Completed.notify_all();
    return slot.result;
}

int64_t FakeUiQueue::Deliver(Message& message) {
    return m_Handler != nullptr ? m_Handler->OnMessage(message) : 0;
}

bool FakeUiQueue::TakeNext(Item& item) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (m_Items.empty()) {
        return false;
    }
    item = std::move(m_Items.front());
    m_Items.pop_front();
    return true;
}

void FakeUiQueue::Complete(SendSlot* slot, int64_t result) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    slot->result = result;
    slot->done = true;
    m_Completed.notify_all();
}

size_t FakeUiQueue::RunUntilIdle() {
    size_t delivered = 0;
    Item item;
    while (TakeNext(item)) {
        int64_t result = Deliver(item.message);
        if (item.slot != nullptr) {
            Complete(item.slot, result);
        }
        item = Item{};
        ++delivered;
    }
    return delivered;
}

bool FakeUiQueue::RunUntil(const std::function<bool()>& done, uint32_t timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        RunUntilIdle();
        if (done()) {
            return true;
        }
        std::unique_lock<std::mutex> lock(m_Mutex);
        if (!m_Arrived.wait_until(lock, deadline, [&] { return !m_Items.empty(); })) {
            lock.unlock();
            RunUntilIdle();
            return done();
        }
    }
}

void FakeUiQueue::SetTimer(int timerId, uint32_t milliseconds) {
    m_Timers[timerId] = Timer{m_Now + milliseconds, m_TimerOrder++};
}

bool FakeUiQueue::KillTimer(int timerId) {
    return m_Timers.erase(timerId) > 0;
}

bool FakeUiQueue::NextDue(uint64_t limit, int& timerId) const {
    const Timer* best = nullptr;
    for (const auto& [id, timer] : m_Timers) {
        if (timer.due > limit) {
            continue;
        }
        if (best == nullptr || timer.due < best->due ||
            (timer.due == best->due && timer.order < best->order)) {
            best = &timer;
            timerId = id;
        }
    }
    return best != nullptr;
}

void FakeUiQueue::AdvanceTime(uint64_t milliseconds) {
    RunUntilIdle();
    const uint64_t end = m_Now + milliseconds;
    int timerId = 0;
    while (NextDue(end, timerId)) {
        m_Now = std::max(m_Now, m_Timers[timerId].due);
        m_Timers.erase(timerId);
        if (m_Handler != nullptr) {
            m_Handler->OnTimer(timerId);
        }
        RunUntilIdle();
    }
    m_Now = end;
}

bool FakeUiQueue::FireNextTimer() {
    int timerId = 0;
    if (!NextDue(UINT64_MAX, timerId)) {
        return false;
    }
    AdvanceTime(m_Timers[timerId].due - m_Now);
    return true;
}

bool FakeUiQueue::IsTimerPending(int timerId) const {
    return m_Timers.count(timerId) > 0;
}

int64_t FakeUiQueue::TimeUntil(int timerId) const {
    auto it = m_Timers.find(timerId);
    return it == m_Timers.end() ? -1 : static_cast<int64_t>(it->second.due - m_Now);
}

size_t FakeUiQueue::QueuedMessages() const {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Items.size();
}

} // namespace platform
