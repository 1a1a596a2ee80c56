// Writes of the passed part of the stream, done in order on a thread of their own.
#include "pulldown/write_behind.h"

namespace pulldown {

WriteBehind::WriteBehind(FILE* out) : m_Out(out), m_Thread([this] { Loop(); }) {}

WriteBehind::~WriteBehind() {
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Quit = true;
        m_Changed.notify_all();
    }
    m_Thread.join(); // after the writes still queued
}

void WriteBehind::Loop() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Changed.wait(lock, [this] { return !m_Queue.empty() || m_Quit; });
        if (m_Queue.empty()) {
            return;
        }
        Range r = m_Queue.front();
        bool write = !m_Failed;
        lock.unlock();
        bool ok = !write || std::fwrite(r.data, 1, r.size, m_Out) == r.size;
        lock.lock();
        m_Queue.pop_front();
        --m_Pending[r.buffer];
        m_Failed = m_Failed || !ok;
        m_Changed.notify_all();
    }
}

void WriteBehind::Write(const uint8_t* data, size_t size, int buffer) {
    if (size == 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Queue.push_back({data, size, buffer});
    ++m_Pending[buffer];
    m_Changed.notify_all();
}

void WriteBehind::WaitFor(int buffer) {
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Changed.wait(lock, [this, buffer] { return m_Pending[buffer] == 0; });
}

bool WriteBehind::Drain() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Changed.wait(lock, [this] { return m_Queue.empty(); });
    return !m_Failed;
}

bool WriteBehind::Failed() const {
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Failed;
}

} // namespace pulldown
