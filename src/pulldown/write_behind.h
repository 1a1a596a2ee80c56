// Writes of the passed part of the stream, done in order on a thread of their own.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace pulldown {

// Writes byte ranges to a file in the order they are queued, on a thread of this object, so
// that copying them into the file overlaps with the reading and parsing of what follows. Each
// range belongs to one of the caller's buffers (a small number), which the caller may reuse
// once WaitFor says that nothing of it is queued any more. After a failed write the rest is
// dropped. One user thread; the file stays owned by the caller.
class WriteBehind {
public:
    static constexpr int kMaxBuffers = 8;

    explicit WriteBehind(FILE* out);
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Queues [data, data + size) of buffer `buffer` (0 to kMaxBuffers - 1).
    void Write(const uint8_t* data, size_t size, int buffer);
    // Waits until no range of `buffer` is queued or being written.
    void WaitFor(int buffer);
    // Waits until everything queued is written; false when a write failed.
    bool Drain();
    // True once a write has failed (read without waiting).
    bool Failed() const;

private:
    struct Range {
        const uint8_t* data;
        size_t size;
        int buffer;
    };
    void Loop();

    FILE* m_Out;
    mutable std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::deque<Range> m_Queue; // the front one is being written
    int m_Pending[kMaxBuffers] = {};
    bool m_Failed = false;
    bool m_Quit = false;
    std::thread m_Thread; // last: starts once the rest is set up
};

} // namespace pulldown
