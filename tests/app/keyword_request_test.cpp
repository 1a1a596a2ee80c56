// The keyword hand-over's request bytes: round trips, prefixes that wait for more, and bytes
// that no start sends, the count among them, refused without trusting it.
#include "app/keyword_request.h"

#include <gtest/gtest.h>

using app::KeywordRequestState;

namespace {

KeywordRequestState Parse(const std::string& bytes) {
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
            EXPECT_EQ(Parse(bytes.substr(0, n)), KeywordRequestState::kIncomplete) << n;
        }
    }
}

TEST(KeywordRequest, BytesNoStartSendsAreRefused) {
    using namespace std::string_literals;
    const std::string kHuge(app::kMaxKeywordRequestBytes + 1, 'a');
    const std::pair<std::string, KeywordRequestState> cases[] = {
        // The count that overflowed the old size check and ended the program.
        {"\0"s
         "9223372036854775807\0"s,
         KeywordRequestState::kMalformed},
        {"\0"s
         "18446744073709551617\0"s,
         KeywordRequestState::kMalformed},
        // More arguments than the limit leaves room for, before any of them came.
        {"/\0"s
         "5000000\0"s,
         KeywordRequestState::kMalformed},
        {"/\0"s
         "-1\0"s,
         KeywordRequestState::kMalformed},
        {"/\0"s
         "+1\0-start\0"s,
         KeywordRequestState::kMalformed},
        {"/\0"s
         "\0"s,
         KeywordRequestState::kMalformed},
        {"/\0"s
         "1\0-start\0extra\0"s,
         KeywordRequestState::kMalformed},
        {"/\0"s
         "1\0-start\0x"s,
         KeywordRequestState::kMalformed},
        // A count that could still fit waits for its arguments.
        {"/\0"s
         "3\0-start\0"s,
         KeywordRequestState::kIncomplete},
        {kHuge, KeywordRequestState::kMalformed},
    };
    for (const auto& [bytes, state] : cases) {
        EXPECT_EQ(Parse(bytes), state) << bytes.substr(0, 40);
    }
}
