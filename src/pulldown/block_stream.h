// A bit reader over a stream file that rewrites bits in place and copies what it has passed.
#pragma once

#include "pulldown/write_behind.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace pulldown {

// Reads the source most significant bit first and writes every byte it has consumed to the
// target, with the bits changed by PutBits/RewriteByte. The stream is handled as consecutive
// 32,768-byte blocks: a block reaches the target once the reader has passed its last byte, a
// three-byte lookahead that runs past the end of a block sees the next block only when at
// least four bytes follow it in the file, and on failure only passed blocks are kept. I/O is
// done in larger chunks, and the writes on a thread of their own; memory use is fixed (under
// 1 MiB).
//
// Past the end of the input, reads return zero bits and consume nothing, lookaheads return 0.
// Not thread-safe. The files stay owned by the caller.
class BlockStream {
public:
    static constexpr uint64_t kBlockSize = 32768;

    BlockStream();
    ~BlockStream();
    BlockStream(const BlockStream&) = delete;
    BlockStream& operator=(const BlockStream&) = delete;

    // Loads the first data of `in`. Returns false when the input is empty.
    bool Start(FILE* in, FILE* out);

    // get_bits: the next n bits (0 <= n <= 32), consumed; zero bits past the end of the input.
    uint32_t GetBits(int n);
    // show_bits: the next n bits (0 <= n <= 24) without consuming them; 0 past the end of the
    // input or the last block, or across a block end when fewer than 4 bytes follow it.
    uint32_t ShowBits(int n);
    // Replaces the next n bits (n <= 32) by `value` and consumes them.
    void PutBits(uint32_t value, int n);
    // Replaces the bits under `mask` of the current byte without consuming anything.
    void RewriteByte(uint8_t mask, uint8_t bits);

    // next_start_code: drops bits to the next byte boundary and consumes through the next
    // 00 00 01 prefix. Returns 0, or 9 when the input ends first (everything is then consumed).
    int NextStartCode();
    // Consumes whole bytes until the lookahead shows a 00 00 01 prefix, then the prefix itself.
    // Returns 0, 9 when the input ends first, or 7 when a lookahead across a block end cannot
    // take the input position (a pipe).
    int SkipToPrefixByLookahead();

    bool AtEnd() const { return m_Ended && BytePos() >= BufEnd(); }
    uint64_t BitsConsumed() const { return m_Pos; }
    // 0, or the result code of the first lookahead that failed.
    int Error() const { return m_Error; }
    // True once a write has failed; a write queued last may not have been tried yet.
    bool WriteFailed() const { return m_Writer && m_Writer->Failed(); }

    // Writes out what the run keeps: everything consumed after success, the passed blocks after
    // a failure, and waits until it is written. Returns false when a write failed (now or before).
    bool Finish(bool success);

private:
    uint64_t BytePos() const { return m_Pos >> 3; }
    uint64_t BufEnd() const { return m_BufStart + m_BufLen; }
    uint64_t BlockEnd(uint64_t byte) const { return (byte / kBlockSize + 1) * kBlockSize; }
    void Ensure(uint64_t bytes);
    void Refill();
    void WriteOut(uint64_t end);
    uint32_t BitsAt(uint64_t bitPos, int n) const;
    bool PrefixAt(uint64_t byte) const;

    static constexpr int kBuffers = 3;

    int m_InFd = -1;
    FILE* m_Out = nullptr;
    // The window over the file is m_Buf[0, m_BufLen), inside buffer m_Current; the others hold
    // passed blocks still being written, or are free for the next chunk.
    std::unique_ptr<uint8_t[]> m_Buffers[kBuffers];
    int m_Current = 0;
    uint8_t* m_Buf = nullptr;
    uint64_t m_BufStart = 0; // file offset of m_Buf[0]
    uint64_t m_BufLen = 0;   // valid bytes in m_Buf
    bool m_Ended = false;    // the file has no bytes past BufEnd()
    bool m_Seekable = true;  // the input position can be taken (not a pipe)
    uint64_t m_Pos = 0;      // bits consumed = bit offset in the file
    uint64_t m_Written = 0;  // bytes written to the target
    int m_Error = 0;
    std::unique_ptr<WriteBehind> m_Writer; // after the buffers: ends before they go
};

} // namespace pulldown
