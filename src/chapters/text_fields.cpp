// Small text helpers of the chapter files and the CCEData job lists: whole-file reads, field
// splitting, trimming, and the `atoi` number reading.
#include "chapters/text_fields.h"

#include "platform/files.h"

#include <cctype>
#include <climits>

namespace chapters {

int ReadLeadingInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        // Past INT_MAX + 1 the value only saturates; stop growing so it cannot overflow.
        if (value <= static_cast<long long>(INT_MAX) + 1) {
            value = value * 10 + (text[i] - '0');
        }
        ++i;
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

std::vector<std::string> SplitNonEmpty(std::string_view text, char sep) {
    std::vector<std::string> pieces;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(sep, pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > pos) {
            pieces.emplace_back(text.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return pieces;
}

std::string TrimChars(std::string_view text, std::string_view chars) {
    size_t first = text.find_first_not_of(chars);
    if (first == std::string_view::npos) {
        return std::string();
    }
    size_t last = text.find_last_not_of(chars);
    return std::string(text.substr(first, last - first + 1));
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    size_t pos = 0;
    while (!from.empty()) {
        size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos) {
            break;
        }
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

std::string WithoutLineBreaks(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c != '\r' && c != '\n') {
            out.push_back(c);
        }
    }
    return out;
}

bool ReadSmallFile(const std::string& path, size_t limit, std::string& bytes) {
    platform::ReadOnlyFile file;
    if (!file.Open(path) || file.Size() > limit) {
        return false;
    }
    return file.ReadAt(0, file.Size(), bytes);
}

} // namespace chapters
