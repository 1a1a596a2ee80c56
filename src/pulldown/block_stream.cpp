// A bit reader over a stream file that rewrites bits in place and copies what it has passed.
#include "pulldown/block_stream.h"

#include "pulldown/pulldown.h"
#include "pulldown/start_code_scan.h"

#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>

namespace pulldown {

namespace {

// Input is read this much at a time, into a buffer at kFront: in front of it goes the unwritten
// part of the current block (refills happen within 8 bytes of the window's end, so that is less
// than a block and 8 bytes), and 8 spare bytes after it let BitsAt load a whole word near the end.
constexpr uint64_t kChunk = 1 << 18;
constexpr uint64_t kFront = BlockStream::kBlockSize + 64;
constexpr uint64_t kSpare = 8;
constexpr uint64_t kBufferSize = kFront + kChunk + kSpare;

// Reads until `size` bytes or the end of the input; a read error ends the input the same way.
size_t ReadFully(int fd, uint8_t* buf, size_t size) {
    size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, buf + got, size - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    return got;
}

} // namespace

BlockStream::BlockStream() {
    for (auto& b : m_Buffers) {
        b.reset(new uint8_t[kBufferSize]());
    }
    m_Buf = m_Buffers[0].get() + kFront;
}

BlockStream::~BlockStream() = default;

bool BlockStream::Start(FILE* in, FILE* out) {
    m_InFd = fileno(in);
    m_Out = out;
    m_Seekable = std::ftell(in) >= 0;
    m_Writer = std::make_unique<WriteBehind>(out);
    Refill();
    return m_BufLen > 0;
}

void BlockStream::Ensure(uint64_t bytes) {
    if (!m_Ended && BytePos() + bytes > BufEnd()) {
        Refill();
    }
}

void BlockStream::Refill() {
    // Blocks the reader has passed are final: write them and drop them from the window.
    uint64_t keepFrom = BytePos() / kBlockSize * kBlockSize;
    WriteOut(keepFrom);
    // The rest of the window goes in front of the next chunk, in the next buffer once the writes
    // from it are done.
    uint64_t keep = BufEnd() - keepFrom;
    assert(keep <= kFront);
    int next = (m_Current + 1) % kBuffers;
    m_Writer->WaitFor(next);
    uint8_t* base = m_Buffers[next].get();
    uint8_t* front = base + (kFront - keep);
    if (keep > 0) {
        std::memcpy(front, m_Buf + (keepFrom - m_BufStart), static_cast<size_t>(keep));
    }
    size_t got = ReadFully(m_InFd, base + kFront, kChunk);
    m_Current = next;
    m_Buf = front;
    m_BufStart = keepFrom;
    m_BufLen = keep + got;
    if (got < kChunk) {
        m_Ended = true;
    }
}

void BlockStream::WriteOut(uint64_t end) {
    if (end <= m_Written) {
        return;
    }
    m_Writer->Write(m_Buf + (m_Written - m_BufStart), static_cast<size_t>(end - m_Written),
                    m_Current);
    m_Written = end;
}

uint32_t BlockStream::BitsAt(uint64_t bitPos, int n) const {
    if (n == 0) {
        return 0;
    }
    uint64_t word = 0;
    const uint8_t* p = m_Buf + ((bitPos >> 3) - m_BufStart);
    for (int i = 0; i < 8; ++i) {
        word = (word << 8) | p[i];
    }
    return static_cast<uint32_t>((word << (bitPos & 7)) >> (64 - n));
}

bool BlockStream::PrefixAt(uint64_t byte) const {
    const uint8_t* p = m_Buf + (byte - m_BufStart);
    return p[0] == 0 && p[1] == 0 && p[2] == 1;
}

uint32_t BlockStream::GetBits(int n) {
    Ensure(8);
    if (!m_Ended || m_Pos + static_cast<uint64_t>(n) <= BufEnd() * 8) {
        uint32_t v = BitsAt(m_Pos, n);
        m_Pos += static_cast<uint64_t>(n);
        return v;
    }
    // The input ends inside the field: the missing bits read as zeros and consume nothing.
    int avail = static_cast<int>(BufEnd() * 8 - m_Pos);
    uint64_t v = static_cast<uint64_t>(BitsAt(m_Pos, avail)) << (n - avail);
    m_Pos = BufEnd() * 8;
    return static_cast<uint32_t>(v);
}

uint32_t BlockStream::ShowBits(int n) {
    if (AtEnd()) {
        return 0;
    }
    Ensure(8);
    uint64_t blockEnd = BlockEnd(BytePos());
    uint64_t end = m_Pos + static_cast<uint64_t>(n);
    if (end > blockEnd * 8) {
        if (m_Ended && BufEnd() < blockEnd) {
            return 0; // past the end of the last, short block
        }
        // The lookahead reads ahead in the file and puts the position back, which a pipe
        // cannot do.
        if (!m_Seekable) {
            m_Error = kPulldownGetPosFailed;
            return 0;
        }
        if (m_Ended && BufEnd() < blockEnd + 4) {
            return 0;
        }
        return BitsAt(m_Pos, n);
    }
    if (m_Ended && end > BufEnd() * 8) {
        return 0;
    }
    return BitsAt(m_Pos, n);
}

void BlockStream::PutBits(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
        if (AtEnd()) {
            return;
        }
        Ensure(1);
        uint8_t mask = static_cast<uint8_t>(0x80 >> (m_Pos & 7));
        uint8_t& byte = m_Buf[BytePos() - m_BufStart];
        byte = static_cast<uint8_t>(((value >> i) & 1) ? (byte | mask) : (byte & ~mask));
        ++m_Pos;
    }
}

