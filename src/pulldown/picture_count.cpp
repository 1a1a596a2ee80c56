// Counting the pictures of a stream by their start codes.
#include "pulldown/picture_count.h"

#include "platform/files.h"

#include <algorithm>

namespace pulldown {

int64_t CountPictures(const std::string& path) {
    platform::ReadOnlyFile file;
    if (!file.Open(path)) {
        return -1;
    }
    constexpr uint64_t kChunk = 1 << 20;
    std::string bytes;
    int64_t pictures = 0;
    // The last three bytes of the previous chunk, so that a start code across the seam counts.
    std::string carry;
    for (uint64_t offset = 0; offset < file.Size(); offset += kChunk) {
        uint64_t size = std::min(kChunk, file.Size() - offset);
        if (!file.ReadAt(offset, size, bytes)) {
            return -1;
        }
        std::string window = carry + bytes;
        for (size_t at = window.find('\1', 2); at != std::string::npos && at + 1 < window.size();
             at = window.find('\1', at + 1)) {
            if (window[at - 1] == 0 && window[at - 2] == 0 && window[at + 1] == 0) {
                ++pictures;
            }
        }
        carry = window.substr(window.size() - std::min<size_t>(3, window.size()));
    }
    return pictures;
}

} // namespace pulldown
