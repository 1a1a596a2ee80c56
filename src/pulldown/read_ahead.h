// Sequential reads of the stream file, done a chunk ahead on a thread of its own.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace pulldown {

// Reads a file from its current position in chunks, one chunk asked for at a time. With
// `background` on, a chunk is read on a thread of this object while the caller works on the
// previous one, so that copying the data out of the file overlaps with the rest of the pass;
// use it only where a read cannot block for ever (regular files). Without it, Wait reads.
// One user thread; the file stays owned by the caller and must stay open until Stop.
class ReadAhead {
public:
    ReadAhead(int fd, bool background);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Asks for the next `size` bytes of the file in `buf`, which must stay untouched until Wait
    // returns. At most one request is outstanding.
    void Request(uint8_t* buf, size_t size);
    // Waits for the last request and returns the bytes read: fewer than asked only when the file
    // ends (or cannot be read further) inside the chunk.
    size_t Wait();
    // Waits for an outstanding read and ends the thread; no requests after this.
    void Stop();

private:
    size_t ReadFully(uint8_t* buf, size_t size) const;
    void Loop();

    int m_Fd;
    std::thread m_Thread;
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    uint8_t* m_ReqBuf = nullptr;
    size_t m_ReqSize = 0;
    bool m_Pending = false; // a request not yet read
    bool m_Done = false;    // the request has been read, m_Got holds its size
    bool m_Quit = false;
    size_t m_Got = 0;
};

} // namespace pulldown
