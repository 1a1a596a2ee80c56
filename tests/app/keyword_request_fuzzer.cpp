// libFuzzer target: the keyword hand-over's request bytes, as a running program receives them
// from a second start (or anyone else who can reach its socket).
#include "app/keyword_request.h"
#include "support/fuzz_support.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    app::KeywordRequest request;
    app::KeywordRequestState state = app::ParseKeywordRequest(bytes, request);
    if (state == app::KeywordRequestState::kComplete) {
        // A whole request is exactly the bytes that carry what was read from it.
        fuzz_support::Check(app::KeywordRequestBytes(request) == bytes, "a request round-trips");
    } else if (state == app::KeywordRequestState::kIncomplete) {
        fuzz_support::Check(size <= app::kMaxKeywordRequestBytes, "waiting stays within the limit");
    }
    // Bytes split anywhere: the first piece never reads as a whole request unless it is one.
    for (size_t cut = 0; cut < size && cut < 64; ++cut) {
        app::KeywordRequest part;
        app::KeywordRequestState first = app::ParseKeywordRequest(bytes.substr(0, cut), part);
        fuzz_support::Check(first != app::KeywordRequestState::kComplete ||
                                state != app::KeywordRequestState::kComplete,
                            "no whole request is a prefix of another");
    }
    return 0;
}
