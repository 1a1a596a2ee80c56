// Short programs run to their end: the output and exit status, and the time limit.
#include "platform/posix/program_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

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

// A program given up ends with what it started: nothing of it keeps running.
TEST(RunProgram, TimeLimitEndsTheWholeGroup) {
    std::string output;
    int status = -1;
    EXPECT_FALSE(
        platform::RunProgram({"sh", "-c", "sleep 30 & echo $!; wait"}, output, status, 500));
    size_t open = output.find('(');
    ASSERT_NE(open, std::string::npos) << output;
    std::string child = output.substr(open + 1, output.find(')') - open - 1);
    // Gone, or a zombie waiting to be reaped.
    auto alive = [&] {
        std::ifstream stat("/proc/" + child + "/stat");
        std::string line;
        return std::getline(stat, line) && line.find(") Z ") == std::string::npos;
    };
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (alive() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(alive()) << "process " << child << " still runs";
}