void BlockStream::RewriteByte(uint8_t mask, uint8_t bits) {
    if (AtEnd()) {
        return;
    }
    Ensure(1);
    uint8_t& byte = m_Buf[BytePos() - m_BufStart];
    byte = static_cast<uint8_t>((byte & ~mask) | (bits & mask));
}

int BlockStream::NextStartCode() {
    if (m_Pos & 7) {
        GetBits(8 - static_cast<int>(m_Pos & 7));
    }
    for (;;) {
        Ensure(3);
        uint64_t from = BytePos();
        uint64_t len = BufEnd() - from;
        uint64_t at = FindStartCodePrefix(m_Buf + (from - m_BufStart), len);
        if (at < len) {
            m_Pos = (from + at + 3) * 8;
            return 0;
        }
        if (m_Ended) {
            m_Pos = BufEnd() * 8;
            return kPulldownNextStartCode;
        }
        // The last two bytes may begin a prefix that the next chunk completes.
        m_Pos = (BufEnd() - 2) * 8;
        Refill();
    }
}

int BlockStream::SkipToPrefixByLookahead() {
    if (m_Pos & 7) {
        GetBits(8 - static_cast<int>(m_Pos & 7));
    }
    for (;;) {
        if (AtEnd()) {
            return kPulldownNextStartCode;
        }
        Ensure(3);
        uint64_t cur = BytePos();
        uint64_t blockEnd = BlockEnd(cur);
        uint64_t zone = blockEnd - 2; // from here a three-byte lookahead crosses the block end
        if (cur < zone) {
            // Prefixes that lie wholly inside the current block.
            uint64_t stop = std::min(zone + 2, BufEnd());
            uint64_t at = FindStartCodePrefix(m_Buf + (cur - m_BufStart), stop - cur);
            if (at < stop - cur) {
                m_Pos = (cur + at) * 8;
                return NextStartCode();
            }
            if (stop < zone + 2) {
                if (m_Ended) {
                    m_Pos = BufEnd() * 8; // the short last block holds no prefix
                    return kPulldownNextStartCode;
                }
                m_Pos = (stop - 2) * 8;
                Refill();
                continue;
            }
            cur = zone;
        }
        // The last two bytes of a full block: each lookahead reads into the next block.
        for (; cur < blockEnd; ++cur) {
            m_Pos = cur * 8;
            if (AtEnd()) {
                return kPulldownNextStartCode;
            }
            Ensure(8);
            if (m_Ended && BufEnd() < blockEnd) {
                continue; // a short last block: the lookahead sees nothing
            }
            if (!m_Seekable) {
                m_Error = kPulldownGetPosFailed;
                return m_Error;
            }
            if (!(m_Ended && BufEnd() < blockEnd + 4) && PrefixAt(cur)) {
                return NextStartCode();
            }
        }
        m_Pos = blockEnd * 8;
    }
}

bool BlockStream::Finish(bool success) {
    uint64_t end = BytePos();
    if (!success) {
        end = end / kBlockSize * kBlockSize;
    }
    if (!m_Writer) {
        return std::fflush(m_Out) == 0;
    }
    WriteOut(end);
    bool ok = m_Writer->Drain();
    return std::fflush(m_Out) == 0 && ok;
}

} // namespace pulldown
