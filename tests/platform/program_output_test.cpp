// Short programs run to their end: the output and exit status, and the time limit.
#include "platform/posix/program_output.h"

#include <gtest/gtest.h>

#include <chrono>

TEST(RunProgram, OutputStatusAndTimeLimit) {
    std::string output;
    int status = -1;
    ASSERT_TRUE(
        platform::RunProgram({"sh", "-c", "echo out; echo err >&2; exit 3"}, output, status, 5000));
    EXPECT_EQ(output, "out\nerr\n");
    EXPECT_EQ(status, 3);
    EXPECT_FALSE(platform::RunProgram({"/nonexistent/tool"}, output, status));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(platform::RunProgram({"sleep", "30"}, output, status, 200));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(output, "sleep: no answer within 200 ms");
}
