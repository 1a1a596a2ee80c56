// The lines of a job list file, read a piece at a time within fixed limits, each checked to be
// text before anyone sees it.
#pragma once

#include "platform/files.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace run {

// Job lists larger than this are refused (a real one holds a line per source).
inline constexpr uint64_t kMaxJobListBytes = 16u << 20;
// A line longer than this is refused: a path and fifteen numbers take far less, and chapter
// points beyond the chapter list's own limit are left out anyway.
inline constexpr size_t kMaxJobListLineBytes = 64u << 10;

class JobListLines {
public:
    enum class Result { kLine, kEnd, kBad };

    // Opens the regular file at `path`; false with the reason in `error` (missing, not a
    // regular file, unreadable, larger than kMaxJobListBytes). Never waits on a FIFO or device.
    bool Open(const std::string& path, std::string& error);
    // Back to the first line.
    void Rewind();
    // The next non-empty line (a line of nothing but CR counts as empty; other lines keep their
    // CR). kBad when the file cannot be read or the line is no text: longer than
    // kMaxJobListLineBytes, holding a NUL byte or another control character than TAB and CR,
    // or no UTF-8; Error() then says which line and why. Memory stays within one piece and
    // one line, whatever the file holds.
    Result Next(std::string& line);
    // The line number in the file (from 1, empty lines counted) of the line last given or
    // refused.
    size_t FileLine() const { return m_FileLine; }
    const std::string& Error() const { return m_Error; }

private:
    bool Fill();
    Result Refuse(const std::string& why);
    static std::string BadBytes(const char* data, size_t n);

    platform::ReadOnlyFile m_File;
    uint64_t m_Offset = 0; // of the piece's end in the file
    std::string m_Piece;
    size_t m_Pos = 0;
    size_t m_FileLine = 0;
    std::string m_Error;
};

} // namespace run
