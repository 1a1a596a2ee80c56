// The keyword hand-over's request bytes: round trips, prefixes that wait for more, and bytes
// that no start sends, the count among them, refused without trusting it.
#include "app/keyword_request.h"

#include <gtest/gtest.h>

#include <algorithm>

using app::KeywordRequestState;

namespace {

KeywordRequestState ParseRequest(const std::string& bytes) {
    app::KeywordRequest out;
    return app::ParseKeywordRequest(bytes, out);
}

} // namespace

TEST(KeywordRequest, RoundTripsAndEveryPrefixWaits) {
    for (const app::KeywordRequest& request :
         {app::KeywordRequest{"/home/me", {"-source:my list.txt", "", "-start"}},
          app::KeywordRequest{"", {}}}) {
        std::string bytes = app::KeywordRequestBytes(request);
        app::KeywordRequest out;
        ASSERT_EQ(app::ParseKeywordRequest(bytes, out), KeywordRequestState::kComplete);
        EXPECT_EQ(out.workingDir, request.workingDir);
        EXPECT_EQ(out.arguments, request.arguments);
        for (size_t n = 0; n < bytes.size(); ++n) {
            EXPECT_EQ(ParseRequest(bytes.substr(0, n)), KeywordRequestState::kIncomplete) << n;
        }
    }
}

TEST(KeywordRequest, BytesNoStartSendsAreRefused) {
    // "|" stands for a NUL byte.
    const std::pair<std::string, KeywordRequestState> cases[] = {
        // The count that overflowed the old size check and ended the program.
        {"|9223372036854775807|", KeywordRequestState::kMalformed},
        {"|18446744073709551617|", KeywordRequestState::kMalformed},
        // More arguments than the limit leaves room for, before any of them came.
        {"/|5000000|", KeywordRequestState::kMalformed},
        {"/|-1|", KeywordRequestState::kMalformed},
        {"/|+1|-start|", KeywordRequestState::kMalformed},
        {"/|01|-start|", KeywordRequestState::kMalformed},
        {"/||", KeywordRequestState::kMalformed},
        {"/|1|-start|extra|", KeywordRequestState::kMalformed},
        {"/|1|-start|x", KeywordRequestState::kMalformed},
        // A count that could still fit waits for its arguments.
        {"/|3|-start|", KeywordRequestState::kIncomplete},
        {std::string(app::kMaxKeywordRequestBytes + 1, 'a'), KeywordRequestState::kMalformed},
    };
    for (auto [bytes, state] : cases) {
        std::replace(bytes.begin(), bytes.end(), '|', '\0');
        EXPECT_EQ(ParseRequest(bytes), state) << bytes.substr(0, 40);
    }
}
