// Splitting and quoting command lines: the runtime's rules, and quoting round trips.
#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <random>

using platform::BuildCommandLine;
using platform::QuoteArgument;
using platform::SplitCommandLine;
using Args = std::vector<std::string>;

TEST(SplitCommandLine, ProgramNameQuotesGroupAndBackslashesArePlain) {
    EXPECT_EQ(SplitCommandLine("\"/opt/my app/EclCCE\" -ecl \"/v/a b.ecl\" -batch"),
              (Args{"/opt/my app/EclCCE", "-ecl", "/v/a b.ecl", "-batch"}));
    EXPECT_EQ(SplitCommandLine("C:\\dir\\\"x y\"z w"), (Args{"C:\\dir\\x yz", "w"}));
    EXPECT_EQ(SplitCommandLine(""), Args{""});
    EXPECT_EQ(SplitCommandLine(" a"), (Args{"", "a"}));
    EXPECT_EQ(SplitCommandLine("\"unterminated prog"), Args{"unterminated prog"});
}

TEST(SplitCommandLine, ArgumentRules) {
    struct Case {
        const char* line;
        Args rest;
    };
    const Case cases[] = {
        {"p a\tb   c", {"a", "b", "c"}},
        {"p \"a b\" c", {"a b", "c"}},
        {"p a\"b c\"d", {"ab cd"}},
        {"p \"\"", {""}},
        {"p \"\" \"\"", {"", ""}},
        {"p a\\\\b", {"a\\\\b"}},       // backslashes not before a quote are plain
        {"p a\\\\\"b c\"", {"a\\b c"}}, // 2n backslashes + quote: n backslashes, quoting
        {"p a\\\\\\\"b", {"a\\\"b"}},   // 2n+1: n backslashes and a literal quote
        {"p \\\"", {"\""}},
        {"p \"a\"\"b\" c", {"a\"b", "c"}}, // doubled quote inside quotes: literal, still quoted
        {"p \"a\"\"b c\"", {"a\"b c"}},
        {"p \"open ended", {"open ended"}},
        {"p trailing\\", {"trailing\\"}},
        {"p a   ", {"a"}},
        {"p $(rm -rf x);echo `id`|cat>&2", {"$(rm", "-rf", "x);echo", "`id`|cat>&2"}},
    };
    for (const Case& c : cases) {
        Args got = SplitCommandLine(c.line);
        ASSERT_FALSE(got.empty()) << c.line;
        EXPECT_EQ(got[0], "p") << c.line;
        EXPECT_EQ(Args(got.begin() + 1, got.end()), c.rest) << c.line;
    }
}

TEST(QuoteArgument, PlainArgumentsStayAsTheyAre) {
    EXPECT_EQ(QuoteArgument("-batch"), "-batch");
    EXPECT_EQ(QuoteArgument("a\\b"), "a\\b");
    EXPECT_EQ(QuoteArgument(""), "\"\"");
    EXPECT_EQ(QuoteArgument("a b\\"), "\"a b\\\\\"");
    EXPECT_EQ(QuoteArgument("say \"hi\""), "\"say \\\"hi\\\"\"");
}

TEST(BuildCommandLine, RoundTripsRandomArguments) {
    // Random arguments over the characters that matter to the rules; a failure prints the seed.
    const std::string alphabet = "ab \t\"\\;$'`|&*\n";
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    for (int round = 0; round < 2000; ++round) {
        Args argv{"/bin/prog with space"};
        int count = static_cast<int>(rng() % 5);
        for (int k = 0; k < count; ++k) {
            std::string arg;
            int len = static_cast<int>(rng() % 8);
            for (int i = 0; i < len; ++i) {
                arg += alphabet[rng() % alphabet.size()];
            }
            argv.push_back(arg);
        }
        std::string line;
        ASSERT_TRUE(BuildCommandLine(argv, line));
        ASSERT_EQ(SplitCommandLine(line), argv) << "seed " << seed << " line [" << line << "]";
    }
}

TEST(BuildCommandLine, RefusesWhatNoCommandLineCanCarry) {
    std::string line = "unchanged";
    EXPECT_FALSE(BuildCommandLine({}, line));
    EXPECT_FALSE(BuildCommandLine({""}, line));
    EXPECT_FALSE(BuildCommandLine({"a\"b", "x"}, line));
    EXPECT_EQ(line, "unchanged");
}
