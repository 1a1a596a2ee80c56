// A deterministic UI queue for tests: messages are delivered when the test says so, and timers
// run on a fake clock that only moves when the test advances it.
#pragma once

#include "platform/ui_queue.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace platform {

// The thread that constructs the queue is its UI thread: it is the one that must drive it
// (RunUntilIdle, RunUntil, AdvanceTime) and the only one whose `Send` runs the handler
// directly. Other threads may Post and Send at any time; a Send from another thread waits
// until the UI thread delivers it, or until the queue is destroyed (result 0).
class FakeUiQueue : public UiQueue {
public:
    FakeUiQueue();
    ~FakeUiQueue() override;
    FakeUiQueue(const FakeUiQueue&) = delete;
    FakeUiQueue& operator=(const FakeUiQueue&) = delete;

    void SetHandler(MessageHandler* handler) override;
    void Post(Message message) override;
    int64_t Send(Message message) override;
    void SetTimer(int timerId, uint32_t milliseconds) override;
    bool KillTimer(int timerId) override;

    // Delivers every queued message, including those queued by the handler meanwhile, without
    // moving the clock. Returns how many were delivered.
    size_t RunUntilIdle();

    // Delivers messages as they arrive from other threads until `done` returns true (checked
    // after each delivery and before waiting). Waits at most `timeoutMs` of real time; returns
    // whether `done` became true. The clock does not move.
    bool RunUntil(const std::function<bool()>& done, uint32_t timeoutMs);

    // Moves the clock forward by `milliseconds`, firing every timer that comes due on the way
    // in order of due time (timers due at the same moment in the order they were set), with
    // the clock standing at each timer's due time while it fires and the queue run until idle
    // after each. Timers set by a firing handler take part if they come due within the span.
    void AdvanceTime(uint64_t milliseconds);

    // Moves the clock to the earliest pending timer's due time and fires the timers due then.
    // False when none is pending.
    bool FireNextTimer();

    // The fake clock in milliseconds since construction.
    uint64_t Now() const { return m_Now; }
    bool IsTimerPending(int timerId) const;
    // Milliseconds until `timerId` is due, or -1 when it is not pending.
    int64_t TimeUntil(int timerId) const;
    size_t QueuedMessages() const;

private:
    struct SendSlot {
        bool done = false;
        int64_t result = 0;
    };
    struct Item {
        Message message;
        SendSlot* slot = nullptr; // set for a cross-thread Send
    };
    struct Timer {
        uint64_t due = 0;
        uint64_t order = 0;
    };

    bool OnUiThread() const { return std::this_thread::get_id() == m_UiThread; }
    int64_t Deliver(Message& message);
    // Takes the next item or returns false; m_Mutex must not be held.
    bool TakeNext(Item& item);
    void Complete(SendSlot* slot, int64_t result);
    // The earliest pending timer due at or before `limit`; false when there is none.
    bool NextDue(uint64_t limit, int& timerId) const;

    const std::thread::id m_UiThread;
    MessageHandler* m_Handler = nullptr;

    mutable std::mutex m_Mutex;
    std::condition_variable m_Arrived;   // a message was queued
    std::condition_variable m_Completed; // a cross-thread Send was handled
    std::deque<Item> m_Items;
    int m_WaitingSenders = 0;

    // Timer state is touched by the UI thread only.
    std::map<int, Timer> m_Timers;
    uint64_t m_Now = 0;
    uint64_t m_TimerOrder = 0;
};

} // namespace platform
