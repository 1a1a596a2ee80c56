// The keyword hand-over's request bytes, checked without trusting the count they carry.
#include "app/keyword_request.h"

namespace app {

std::string KeywordRequestBytes(const KeywordRequest& request) {
    std::string bytes = request.workingDir;
    bytes.push_back('\0');
    bytes += std::to_string(request.arguments.size());
    bytes.push_back('\0');
    for (const std::string& argument : request.arguments) {
        bytes += argument;
        bytes.push_back('\0');
    }
    return bytes;
}

KeywordRequestState ParseKeywordRequest(std::string_view bytes, KeywordRequest& out) {
    if (bytes.size() > kMaxKeywordRequestBytes) {
        return KeywordRequestState::kMalformed;
    }
    size_t folderEnd = bytes.find('\0');
    if (folderEnd == std::string_view::npos) {
        return KeywordRequestState::kIncomplete;
    }
    // The count is read digit by digit and compared with what the bytes could still hold, so
    // no count can overflow nor make the reader wait for more than the limit allows.
    size_t count = 0;
    size_t pos = folderEnd + 1;
    for (; pos < bytes.size() && bytes[pos] != '\0'; ++pos) {
        char c = bytes[pos];
        if (c < '0' || c > '9') {
            return KeywordRequestState::kMalformed;
        }
        count = count * 10 + static_cast<size_t>(c - '0');
        if (count > kMaxKeywordRequestBytes) {
            return KeywordRequestState::kMalformed;
        }
    }
    if (pos == bytes.size()) {
        return KeywordRequestState::kIncomplete;
    }
    // An empty count, or one written with leading zeros, as no start writes it.
    if (pos == folderEnd + 1 || (bytes[folderEnd + 1] == '0' && pos > folderEnd + 2)) {
        return KeywordRequestState::kMalformed;
    }
    ++pos;
    // Every argument takes at least its NUL.
    if (count > kMaxKeywordRequestBytes - pos) {
        return KeywordRequestState::kMalformed;
    }
    std::vector<std::string_view> arguments;
    arguments.reserve(count < bytes.size() - pos ? count : bytes.size() - pos);
    while (arguments.size() < count) {
        size_t end = bytes.find('\0', pos);
        if (end == std::string_view::npos) {
            return KeywordRequestState::kIncomplete;
        }
        arguments.push_back(bytes.substr(pos, end - pos));
        pos = end + 1;
    }
    if (pos != bytes.size()) {
        return KeywordRequestState::kMalformed;
    }
    out.workingDir.assign(bytes.substr(0, folderEnd));
    out.arguments.assign(arguments.begin(), arguments.end());
    return KeywordRequestState::kComplete;
}

} // namespace app
