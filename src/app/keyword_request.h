// The bytes of a keyword hand-over between two starts on one store: the working folder, the
// argument count and the arguments, each ended by a NUL ("/home/me\0" "2\0" "-start\0" ...).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// The most bytes a request may take: far above what a command line can hold (the kernel
// limits one to a few MiB of arguments and environment together, the working folder to 4 KiB).
inline constexpr size_t kMaxKeywordRequestBytes = 4u << 20;

enum class KeywordRequestState {
    kIncomplete, // a prefix of a request: wait for more bytes
    kComplete,   // a whole request, nothing after it
    kMalformed,  // no request, whatever follows: drop the connection
};

struct KeywordRequest {
    std::string workingDir;
    std::vector<std::string> arguments;
};

// The bytes that carry `request`.
std::string KeywordRequestBytes(const KeywordRequest& request);

// Reads the bytes received so far. `out` is filled only for kComplete. Malformed: more than
// kMaxKeywordRequestBytes, a count that is not plain decimal digits (no sign, no leading zero)
// or names more arguments than the bytes could hold, or bytes after the last argument. Linear
// in the bytes' length.
KeywordRequestState ParseKeywordRequest(std::string_view bytes, KeywordRequest& out);

} // namespace app
