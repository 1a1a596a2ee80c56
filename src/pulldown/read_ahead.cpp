// Sequential reads of the stream file, done a chunk ahead on a thread of its own.
#include "pulldown/read_ahead.h"

#include <cerrno>
#include <unistd.h>

namespace pulldown {

ReadAhead::ReadAhead(int fd, bool background) : m_Fd(fd) {
    if (background) {
        m_Thread = std::thread([this] { Loop(); });
    }
}

ReadAhead::~ReadAhead() {
    Stop();
}

size_t ReadAhead::ReadFully(uint8_t* buf, size_t size) const {
    size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(m_Fd, buf + got, size - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break; // the end of the file; a read error ends the input the same way
        }
        got += static_cast<size_t>(n);
    }
    return got;
}

void ReadAhead::Loop() {
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Changed.wait(lock, [this] { return m_Pending || m_Quit; });
        if (m_Quit) {
            return;
        }
        uint8_t* buf = m_ReqBuf;
        size_t size = m_ReqSize;
        lock.unlock();
        size_t got = ReadFully(buf, size);
        lock.lock();
        m_Got = got;
        m_Pending = false;
        m_Done = true;
        m_Changed.notify_all();
    }
}

void ReadAhead::Request(uint8_t* buf, size_t size) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_ReqBuf = buf;
    m_ReqSize = size;
    m_Done = false;
    m_Pending = true;
    m_Changed.notify_all();
}

size_t ReadAhead::Wait() {
    if (!m_Thread.joinable()) {
        std::lock_guard<std::mutex> lock(m_Mutex);
        if (m_Pending) {
            m_Got = ReadFully(m_ReqBuf, m_ReqSize);
            m_Pending = false;
        }
        return m_Got;
    }
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_Changed.wait(lock, [this] { return m_Done || !m_Pending; });
    return m_Got;
}

void ReadAhead::Stop() {
    if (!m_Thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Quit = true;
        m_Changed.notify_all();
    }
    // The thread finishes a read it has begun, drops one not begun, and ends.
    m_Thread.join();
}

} // namespace pulldown
