// Which runner lines count as progress, and what they report.
#include "run/progress_line.h"

#include <gtest/gtest.h>

namespace {

TEST(ProgressLine, ReadsOnlyTheContractsForm) {
    const struct {
        const char* line;
        int percent;
    } cases[] = {
        {"85% / Bar Movie", 85},
        {"0% / x", 0},
        {"100% / Movie 2 - CCE SP", 100},
        {"7% / ", 7},
        {"007% / a", 7},
        {"101% / too much", -1},
        {"1000% / a", -1},
        {" 85% / leading blank", -1},
        {"85 % / space before sign", -1},
        {"85%/ no blank", -1},
        {"85% /", -1},
        {"%  / no digits", -1},
        {"  Priority: nice 19, I/O class idle", -1},
        {"  Wrote /media/out.mpv", -1},
        {"ERROR: 50% / inside", -1},
        {"", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run::ParseProgressLine(c.line), c.percent) << '"' << c.line << '"';
}

} // namespace
