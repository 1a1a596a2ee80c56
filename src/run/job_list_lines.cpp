// A job list's lines, read within fixed limits and checked to be UTF-8 text.
#include "run/job_list_lines.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace run {
namespace {

constexpr size_t kJobListPieceBytes = 64u << 10;

// The first byte of `text` that is not part of well-formed UTF-8, or its size.
size_t FirstNonUtf8Byte(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80           ? 1
                        : (c >> 5) == 0x6  ? 2
                        : (c >> 4) == 0xE  ? 3
                        : (c >> 3) == 0x1E ? 4
                                           : 0;
        if (length == 0 || c == 0xC0 || c == 0xC1 || c > 0xF4 || i + length > text.size()) {
            return i;
        }
        uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return i;
            }
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are no characters.
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
            return i;
        }
        i += length;
    }
    return i;
}

} // namespace

bool JobListLines::Open(const std::string& path, std::string& error) {
    m_Error.clear();
    if (!m_File.Open(path)) {
        std::error_code ec;
        std::filesystem::file_status status = std::filesystem::status(path, ec);
        error = std::filesystem::is_regular_file(status) ? "could not be read"
                : std::filesystem::exists(status)        ? "is not a regular file"
                                                         : "does not exist";
        return false;
    }
    if (m_File.Size() > kMaxJobListBytes) {
        error = "holds " + std::to_string(m_File.Size()) + " bytes; a job list may hold at most " +
                std::to_string(kMaxJobListBytes);
        return false;
    }
    Rewind();
    return true;
}

void JobListLines::Rewind() {
    m_Offset = 0;
    m_Piece.clear();
    m_Pos = 0;
    m_FileLine = 0;
}

bool JobListLines::Fill() {
    m_Piece.erase(0, m_Pos);
    m_Pos = 0;
    uint64_t size = std::min<uint64_t>(kJobListPieceBytes, m_File.Size() - m_Offset);
    std::string more;
    if (!m_File.ReadAt(m_Offset, size, more)) {
        return false;
    }
    m_Offset += size;
    m_Piece += more;
    return true;
}

JobListLines::Result JobListLines::Refuse(const std::string& why) {
    m_Error = "line " + std::to_string(m_FileLine) + " " + why;
    return Result::kBad;
}

// Why `n` bytes at `data` are no text of a line, or "" when they are.
std::string JobListLines::BadBytes(const char* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(data[i]);
        if (c == 0) {
            return "holds a NUL byte";
        }
        if ((c < 0x20 && c != '\t' && c != '\r') || c == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", c);
            return std::string("holds the control character ") + code;
        }
    }
    return {};
}

JobListLines::Result JobListLines::Next(std::string& line) {
    for (;;) {
        size_t end = m_Piece.find('\n', m_Pos);
        bool last = end == std::string::npos && m_Offset >= m_File.Size();
        if (end == std::string::npos && !last) {
            if (m_Piece.size() - m_Pos > kMaxJobListLineBytes) {
                ++m_FileLine;
                std::string bad = BadBytes(m_Piece.data() + m_Pos, kMaxJobListLineBytes);
                return Refuse(!bad.empty() ? bad
                                           : "is longer than " +
                                                 std::to_string(kMaxJobListLineBytes) + " bytes");
            }
            if (!Fill()) {
                m_Error = "the file could not be read";
                return Result::kBad;
            }
            continue;
        }
        if (last && m_Pos >= m_Piece.size()) {
            return Result::kEnd;
        }
        if (last) {
            end = m_Piece.size();
        }
        ++m_FileLine;
        line.assign(m_Piece, m_Pos, end - m_Pos);
        m_Pos = end + 1;
        std::string bad = BadBytes(line.data(), std::min(line.size(), kMaxJobListLineBytes));
        if (!bad.empty()) {
            return Refuse(bad);
        }
        if (line.size() > kMaxJobListLineBytes) {
            return Refuse("is longer than " + std::to_string(kMaxJobListLineBytes) + " bytes");
        }
        if (line.empty() || line == "\r") {
            continue;
        }
        if (FirstNonUtf8Byte(line) < line.size()) {
            return Refuse("is not UTF-8 text");
        }
        return Result::kLine;
    }
}

} // namespace run
