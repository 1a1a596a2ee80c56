// Switching a control list to its second part, one whole line at a time.
#include "ecl/ecl_rewrite.h"

#include "platform/files.h"

#include <cstdio>

namespace ecl {

namespace {

// A control list is a few kilobytes; anything far larger is not one.
constexpr uint64_t kMaxEclSize = 64u << 20;

// Replaces each line that reads exactly `from` (before its CR LF) by `to`.
void ReplaceLines(std::string& text, const std::string& from, const std::string& to) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        size_t length = end - start;
        if (length > 0 && text[end - 1] == '\r') {
            --length;
        }
        if (length == from.size() && text.compare(start, length, from) == 0) {
            text.replace(start, length, to);
            end = start + to.size() + (end - start - length);
        }
        start = end + 1;
    }
}

} // namespace

bool RewriteEclForPart2(const std::string& eclPath, bool code1) {
    std::string text;
    {
        platform::ReadOnlyFile in;
        if (!in.Open(eclPath) || in.Size() > kMaxEclSize || !in.ReadAt(0, in.Size(), text)) {
            return false;
        }
    }
    ReplaceLines(text, "vid_out=0", "vid_out=1");
    if (code1) {
        ReplaceLines(text, "vmode=0", "vmode=2");
    } else {
        ReplaceLines(text, "video_type=2", "video_type=4");
    }
    std::FILE* out = platform::CreateRegularFile(eclPath);
    if (out == nullptr) {
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return std::fclose(out) == 0 && ok;
}

} // namespace ecl
